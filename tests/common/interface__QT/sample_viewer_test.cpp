#include "common/components/audio/sample_data.h"
#include "support/sample_data_builder.h"
#include "tracker/selection.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <string>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/sample_viewer.h"
#include "common/interface__QT/sample_viewer_zoom.h"
#include "interface__QT/gui_test_util.h"

namespace {

// A viewer exactly 1000 pixels wide with its zoom bar, on a sample of `frames` frames.
class Sample_Viewer_Test : public ::testing::Test {
protected:
    void show(int frames) {
        std::vector<std::int16_t> ramp(frames);
        for (int i = 0; i < frames; i++) ramp[i] = (std::int16_t)(i % 2000 * 30 - 30000);
        data = make_sample_16(ramp);
        auto* layout = new QVBoxLayout(&window);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(viewer);
        layout->addWidget(zoom);
        zoom->set_sample_viewer(viewer);
        viewer->set_sample_data(data.get());
        viewer->set_selection(&selection);
        zoom->set_sample_data(data.get());
        window.resize(1000, 300);
        window.show();
        QApplication::processEvents();
        ASSERT_EQ(viewer->width(), 1000);
    }
    void mouse(QEvent::Type type, int x, Qt::MouseButton button) {
        Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QPointF at(x, 50);
        QMouseEvent event(type, at, viewer->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button, held,
                          Qt::NoModifier);
        QApplication::sendEvent(viewer, &event);
    }
    void drag(Qt::MouseButton button, int from, int to) {
        mouse(QEvent::MouseButtonPress, from, button);
        mouse(QEvent::MouseMove, (from + to) / 2, button);
        mouse(QEvent::MouseMove, to, button);
        mouse(QEvent::MouseButtonRelease, to, button);
    }

    QWidget window;
    Sample_Viewer* viewer = new Sample_Viewer;
    Sample_Viewer_Zoom* zoom = new Sample_Viewer_Zoom;
    Selection selection;
    std::unique_ptr<Sample_Data> data;
};

}  // namespace

TEST_F(Sample_Viewer_Test, PixelsMapToFramesThroughZoomAndOffset) {
    show(100000);
    const struct {
        int x, frame;
    } whole[] = {{0, 0}, {1, 100}, {500, 50000}, {999, 99900}};
    for (const auto& p : whole) EXPECT_EQ(viewer->screen_pos_to_sample_pos(p.x), p.frame) << p.x;

    // Zooming in keeps the middle: 50,000 frames from frame 25,000.
    QTest::mouseClick(named<QPushButton>(zoom, "Zoom In"), Qt::LeftButton);
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 0.5f);
    EXPECT_EQ(viewer->get_zoom_offset(), 25000);
    EXPECT_EQ(viewer->get_visible_frames(), 50000);
    EXPECT_EQ(viewer->screen_pos_to_sample_pos(0), 25000);
    EXPECT_EQ(viewer->screen_pos_to_sample_pos(999), 74950);
    EXPECT_EQ(buddy_of<QSlider>(zoom, "Zoom:")->value(), 50);
    EXPECT_TRUE(named<QLabel>(zoom, " 50.00%") != nullptr);
    auto* offset = zoom->findChild<QScrollBar*>();
    EXPECT_EQ(offset->maximum(), 50000);
    EXPECT_EQ(offset->value(), 25000);

    offset->setValue(40000);
    EXPECT_EQ(viewer->get_zoom_offset(), 40000);
    QTest::mouseClick(named<QPushButton>(zoom, "Zoom Out"), Qt::LeftButton);  // back to all, offset 0
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 1.0f);
    EXPECT_EQ(viewer->get_zoom_offset(), 0);

    // The slider zooms around the middle too, and can go no lower than the smallest zoom.
    buddy_of<QSlider>(zoom, "Zoom:")->setValue(10);
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 0.1f);
    EXPECT_EQ(viewer->get_zoom_offset(), 45000);
    buddy_of<QSlider>(zoom, "Zoom:")->setValue(0);
    EXPECT_FLOAT_EQ(viewer->get_zoom(), Sample_Viewer::MIN_ZOOM);
    QTest::mouseClick(named<QPushButton>(zoom, "Zoom All"), Qt::LeftButton);
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 1.0f);
    EXPECT_TRUE(named<QLabel>(zoom, " 100.00%") != nullptr);
}

TEST_F(Sample_Viewer_Test, OffsetNeverShowsPastTheEnd) {
    show(1000);
    viewer->set_zoom(0.5f);
    EXPECT_EQ(viewer->get_max_zoom_offset(), 500);
    viewer->set_zoom_offset(9999);
    EXPECT_EQ(viewer->get_zoom_offset(), 500);
    viewer->set_zoom_offset(-3);
    EXPECT_EQ(viewer->get_zoom_offset(), 0);
    viewer->set_zoom_offset(500);
    viewer->set_zoom(5.0f);  // clamped to the whole sample, and the offset with it
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 1.0f);
    EXPECT_EQ(viewer->get_zoom_offset(), 0);
}

