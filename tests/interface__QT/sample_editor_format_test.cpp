#include "common/components/audio/sample_data.h"
#include "support/sample_data_builder.h"

#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include "interface__QT/gui_test_util.h"
#include "interface__QT/sample_editor_format.h"

namespace {

std::unique_ptr<Sample_Data> frames(int count) { return make_sample_16(std::vector<std::int16_t>(count)); }

}  // namespace

TEST(Sample_Editor_Format, TranspositionButtonsStepTheBaseFrequency) {
    using Slot = void (Sample_Editor_Format::*)();
    const struct {
        const char* button;
        int start;
        int presses;
        int expected;
    } steps[] = {
        {"Transpose Up a Semitone", 8363, 12, 16725},  // each step rounded on its own
        {"Transpose Up an Octave", 8363, 1, 16726},
        {"Transpose Up an Eighth Semitone", 8363, 1, 8424},
        {"Transpose Up a Quarter Semitone", 8363, 1, 8485},
        {"Transpose Down an Eighth Semitone", 8363, 1, 8303},
        {"Transpose Down a Quarter Semitone", 8363, 1, 8243},
        {"Transpose Down a Semitone", 8363, 1, 7894},
        {"Transpose Down an Octave", 8363, 1, 4181},  // truncated
        {"Transpose Up an Octave", 2000000000, 1, 2147483647},
    };
    Sample_Editor_Format panel;
    auto data = frames(100);
    panel.set_sample_data(data.get());
    QSignalSpy changed(&panel, &Sample_Editor_Format::sample_base_freq_changed);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.button);
        data->set_c5_freq(step.start);
        panel.update_format();
        auto* button = named<QToolButton>(&panel, step.button);
        ASSERT_NE(button, nullptr);
        changed.clear();
        for (int i = 0; i < step.presses; i++) QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(data->get_c5_freq(), step.expected);
        EXPECT_EQ(changed.count(), step.presses);
        EXPECT_EQ(buddy_of<QSpinBox>(&panel, "C5 Freq:")->value(), step.expected);
    }

    // Without frames the buttons change nothing, even when called directly.
    auto empty = frames(0);
    empty->set_c5_freq(8363);
    panel.set_sample_data(empty.get());
    changed.clear();
    for (Slot slot : {&Sample_Editor_Format::transpose_up_1_cbk, &Sample_Editor_Format::transpose_down_12_cbk,
                      &Sample_Editor_Format::transpose_up_1_4_cbk})
        (panel.*slot)();
    EXPECT_EQ(empty->get_c5_freq(), 8363);
    EXPECT_EQ(changed.count(), 0);
}

TEST(Sample_Editor_Format, ShowsTheSampleAndItsLoopWithoutWritingIt) {
    Sample_Editor_Format panel;
    EXPECT_EQ(panel.title(), "Sample Format && Loop");
    auto data = frames(2000);
    set_loop(*data, 300, 1000, false);
    data->set_c5_freq(22050);
    panel.set_sample_data(data.get());
    EXPECT_EQ(buddy_of<QLabel>(&panel, "Format:")->text(), "16 bits");
    EXPECT_EQ(buddy_of<QLabel>(&panel, "Length:")->text(), "2000");
    EXPECT_EQ(buddy_of<QSpinBox>(&panel, "C5 Freq:")->value(), 22050);
    EXPECT_EQ(buddy_of<QComboBox>(&panel, "Loop:")->currentText(), "Forward ->");

    // The two loop boxes bound each other: the begin stays before the end, the end after the
    // begin and within the frames.
    auto* begin = buddy_of<QSpinBox>(&panel, "Loop Begin:");
    auto* end = buddy_of<QSpinBox>(&panel, "Loop End:");
    EXPECT_EQ(begin->maximum(), 999);
    EXPECT_EQ(end->minimum(), 301);
    EXPECT_EQ(end->maximum(), 2000);
    begin->setValue(5000);
    EXPECT_EQ(data->get_loop_begin(), 999);
    EXPECT_EQ(end->minimum(), 1000);
    end->setValue(10);
    EXPECT_EQ(data->get_loop_end(), 1000);

    // Showing a sample whose loop lies past its end clamps the boxes, not the sample.
    auto odd = frames(100);
    set_loop(*odd, 20, 5000, true);
    odd->set_c5_freq(44100);
    panel.set_sample_data(odd.get());
    EXPECT_EQ(odd->get_loop_end(), 5000);
    EXPECT_EQ(odd->get_loop_begin(), 20);
    EXPECT_EQ(buddy_of<QComboBox>(&panel, "Loop:")->currentText(), "<- Ping Pong ->");
    EXPECT_EQ(buddy_of<QLabel>(&panel, "Format:")->text(), "16 bits");
}

TEST(Sample_Editor_Format, LoopChoiceSetsBothFlags) {
    Sample_Editor_Format panel;
    auto data = frames(500);
    panel.set_sample_data(data.get());
    auto* loop = buddy_of<QComboBox>(&panel, "Loop:");
    ASSERT_EQ(loop->currentIndex(), 0);
    const struct {
        int choice;
        bool enabled, ping_pong;
    } choices[] = {{2, true, true}, {1, true, false}, {0, false, false}, {2, true, true}};
    for (const auto& c : choices) {
        loop->setCurrentIndex(c.choice);
        EXPECT_EQ(data->is_loop_enabled(), c.enabled) << c.choice;
        EXPECT_EQ(data->is_loop_ping_pong(), c.ping_pong) << c.choice;
        EXPECT_EQ(buddy_of<QSpinBox>(&panel, "Loop End:")->isEnabled(), c.enabled);
    }
    buddy_of<QSpinBox>(&panel, "C5 Freq:")->setValue(12345);
    EXPECT_EQ(data->get_c5_freq(), 12345);
}
