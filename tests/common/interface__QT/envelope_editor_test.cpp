// The envelope editor driven with the mouse and its control box, checked on the envelope.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCursor>
#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <cmath>
#include <memory>

#include "common/components/audio/mutex_lock.h"
#include "common/interface__QT/envelope_editor.h"
#include "common/interface__QT/envelope_point_editor.h"
#include "trackercore/instrument.h"

namespace {

// Counts grabs; a change made outside the lock shows as an edit while not held.
class Counting_Lock : public Mutex_Lock {
public:
    void grab() override { grabs++, held = true; }
    bool try_grab() override { return false; }
    void release() override { held = false; }
    Mutex_Lock* create_mutex_type() override { return nullptr; }
    int grabs = 0;
    bool held = false;
};

class Envelope_Editor_Test : public ::testing::Test {
protected:
    void SetUp() override {
        // A reset layer's volume envelope, 2..25 nodes, its last node moved to 200 so that
        // the view is not at its closest zoom.
        envelope.set_node_offset(1, 200, 64);
        editor = std::make_unique<Envelope_Editor>();
        editor->set_lock(&lock);
        editor->resize(700, 320);
        editor->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor.get()));
        editor->set_envelope(&envelope);
        graph = editor->get_point_editor();
    }

    QPoint node(int index) const { return graph->get_node_position(index); }
    // Each action lets the moves that putting the pointer on a node causes arrive, as they
    // would before the hand moves on.
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(graph, button, {}, at);
        QCoreApplication::processEvents();
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseRelease(graph, button, {}, at);
        QCoreApplication::processEvents();
    }
    void move(QPoint at) {
        QTest::mouseMove(graph, at);
        QCoreApplication::processEvents();
    }
    QSpinBox* spin(const char* name) const {
        for (QSpinBox* s : editor->findChildren<QSpinBox*>())
            if (s->accessibleName() == name) return s;
        return nullptr;
    }

    Instrument::Layer layer;
    Envelope& envelope = layer.volume_envelope;
    Counting_Lock lock;
    std::unique_ptr<Envelope_Editor> editor;
    Envelope_Point_Editor* graph = nullptr;
};

}  // namespace

