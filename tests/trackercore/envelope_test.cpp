#include <gtest/gtest.h>

#include <limits>

#include "trackercore/envelope.h"

namespace {

Envelope make_envelope(std::initializer_list<Envelope::Node> nodes, int min_height = -100, int max_height = 100) {
    Envelope envelope(min_height, max_height);
    envelope.set_max_nodes(25);
    for (const Envelope::Node& node : nodes) envelope.add_node_at_offset(node.offset, node.height);
    envelope.set_loop_end(0);
    envelope.set_sustain_loop_end(0);
    return envelope;
}

}  // namespace

TEST(Envelope, HeightInterpolatesBetweenNodes) {
    Envelope envelope = make_envelope({{0, 0}, {10, 64}});
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(5.0f), 32.0f);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(2.5f), 16.0f);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(10.0f), 64.0f);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(50.0f), 64.0f);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(-3.0f), 0.0f);
}

TEST(Envelope, HeightWithFewerThanTwoNodesIsZero) {
    Envelope envelope(0, 64);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(3.0f), 0.0f);
    envelope.add_node_at_offset(0, 50);
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(3.0f), 0.0f);
}

TEST(Envelope, NanPositionGivesFirstHeight) {
    Envelope envelope = make_envelope({{0, 7}, {10, 64}});
    EXPECT_FLOAT_EQ(envelope.get_height_at_pos(std::numeric_limits<float>::quiet_NaN()), 7.0f);
}

TEST(Envelope, AddNodeInsertsInOrderAndClamps) {
    Envelope envelope = make_envelope({{0, 64}, {20, 64}}, 0, 64);
    EXPECT_EQ(envelope.add_node_at_offset(10, 99), 1);
    EXPECT_EQ(envelope.get_node_offset(1), 10);
    EXPECT_EQ(envelope.get_node_height(1), 64);
    EXPECT_EQ(envelope.add_node_at_offset(10, 0), -1);
    EXPECT_EQ(envelope.add_node_at_offset(30, -5), 3);
    EXPECT_EQ(envelope.get_node_height(3), 0);
    EXPECT_EQ(envelope.get_node_count(), 4);
}

TEST(Envelope, AddNodeRespectsMaxNodes) {
    Envelope envelope(0, 64);
    envelope.set_max_nodes(25);
    for (int i = 0; i < 25; i++) ASSERT_EQ(envelope.add_node_at_offset(i * 10, 0), i);
    EXPECT_EQ(envelope.add_node_at_offset(1000, 0), -1);
    EXPECT_EQ(envelope.get_node_count(), 25);
    envelope.set_max_nodes(-2);  // ignored
    EXPECT_EQ(envelope.get_max_nodes(), 25);
    envelope.set_max_nodes(-1);
    EXPECT_EQ(envelope.add_node_at_offset(1000, 0), 25);
}

TEST(Envelope, AddNodeOutsideOffsetRangeKeepsOffsetsIncreasing) {
    Envelope envelope = make_envelope({{0, 0}, {9999, 0}});
    EXPECT_EQ(envelope.add_node_at_offset(-5, 10), -1);
    EXPECT_EQ(envelope.add_node_at_offset(12000, 10), -1);
    EXPECT_EQ(envelope.get_node_count(), 2);
    EXPECT_EQ(envelope.get_node_offset(0), 0);
    EXPECT_EQ(envelope.get_node_offset(1), 9999);
}

TEST(Envelope, SetNodeOffsetKeepsOrder) {
    Envelope envelope = make_envelope({{0, 1}, {10, 2}, {20, 3}});
    envelope.set_node_offset(1, 25, 2);
    EXPECT_EQ(envelope.get_node_offset(1), 19);
    envelope.set_node_offset(1, 0, 2);
    EXPECT_EQ(envelope.get_node_offset(1), 1);
    envelope.set_node_offset(0, 5, 50);
    EXPECT_EQ(envelope.get_node_offset(0), 0);
    EXPECT_EQ(envelope.get_node_height(0), 50);
    envelope.set_node_offset(2, 12000, 500);
    EXPECT_EQ(envelope.get_node_offset(2), 9999);
    EXPECT_EQ(envelope.get_node_height(2), 100);
    envelope.set_node_offset(5, 30, 0);  // ignored
    EXPECT_EQ(envelope.get_node_count(), 3);
}

