#pragma once

// A frame range of the sample view; the two ends may be in either order.
class Selection {
public:
    void set_point_1(int frame) { point_1 = limit(frame); }
    void set_point_2(int frame) { point_2 = limit(frame); }
    void set_active(bool on) { active = on; }
    bool is_active() const { return active; }
    int get_point_1() const { return point_1; }
    int get_point_2() const { return point_2; }
    void set_max(int frame) { max = frame; }  // -1: no limit
    int get_max() const { return max; }
    int get_begin() const { return point_1 < point_2 ? point_1 : point_2; }
    int get_end() const { return point_1 < point_2 ? point_2 : point_1; }
    bool is_in_range(int frame) const { return active && frame >= get_begin() && frame <= get_end(); }
    void clear() { *this = Selection(); }

private:
    int limit(int frame) const {
        if (frame < 0) frame = 0;
        if (max >= 0 && frame > max) frame = max;
        return frame;
    }

    bool active = false;
    int point_1 = 0;
    int point_2 = 0;
    int max = -1;
};
