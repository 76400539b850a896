#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_command.h"
#include "tracker/keyboard_input.h"
#include "tracker/sample_editor.h"
#include "tracker/tracker_instance.h"

// Builds a short song the way a user would: the sample is shaped by the sample edits and
// every cell comes from key entry and block operations, never from direct cell writes.

static constexpr int CYCLE_FRAMES = 64;
static constexpr int CYCLES = 4;

// Four cycles of a soft square wave, tuned and looped by the sample edits.
static void build_sample(Song& song) {
    Sample& sample = song.sample[0];
    int frames = CYCLE_FRAMES * CYCLES;
    sample.data.set_data_ptr(std::calloc(frames, 2), frames, true);
    for (int i = 0; i < frames; i++) {
        double phase = 2 * M_PI * i / CYCLE_FRAMES;
        sample.data.set_sample(i, (float)(0.5 * std::tanh(3 * std::sin(phase))));
    }
    sample.name = "soft square";
    sample.in_use = true;

    Sample_Editor editor;
    editor.set_sample(&sample);
    Selection* selection = editor.get_selection();
    selection->set_point_1(0);
    selection->set_point_2(frames);  // the tuner counts end - begin frames
    selection->set_active(true);
    editor.select_effect(8);  // "C5 Tuner", four cycles
    editor.apply_effect(8);
    selection->set_point_2(frames - 1);
    editor.apply_effect(3);  // "Selection -> Loop"
    song.make_instrument_out_of_sample_at(0, 0);
}

static void type(Editor& editor, int column, int row, int field, const char* keys) {
    editor.set_cursor(column, row, field);
    for (; *keys; keys++) editor.press_key_at_cursor(*keys);
}

static void build_patterns(Editor& editor) {
    editor.set_last_instrument(0);
    editor.set_last_volume(48);

    // A four-row step melody in channel 0, an octave lower bass in channel 1.
    Editor::set_default_octave(5);
    editor.set_edit_step(4);
    type(editor, 0, 0, 0, "zcbqbc");
    editor.press_note_off_at_cursor();
    Editor::set_default_octave(3);
    editor.set_edit_step(8);
    type(editor, 1, 0, 0, "zzbb");
    type(editor, 2, 0, 6, "A");  // speed 4
    type(editor, 2, 0, 8, "4");

    // Repeat rows 0..31 of both channels at row 32, lifted by a semitone.
    editor.set_cursor(0, 0, 0);
    editor.perform_action(Editor::MARK_BLOCK_BEGINING);
    editor.set_cursor(1, 31, 0);
    editor.perform_action(Editor::MARK_BLOCK_END);
    editor.perform_action(Editor::SELECTION_COPY);
    editor.set_cursor(0, 32, 0);
    editor.perform_action(Editor::SELECTION_PASTE_OVERWRITE);
    editor.set_selection(0, 32, 1, 63);
    editor.perform_action(Editor::SELECTION_RAISE);

    // Pattern 1: the first half again, stretched to twice its length, with a fade on channel 0.
    editor.cursor_next_pattern();
    editor.set_cursor(0, 0, 0);
    editor.perform_action(Editor::SELECTION_PASTE_OVERWRITE);
    editor.set_selection(0, 0, 1, 31);
    editor.perform_action(Editor::SELECTION_EXPAND);
    type(editor, 0, 0, 4, "64");
    type(editor, 0, 62, 4, "08");
    editor.set_selection(0, 0, 0, 62);
    editor.perform_action(Editor::SELECTION_VOLUME_RAMP);
    editor.selection_release();
}

static void build_orders(Editor& editor) {
    editor.set_orderlist_cursor(0, 0);
    for (int digit : {0, 0, 0, 0, 0, 0, 0, 0, 1}) editor.orderlist_insert_value(digit);
}

static int run_edit_demo(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: wendmoor_cli edit-demo OUT.wm\n");
        return 2;
    }
    Keyboard_Input keys;
    if (Keyboard_Input::get_singleton_instance() != &keys) {
        std::fprintf(stderr, "edit-demo: key bindings already exist\n");
        return 1;
    }
    Tracker_Instance::init_keyboard();
    Tracker_Instance ti;
    ti.song.variables.name = "Edit demo";
    build_sample(ti.song);
    build_patterns(ti.editor);
    build_orders(ti.editor);

    int result = ti.file_format_manager.save_module(args[0].c_str());
    if (result == -2) {
        std::fprintf(stderr, "%s: no song format is saved under this name\n", args[0].c_str());
        return 1;
    }
    if (result != 0) {
        std::fprintf(stderr, "%s: Error saving file: %s\n", args[0].c_str(), ti.file_format_manager.get_save_error().c_str());
        return 1;
    }
    std::printf("Saved %s: %d orders, %d patterns, sample at %d Hz\n", args[0].c_str(),
                ti.song.get_used_orders_amount(), ti.song.get_patterns_used(), ti.song.sample[0].data.get_c5_freq());
    return 0;
}

WENDMOOR_CLI_COMMAND(edit_demo, "edit-demo", "edit-demo OUT.wm",
                     "build a short song through the pattern editor and save it",
                     "Shapes one looped sample with the sample edits, enters every note through the pattern\n"
                     "editor's keys and block operations, and saves the song as OUT (.wm or .it).\n",
                     run_edit_demo);