TEST_F(Sample_Viewer_Test, TheThreeButtonsMakeAndAdjustTheSelection) {
    show(100000);  // 100 frames a pixel
    mouse(QEvent::MouseButtonPress, 200, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, 200, Qt::LeftButton);
    EXPECT_FALSE(selection.is_active()) << "a click without a move selects nothing";
    EXPECT_FALSE(named<QPushButton>(zoom, "Zoom to Selection")->isEnabled());

    drag(Qt::LeftButton, 300, 100);
    ASSERT_TRUE(selection.is_active());
    EXPECT_EQ(selection.get_point_1(), 30000);
    EXPECT_EQ(selection.get_point_2(), 10000);
    EXPECT_EQ(selection.get_max(), 100000);

    // Right moves the larger end, middle the smaller one, whichever point holds it.
    drag(Qt::RightButton, 300, 500);
    EXPECT_EQ(selection.get_point_1(), 50000);
    EXPECT_EQ(selection.get_point_2(), 10000);
    drag(Qt::MiddleButton, 100, 50);
    EXPECT_EQ(selection.get_point_2(), 5000);
    EXPECT_EQ(selection.get_begin(), 5000);
    EXPECT_EQ(selection.get_end(), 50000);

    // Dragging past the edges stops at the first and the last frame.
    drag(Qt::LeftButton, 10, -40);
    EXPECT_EQ(selection.get_begin(), 0);
    drag(Qt::RightButton, 10, 5000);
    EXPECT_EQ(selection.get_end(), 100000);

    drag(Qt::LeftButton, 250, 750);
    QTest::mouseClick(named<QPushButton>(zoom, "Zoom to Selection"), Qt::LeftButton);
    EXPECT_FLOAT_EQ(viewer->get_zoom(), 0.5f);
    EXPECT_EQ(viewer->get_zoom_offset(), 25000);

    // Without a selection object, or without frames, the mouse selects nothing.
    selection.clear();
    viewer->set_selection(nullptr);
    drag(Qt::LeftButton, 100, 300);
    EXPECT_FALSE(selection.is_active());
}

TEST_F(Sample_Viewer_Test, DrawsTheWaveLoopSelectionAndPlayingPositions) {
    show(100000);
    set_loop(*data, 60000, 80000, false);
    selection.set_max(100000);
    selection.set_point_1(10000);
    selection.set_point_2(30000);
    selection.set_active(true);
    viewer->set_position_list({90000});
    QImage image(viewer->size(), QImage::Format_RGB32);
    viewer->render(&image);
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    auto color_at = [&](int x, int y) { return image.pixelColor(x, y); };
    // Pixel columns at 100 frames each; the ramp rises over 2000 frames from the bottom.
    EXPECT_EQ(color_at(5, 2), theme.get("sample_edit", "background"));
    EXPECT_EQ(color_at(150, 2), theme.get("sample_edit", "background_selected"));
    EXPECT_EQ(color_at(700, 2), theme.get("sample_edit", "loop_background"));
    EXPECT_EQ(color_at(600, 100), theme.get("sample_edit", "loop_foreground"));  // the loop's begin
    EXPECT_EQ(color_at(900, 100), theme.get("sample_edit", "played_position"));
    // Each column's line runs at least over the frames of the column: 500..599 at x = 5.
    auto y_of = [&](int value) {
        int mid = viewer->height() / 2;
        return mid - (int)std::lround(value * (viewer->height() / 2 - 1) / 32768.0);
    };
    auto ramp = [](int frame) { return frame % 2000 * 30 - 30000; };
    EXPECT_EQ(color_at(5, y_of((ramp(500) + ramp(599)) / 2)), theme.get("sample_edit", "foreground"));
    EXPECT_EQ(color_at(150, y_of((ramp(15000) + ramp(15099)) / 2)), theme.get("sample_edit", "foreground_selected"));
    EXPECT_EQ(color_at(650, y_of((ramp(65000) + ramp(65099)) / 2)), theme.get("sample_edit", "loop_foreground"));
    EXPECT_EQ(viewer->get_factor(), 3);  // 100 frames a pixel: the 128-frame level

    viewer->set_sample_data(nullptr);
    viewer->render(&image);
    EXPECT_EQ(color_at(5, 2), theme.get("sample_edit", "background"));
}

// "Zoom In" always shows fewer frames (half, down to the smallest zoom) around the same middle,
// and "Zoom Out" undoes it; from any zoom and any offset.
TEST_F(Sample_Viewer_Test, ZoomInNarrowsTheViewAroundItsMiddle) {
    show(100000);
    const struct {
        float zoom;
        int offset;
        const char* button;
        int visible_after;
        int middle_after;
    } table[] = {
        {1.0f, 0, "Zoom In", 50000, 50000},
        {0.5f, 0, "Zoom In", 25000, 25000},
        {0.5f, 50000, "Zoom In", 25000, 75000},
        {0.1f, 90000, "Zoom In", 5000, 95000},
        {Sample_Viewer::MIN_ZOOM, 500, "Zoom In", -1, -1},  // already the closest: stays
        {0.25f, 30000, "Zoom Out", 50000, 42500},
        {0.5f, 50000, "Zoom Out", 100000, 50000},  // the whole sample, whatever the middle was
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << row.button << " from zoom " << row.zoom << " at " << row.offset);
        viewer->set_zoom(row.zoom);
        viewer->set_zoom_offset(row.offset);
        const int visible_before = viewer->get_visible_frames();
        const int middle_before = viewer->get_zoom_offset() + visible_before / 2;
        QTest::mouseClick(named<QPushButton>(zoom, row.button), Qt::LeftButton);
        EXPECT_EQ(viewer->get_visible_frames(), row.visible_after < 0 ? visible_before : row.visible_after);
        EXPECT_NEAR(viewer->get_zoom_offset() + viewer->get_visible_frames() / 2,
                    row.middle_after < 0 ? middle_before : row.middle_after, 1);
        if (std::string(row.button) == "Zoom In") {
            EXPECT_LE(viewer->get_visible_frames(), visible_before);
        }
        // What the pixels show follows: the first and the last column.
        EXPECT_EQ(viewer->screen_pos_to_sample_pos(0), viewer->get_zoom_offset());
        EXPECT_NEAR(viewer->screen_pos_to_sample_pos(999), viewer->get_zoom_offset() + viewer->get_visible_frames(),
                    viewer->get_visible_frames() / 1000 + 1);
    }
}
