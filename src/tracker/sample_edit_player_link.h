#pragma once

#include "tracker/sample_editor.h"

class Player_Data;
class Player_Realtime_Keyboard;

// Silences one song's live keyboard and player around destructive sample edits.
class Sample_Edit_Player_Link : public Sample_Edit_Players {
public:
    Sample_Edit_Player_Link(Player_Data* player, Player_Realtime_Keyboard* keyboard)
        : player(player), keyboard(keyboard) {}

    void sample_stop_all() override;
    void lock_player_variables() override;
    void erase_voices_using_sample(Sample* sample) override;
    void unlock_player_variables() override;

private:
    Player_Data* player;
    Player_Realtime_Keyboard* keyboard;
};