TEST_F(Envelope_Editor_Test, LeftClickAddsFarFromNodesAndDragsNearOne) {
    // Straight right of node 1: within 8 pixels that node is taken, from 8 on a node is added.
    const struct {
        int distance;
        bool adds;
    } cases[] = {{0, false}, {5, false}, {7, false}, {8, true}, {12, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        editor->set_envelope(nullptr);
        layer.reset();
        envelope.set_node_offset(1, 200, 32);
        editor->set_envelope(&envelope);
        QSignalSpy changed(graph, &Envelope_Point_Editor::envelopeChanged);
        int grabs = lock.grabs;
        QPoint at = node(1) - QPoint(c.distance, 0);
        press(at);
        ASSERT_TRUE(graph->is_dragging());
        EXPECT_EQ(envelope.get_node_count(), c.adds ? 3 : 2);
        EXPECT_EQ(graph->get_dragged_node(), 1) << "the new node sits before node 1, or node 1 itself";
        EXPECT_EQ(changed.count(), c.adds ? 1 : 0);
        EXPECT_EQ(lock.grabs - grabs, c.adds ? 1 : 0);
        EXPECT_EQ(QCursor::pos(), graph->mapToGlobal(node(1))) << "the pointer is put on the node";
        EXPECT_TRUE(graph->get_info_text().contains(QString("nodes. Moving node 1, pos: %1,%2")
                                                        .arg(envelope.get_node_offset(1))
                                                        .arg(envelope.get_node_height(1))));
        // The control box follows a new node: the loop end may now reach it.
        EXPECT_EQ(spin("Loop End")->maximum(), envelope.get_node_count() - 1);
        release(at);
        EXPECT_FALSE(graph->is_dragging());
        EXPECT_TRUE(graph->get_info_text().endsWith("nodes. "));
    }
}

TEST_F(Envelope_Editor_Test, RightClickDeletesExceptNodeZeroAndBelowTheMinimum) {
    QSignalSpy changed(graph, &Envelope_Point_Editor::envelopeChanged);
    press(node(0), Qt::RightButton);
    press(node(1), Qt::RightButton);  // two nodes: the minimum
    EXPECT_EQ(envelope.get_node_count(), 2);
    EXPECT_EQ(envelope.get_node_offset(1), 200);

    envelope.add_node_at_offset(100, 40);
    editor->update_envelope_variables();
    press(node(0), Qt::RightButton);
    EXPECT_EQ(envelope.get_node_count(), 3) << "node 0 stays";
    press(node(1) + QPoint(3, -3), Qt::RightButton);
    ASSERT_EQ(envelope.get_node_count(), 2);
    EXPECT_EQ(envelope.get_node_offset(1), 200);
    EXPECT_EQ(spin("Loop End")->maximum(), 1);
    EXPECT_FALSE(lock.held);
    EXPECT_GE(changed.count(), 1);
    EXPECT_FALSE(graph->is_dragging()) << "a right click never starts a drag";
}

TEST_F(Envelope_Editor_Test, DraggingClampsToNeighboursAndRezoomsPastTheRightEdge) {
    envelope.add_node_at_offset(100, 32);
    editor->update_envelope_variables();
    const int width = graph->width();
    const float zoom = graph->get_zoom();
    EXPECT_FLOAT_EQ(zoom, 200 / (0.95f * width)) << "a new envelope fills 95 % of the width";

    // The middle node stays between its neighbours and inside the height range.
    press(node(1));
    move(QPoint(width - 2, -50));
    EXPECT_EQ(envelope.get_node_offset(1), 199);
    EXPECT_EQ(envelope.get_node_height(1), 64);
    move(QPoint(0, graph->height() + 50));
    EXPECT_EQ(envelope.get_node_offset(1), 1);
    EXPECT_EQ(envelope.get_node_height(1), 0);
    release(node(1));
    EXPECT_FLOAT_EQ(graph->get_zoom(), zoom) << "inside 70..95 % the view keeps its zoom";

    // The last node past 95 % of the width: the envelope is shrunk to fill 70 %, and the
    // pointer follows the node to where it is drawn now.
    press(node(2));
    QPoint past(int(width * 0.99f), node(2).y());
    move(past);
    int last = envelope.get_node_offset(2);
    EXPECT_GT(last, 200);
    EXPECT_FLOAT_EQ(graph->get_zoom(), last / (0.7f * width));
    EXPECT_NEAR(node(2).x(), 0.7f * width, 1.0f);
    EXPECT_EQ(QCursor::pos(), graph->mapToGlobal(node(2)));
    // Putting the pointer there is not a drag of its own.
    QTest::qWait(20);
    EXPECT_EQ(envelope.get_node_offset(2), last);
    release(node(2));
    EXPECT_FALSE(lock.held);
}

TEST_F(Envelope_Editor_Test, ControlBoxSpinBoxesKeepLoopsWithinTheNodes) {
    for (int offset : {100, 300, 400}) envelope.add_node_at_offset(offset, 10);  // five nodes
    editor->set_envelope(&envelope);
    QSpinBox *begin = spin("Loop Begin"), *end = spin("Loop End");
    QSpinBox *sustain_begin = spin("Sustain Loop Begin"), *sustain_end = spin("Sustain Loop End");
    ASSERT_TRUE(begin && end && sustain_begin && sustain_end);

    end->setValue(3);
    begin->setValue(2);
    EXPECT_EQ(envelope.get_loop_begin(), 2);
    EXPECT_EQ(envelope.get_loop_end(), 3);
    EXPECT_EQ(end->minimum(), 2) << "the end never offers a node before the begin";
    EXPECT_EQ(end->maximum(), 4) << "nor one past the last node";
    EXPECT_EQ(begin->maximum(), 3);
    end->setValue(0);  // below the range: the spin box keeps it at the begin
    EXPECT_EQ(envelope.get_loop_end(), 2);

    sustain_end->setValue(4);
    sustain_begin->setValue(4);
    EXPECT_EQ(envelope.get_sustain_loop_begin(), 4);
    press(graph->get_node_position(3), Qt::RightButton);  // deleting a node pulls the indices back
    EXPECT_EQ(envelope.get_sustain_loop_end(), 3);
    EXPECT_EQ(sustain_end->maximum(), 3);
    EXPECT_EQ(sustain_end->value(), 3);

    // The switches write the envelope; a refresh is not taken for an edit.
    for (const char* caption : {"Enable Envelope", "Enable Loop", "Enable Sustain Loop", "Carry"}) {
        QCheckBox* check = nullptr;
        for (QCheckBox* c : editor->findChildren<QCheckBox*>())
            if (c->text() == caption) check = c;
        ASSERT_NE(check, nullptr) << caption;
        check->click();
    }
    EXPECT_TRUE(envelope.is_enabled() && envelope.is_loop_enabled() && envelope.is_sustain_loop_enabled() &&
                envelope.is_carry_enabled());
    Instrument::Layer other_layer;
    Envelope& other = other_layer.panning_envelope;
    int grabs = lock.grabs;
    editor->set_envelope(&other);
    EXPECT_EQ(lock.grabs, grabs);
    EXPECT_FALSE(other.is_enabled());
    EXPECT_EQ(end->maximum(), 1);
    EXPECT_TRUE(envelope.is_enabled());
    EXPECT_EQ(envelope.get_loop_end(), 2);
}
