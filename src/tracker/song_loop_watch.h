#pragma once

#include <set>
#include <utility>
#include <vector>

#include "trackercore/player_data.h"

// Tells when a song has been played once. Asked after every tick of the player (on the mixer's
// process callback, before the tick is heard), it answers true at the start of a row the song
// has already played: a jump back, or the order list wrapping round. Rows that a pattern loop
// plays again belong to the song; a loop that never ends shows as a row starting again with
// every counting loop's row and counter as they were before, and ends the song there (a loop
// start that no loop counts from, left by another channel, does not put the end off).
class Song_Loop_Watch {
public:
    bool after_tick(Player_Data& player) {
        if (player.get_play_mode() != Player_Data::PLAY_SONG) return false;
        if (player.get_tick_counter() != 1 || player.is_repeating_row()) return false;  // not a row start
        std::pair<int, int> row{player.get_row_start_order(), player.get_row_start_row()};
        std::vector<int> state{row.first, row.second};
        bool looping = false;
        for (int c = 0; c < Player_Data::CHANNELS; c++) {
            const Channel_Control& channel = player.read_channel(c);
            if (channel.loop_count == 0) continue;
            state.insert(state.end(), {c, channel.loop_row, channel.loop_count});
            looping = true;
        }
        // A loop jumps back within its order; a jump out of the loop to another order is no replay.
        bool replayed_by_loop = in_loop && row.first == last_order;
        in_loop = looping;
        last_order = row.first;
        if (!states.insert(std::move(state)).second) return true;
        return !played.insert(row).second && !replayed_by_loop;
    }

private:
    std::set<std::pair<int, int>> played;
    std::set<std::vector<int>> states;
    bool in_loop = false;  // a pattern loop was counting when the last row started
    int last_order = -1;
};
