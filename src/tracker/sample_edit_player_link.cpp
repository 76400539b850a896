#include "tracker/sample_edit_player_link.h"

#include "tracker/player_realtime_keyboard.h"
#include "trackercore/player_data.h"

void Sample_Edit_Player_Link::sample_stop_all() {
    if (keyboard) keyboard->sample_stop_all();
}

void Sample_Edit_Player_Link::lock_player_variables() {
    if (player) player->lock_player_variables();
}

void Sample_Edit_Player_Link::erase_voices_using_sample(Sample* sample) {
    if (player && sample) player->erase_voices_using_sample(sample);
}

void Sample_Edit_Player_Link::unlock_player_variables() {
    if (player) player->unlock_player_variables();
}
