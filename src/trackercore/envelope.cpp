#include "trackercore/envelope.h"

void Envelope::reset() {
    nodes.clear();
    enabled = false;
    loop_enabled = false;
    sustain_loop_enabled = false;
    carry_enabled = false;
    loop_begin = loop_end = 0;
    sustain_loop_begin = sustain_loop_end = 0;
}

int Envelope::get_node_offset(int node) const {
    return (node < 0 || node >= get_node_count()) ? INVALID_NODE : nodes[node].offset;
}

int Envelope::get_node_height(int node) const {
    return (node < 0 || node >= get_node_count()) ? INVALID_NODE : nodes[node].height;
}

void Envelope::set_node_offset(int node, int offset, int height) {
    if (node < 0 || node >= get_node_count()) return;
    if (node == 0)
        offset = 0;
    else {
        int previous = nodes[node - 1].offset;
        if (offset <= previous)
            offset = previous + 1;
        else if (node + 1 < get_node_count() && offset >= nodes[node + 1].offset)
            offset = nodes[node + 1].offset - 1;
        if (offset > MAX_OFFSET - 1) offset = MAX_OFFSET;
    }
    if (height > max_height) height = max_height;
    if (height < min_height) height = min_height;
    nodes[node].offset = offset;
    nodes[node].height = height;
}

int Envelope::add_node_at_offset(int offset, int height) {
    if (max_nodes != -1 && get_node_count() >= max_nodes) return -1;
    // Offsets outside 0..9999 would collide with node 0 or the last node once clamped.
    if (offset < 0) offset = 0;
    if (offset > MAX_OFFSET) offset = MAX_OFFSET;
    int index = 0;
    while (index < get_node_count() && nodes[index].offset <= offset) {
        if (nodes[index].offset == offset) return -1;
        index++;
    }
    nodes.insert(nodes.begin() + index, Node{offset, height});
    for (int* loop_index : {&loop_begin, &loop_end, &sustain_loop_begin, &sustain_loop_end})
        if (*loop_index >= index) (*loop_index)++;
    set_node_offset(index, offset, height);
    return index;
}

void Envelope::delete_node(int node) {
    if (get_node_count() <= min_nodes || node <= 0 || node >= get_node_count()) return;
    for (int* loop_index : {&loop_begin, &loop_end, &sustain_loop_begin, &sustain_loop_end})
        if (*loop_index >= node) (*loop_index)--;
    nodes.erase(nodes.begin() + node);
}

// Moving one end of a loop past the other pulls the other along, so begin never passes end.
static void move_loop_begin(int node, int count, int& begin, int& end) {
    if (node < 0 || node >= count) return;
    begin = node;
    if (end < node) end = node;
}

static void move_loop_end(int node, int count, int& begin, int& end) {
    if (node < 0 || node >= count) return;
    end = node;
    if (node < begin) begin = node;
}

void Envelope::set_loop_begin(int node) { move_loop_begin(node, get_node_count(), loop_begin, loop_end); }

void Envelope::set_loop_end(int node) { move_loop_end(node, get_node_count(), loop_begin, loop_end); }

void Envelope::set_sustain_loop_begin(int node) {
    move_loop_begin(node, get_node_count(), sustain_loop_begin, sustain_loop_end);
}

void Envelope::set_sustain_loop_end(int node) {
    move_loop_end(node, get_node_count(), sustain_loop_begin, sustain_loop_end);
}

void Envelope::set_max_nodes(int count) {
    if (count < -1) return;
    max_nodes = count;
}

float Envelope::get_height_at_pos(float position) const {
    int count = get_node_count();
    if (count < 2) return 0.0f;
    if (position > (float)nodes[count - 1].offset) return (float)nodes[count - 1].height;
    if (!(position > 0.0f)) return (float)nodes[0].height;  // also catches NaN
    int i = 1;
    while (i < count && (float)nodes[i].offset < position) i++;
    const Node& p = nodes[i - 1];
    const Node& n = nodes[i];
    if (n.offset == p.offset) return (float)p.height;
    return (float)p.height +
           (position - (float)p.offset) * (float)(n.height - p.height) / (float)(n.offset - p.offset);
}
