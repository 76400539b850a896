#pragma once

// Tells when a playing song has been heard to its end, from the player's state read after
// every tick (or as often as the caller can). The player flags the end in two ways:
// - at the wrap of the order list, as soon as it reads the last row: that row still has its
//   ticks to play, and the position already shows row 0 of the order it will loop to;
// - at a jump back, when the row jumped to starts: the position shows the row after it.
// So a flag seen with the position on row 0 means "after this row"; the song is over once
// the position moves on. Any other flagged position is already past the end, as is a
// player that has stopped by itself.
class Song_End_Watch {
public:
    bool finished(bool reached_end, bool playing, int order, int row) {
        if (!playing) return true;
        if (!reached_end) {
            armed = false;
            return false;
        }
        if (!armed) {
            if (row != 0) return true;
            armed = true;
            end_order = order;
            end_row = row;
            return false;
        }
        return order != end_order || row != end_row;
    }

private:
    bool armed = false;
    int end_order = -1;
    int end_row = -1;
};