TEST(Envelope, OutOfRangeNodesReadAsInvalid) {
    Envelope envelope = make_envelope({{0, 1}, {10, 2}});
    EXPECT_EQ(envelope.get_node_offset(-1), -32768);
    EXPECT_EQ(envelope.get_node_height(2), -32768);
}

TEST(Envelope, DeleteNodeKeepsFirstAndMinimum) {
    Envelope envelope = make_envelope({{0, 1}, {10, 2}});
    envelope.delete_node(1);
    EXPECT_EQ(envelope.get_node_count(), 2);
    envelope.add_node_at_offset(20, 3);
    envelope.delete_node(0);
    EXPECT_EQ(envelope.get_node_count(), 3);
    envelope.delete_node(3);
    EXPECT_EQ(envelope.get_node_count(), 3);
    envelope.delete_node(1);
    EXPECT_EQ(envelope.get_node_count(), 2);
    EXPECT_EQ(envelope.get_node_offset(1), 20);
}

TEST(Envelope, LoopIndicesFollowInsertAndDelete) {
    Envelope envelope = make_envelope({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}});
    envelope.set_loop_end(3);
    envelope.set_loop_begin(2);
    envelope.set_sustain_loop_end(4);
    envelope.set_sustain_loop_begin(0);
    envelope.delete_node(1);
    EXPECT_EQ(envelope.get_loop_begin(), 1);
    EXPECT_EQ(envelope.get_loop_end(), 2);
    EXPECT_EQ(envelope.get_sustain_loop_begin(), 0);
    EXPECT_EQ(envelope.get_sustain_loop_end(), 3);
    EXPECT_EQ(envelope.add_node_at_offset(5, 0), 1);
    EXPECT_EQ(envelope.get_loop_begin(), 2);
    EXPECT_EQ(envelope.get_loop_end(), 3);
    EXPECT_EQ(envelope.get_sustain_loop_begin(), 0);
    EXPECT_EQ(envelope.get_sustain_loop_end(), 4);
}

TEST(Envelope, LoopSettersKeepBeginNotAfterEnd) {
    Envelope envelope = make_envelope({{0, 0}, {10, 0}, {20, 0}, {30, 0}});
    envelope.set_loop_begin(3);
    EXPECT_EQ(envelope.get_loop_end(), 3);
    envelope.set_loop_end(1);
    EXPECT_EQ(envelope.get_loop_begin(), 1);
    EXPECT_EQ(envelope.get_loop_end(), 1);
    envelope.set_loop_end(4);  // past the list: ignored
    envelope.set_loop_begin(-1);
    EXPECT_EQ(envelope.get_loop_begin(), 1);
    EXPECT_EQ(envelope.get_loop_end(), 1);
    envelope.set_sustain_loop_begin(2);
    EXPECT_EQ(envelope.get_sustain_loop_end(), 2);
    envelope.set_sustain_loop_end(0);
    EXPECT_EQ(envelope.get_sustain_loop_begin(), 0);
    EXPECT_EQ(envelope.get_sustain_loop_end(), 0);
}

TEST(Envelope, ResetKeepsLimits) {
    Envelope envelope = make_envelope({{0, 0}, {10, 0}});
    envelope.set_enabled(true);
    envelope.set_loop_enabled(true);
    envelope.set_sustain_loop_enabled(true);
    envelope.set_loop_end(1);
    envelope.reset();
    EXPECT_EQ(envelope.get_node_count(), 0);
    EXPECT_FALSE(envelope.is_enabled());
    EXPECT_FALSE(envelope.is_loop_enabled());
    EXPECT_FALSE(envelope.is_sustain_loop_enabled());
    EXPECT_EQ(envelope.get_loop_end(), 0);
    EXPECT_EQ(envelope.get_max_nodes(), 25);
    EXPECT_EQ(envelope.get_max_height(), 100);
    EXPECT_EQ(envelope.get_min_height(), -100);
}
