#pragma once

#include "common/components/audio/mixer.h"
#include "loaders/loader_it.h"
#include "loaders/loader_mod.h"
#include "loaders/loader_s3m.h"
#include "loaders/loader_wav.h"
#include "loaders/loader_wm.h"
#include "loaders/loader_xm.h"
#include "savers/saver_it.h"
#include "savers/saver_raw.h"
#include "savers/saver_wav.h"
#include "savers/saver_wm.h"
#include "tracker/editor.h"
#include "tracker/player_realtime_keyboard.h"
#include "tracker/sample_edit_player_link.h"
#include "tracker/song_history.h"
#include "trackercore/file_format_manager.h"
#include "trackercore/player_data.h"
#include "trackercore/song.h"

// Everything that belongs to one open song; each song window owns exactly one.
// Members are constructed in declaration order and destroyed in reverse.
class Tracker_Instance {
public:
    Tracker_Instance();
    ~Tracker_Instance();
    Tracker_Instance(const Tracker_Instance&) = delete;
    Tracker_Instance& operator=(const Tracker_Instance&) = delete;

    // Fills the process-wide key bindings with the defaults (once; later calls do nothing).
    static void init_keyboard();

    Loader_IT loader_it;
    Loader_WM loader_wm;
    Loader_XM loader_xm;
    Loader_S3M loader_s3m;
    Loader_MOD loader_mod;
    Loader_WAV loader_wav;
    Saver_IT saver_it;
    Saver_WM saver_wm;
    Saver_Wav saver_wav;
    Saver_Raw saver_raw;
    Mixer mixer;
    Player_Data player;
    Song song;
    Editor editor;
    Player_Realtime_Keyboard keyboard;
    File_Format_Manager file_format_manager;
    // What undo and redo silence and lock: this song's previews and player.
    Sample_Edit_Player_Link history_players{&player, &keyboard};
    Song_History history;
};
