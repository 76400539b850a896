#pragma once

#include <vector>

// A breakpoint curve in ticks with an optional loop and sustain loop.
// Node 0 sits at offset 0, offsets strictly increase, heights stay within the limits.
// Where a voice has got to on one envelope.
struct Envelope_State {
    int position = 0;  // ticks
    int running = 0;
    int value = 0;
    int sustain_active = 0;
    int loop_active = 0;
    int ended = 0;
    int enabled = 0;
    int ended_at_zero = 0;
};

class Envelope {
public:
    struct Node {
        int offset = 0;  // ticks, 0..9999
        int height = 0;
    };

    static constexpr int MAX_OFFSET = 9999;
    static constexpr int INVALID_NODE = -32768;  // offset/height of a node that does not exist

    Envelope() = default;
    Envelope(int min_height, int max_height) : max_height(max_height), min_height(min_height) {}

    void reset();  // flags, loops and nodes; the limits stay

    int get_node_count() const { return (int)nodes.size(); }
    int get_node_offset(int node) const;
    int get_node_height(int node) const;
    void set_node_offset(int node, int offset, int height);
    int add_node_at_offset(int offset, int height);  // the new index, or -1
    void delete_node(int node);

    void set_loop_begin(int node);
    void set_loop_end(int node);
    void set_sustain_loop_begin(int node);
    void set_sustain_loop_end(int node);
    int get_loop_begin() const { return loop_begin; }
    int get_loop_end() const { return loop_end; }
    int get_sustain_loop_begin() const { return sustain_loop_begin; }
    int get_sustain_loop_end() const { return sustain_loop_end; }

    bool is_enabled() const { return enabled; }
    void set_enabled(bool on) { enabled = on; }
    bool is_loop_enabled() const { return loop_enabled; }
    void set_loop_enabled(bool on) { loop_enabled = on; }
    bool is_sustain_loop_enabled() const { return sustain_loop_enabled; }
    void set_sustain_loop_enabled(bool on) { sustain_loop_enabled = on; }
    // A new note of the same instrument goes on from where the channel's last note had got to.
    bool is_carry_enabled() const { return carry_enabled; }
    void set_carry_enabled(bool on) { carry_enabled = on; }

    void set_max_nodes(int count);  // -1 = no limit; below -1 ignored
    int get_max_nodes() const { return max_nodes; }
    void set_min_nodes(int count) { min_nodes = count; }
    int get_min_nodes() const { return min_nodes; }
    void set_height_limits(int min, int max) { min_height = min; max_height = max; }
    int get_max_height() const { return max_height; }
    int get_min_height() const { return min_height; }

    float get_height_at_pos(float position) const;

private:
    std::vector<Node> nodes;
    bool enabled = false;
    bool loop_enabled = false;
    int loop_begin = 0;
    int loop_end = 0;
    bool sustain_loop_enabled = false;
    int sustain_loop_begin = 0;
    int sustain_loop_end = 0;
    bool carry_enabled = false;
    int max_height = 0;
    int min_height = 0;
    int max_nodes = -1;
    int min_nodes = 2;
};
