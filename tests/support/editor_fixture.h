#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "tracker/editor.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

// A tracker instance with the default key bindings and the editing octave at 4.
class Editor_Fixture : public ::testing::Test {
protected:
    void SetUp() override {
        Tracker_Instance::init_keyboard();
        Editor::set_default_octave(4);
    }

    Pattern& pattern() { return instance->song.pattern[editor().get_current_pattern()]; }
    Editor& editor() { return instance->editor; }

    void put(int column, int row, Note note) {
        pattern().get_note_ref(column, row) = note;
        pattern().get_note_ref(0, 0);  // commit
    }
    Note at(int column, int row) { return pattern().get_note(column, row); }
    void type(const char* keys) {
        for (; *keys; keys++) editor().press_key_at_cursor(*keys);
    }
    static Note note(int n, int instrument = EMPTY_FIELD, int volume = EMPTY_FIELD, int command = EMPTY_FIELD,
                     int parameter = 0) {
        return Note{(unsigned char)n, (unsigned char)instrument, (unsigned char)volume, (unsigned char)command,
                    (unsigned char)parameter};
    }

    Keyboard_Input keys;
    std::unique_ptr<Tracker_Instance> instance = std::make_unique<Tracker_Instance>();
};
