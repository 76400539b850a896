#include <cstring>
#include <string>
#include <vector>

#include "support/editor_fixture.h"

using Editor_Entry = Editor_Fixture;

TEST_F(Editor_Entry, NoteKeyUsesOctaveMasksAndStep) {
    editor().set_last_volume(40);
    editor().set_edit_step(2);
    editor().press_key_at_cursor('z');  // binding 8: C of the editing octave, instrument 01 at first
    EXPECT_EQ(at(0, 0), note(48, 0, 40));
    EXPECT_EQ(editor().get_cursor_row(), 2);
    EXPECT_EQ(editor().get_last_note(), 48);

    editor().press_key_at_cursor('Q');  // upper case matches the lower-case binding 20
    EXPECT_EQ(at(0, 2).note, 60);

    editor().set_instrument_mask(false);
    editor().set_volume_mask(false);
    editor().press_key_at_cursor('x');
    EXPECT_EQ(at(0, 4), note(50));

    editor().press_key_at_cursor('k');  // not a note key
    EXPECT_EQ(at(0, 6), Pattern::empty_note);
    EXPECT_EQ(editor().get_cursor_row(), 6);
}

TEST_F(Editor_Entry, WideKeyCodesAreNoKeys) {
    // 0x17A and 0x171 end in the bytes of 'z' and 'q'; they are other keys all the same.
    editor().press_key_at_cursor(0x17A);
    editor().press_key_at_cursor(-1);
    EXPECT_EQ(at(0, 0), Pattern::empty_note);
    EXPECT_EQ(editor().get_cursor_row(), 0);
    EXPECT_EQ(editor().get_note_from_key(0x171), 255);
    EXPECT_EQ(editor().get_note_from_key('q'), 60);
    editor().set_cursor(0, 0, 2);
    editor().press_key_at_cursor(0x135);  // ends in '5'
    EXPECT_EQ(at(0, 0), Pattern::empty_note);
}

TEST_F(Editor_Entry, CommandMaskWritesLastCommand) {
    editor().set_cursor(3, 0, 6);
    type("H");  // command H
    editor().set_cursor(3, 0, 7);
    type("4");
    editor().set_cursor(3, 0, 8);
    type("c");
    EXPECT_EQ(at(3, 0), note(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 7, 0x4C));
    editor().set_command_mask(true);
    editor().set_cursor(3, 5, 0);
    type("z");
    EXPECT_EQ(at(3, 5).command, 7);
    EXPECT_EQ(at(3, 5).parameter, 0x4C);
}

TEST_F(Editor_Entry, NotesAreLimitedToB9) {
    Editor::set_default_octave(8);
    type("p");  // 28 semitones above C-8
    EXPECT_EQ(at(0, 0).note, 119);
    EXPECT_EQ(editor().get_note_from_key('p'), 119);
    EXPECT_EQ(editor().get_note_from_key('k'), 255);
    Editor::set_default_octave(9);  // ignored
    EXPECT_EQ(Editor::get_default_octave(), 8);
    Editor::default_octave_raise();
    EXPECT_EQ(Editor::get_default_octave(), 8);
    Editor::set_default_octave(0);
    Editor::default_octave_lower();
    EXPECT_EQ(Editor::get_default_octave(), 0);
}

TEST_F(Editor_Entry, OctaveDigitOnlyChangesRealNotes) {
    put(0, 0, note(50));
    put(0, 1, note(NOTE_OFF));
    editor().set_cursor(0, 0, 1);
    type("7");
    EXPECT_EQ(at(0, 0).note, 7 * 12 + 2);
    EXPECT_EQ(editor().get_cursor_row(), 1);
    type("3");  // note off: no octave to change, cursor stays
    EXPECT_EQ(at(0, 1).note, NOTE_OFF);
    EXPECT_EQ(editor().get_cursor_row(), 1);
    type("x");
    EXPECT_EQ(editor().get_cursor_row(), 1);
}

TEST_F(Editor_Entry, InstrumentDigitsInUserNumbering) {
    editor().set_cursor(2, 0, 2);
    type("2");
    EXPECT_EQ(editor().get_cursor_field(), 3);
    type("5");
    EXPECT_EQ(at(2, 0).instrument, 24);
    EXPECT_EQ(Editor::get_pattern_instrument_string(at(2, 0)), " 25");
    EXPECT_EQ(editor().get_last_instrument(), 24);
    EXPECT_EQ(editor().get_cursor_row(), 1);
    EXPECT_EQ(editor().get_cursor_field(), 2);

    editor().set_cursor(2, 0, 2);
    type("00");
    EXPECT_EQ(at(2, 0).instrument, EMPTY_FIELD);
    EXPECT_EQ(editor().get_last_instrument(), EMPTY_FIELD);

    editor().set_cursor(2, 0, 2);
    type("a");  // not a digit
    EXPECT_EQ(editor().get_cursor_field(), 2);
}

TEST_F(Editor_Entry, VolumeDigitsAndPanMode) {
    editor().set_cursor(1, 0, 4);
    type("32");
    EXPECT_EQ(at(1, 0).volume, 32);
    EXPECT_EQ(editor().get_last_volume(), 32);

    editor().set_cursor(1, 1, 4);
    editor().press_note_off_at_cursor();  // on the volume fields it toggles pan mode
    EXPECT_TRUE(editor().is_volume_pan_mode());
    type("32");
    EXPECT_EQ(at(1, 1).volume, 160);
    EXPECT_EQ(Editor::get_pattern_volume_string(at(1, 1)), "P32");

    editor().set_volume_pan_mode(false);
    editor().set_cursor(1, 2, 4);
    type("99");
    EXPECT_EQ(at(1, 2).volume, 64);
}

TEST_F(Editor_Entry, VolumeColumnCommands) {
    editor().set_cursor(1, 0, 4);
    type("C5");
    EXPECT_EQ(at(1, 0).volume, 90);
    EXPECT_EQ(Editor::get_pattern_volume_string(at(1, 0)), " C5");
    editor().set_cursor(1, 0, 4);
    type("h");  // keeps the units digit across ranges
    EXPECT_EQ(at(1, 0).volume, 208);
    editor().set_cursor(1, 0, 5);
    type("9");  // a slide range is not limited to 64
    EXPECT_EQ(at(1, 0).volume, 212);
    editor().set_cursor(1, 1, 4);
    type("z");
    EXPECT_EQ(at(1, 1), Pattern::empty_note);
}

TEST_F(Editor_Entry, NoteOffAndCut) {
    editor().press_note_off_at_cursor();
    EXPECT_EQ(at(0, 0).note, NOTE_OFF);
    editor().set_cursor(0, 1, 6);
    editor().press_note_off_at_cursor();  // nothing on the command fields
    EXPECT_EQ(at(0, 1), Pattern::empty_note);
    EXPECT_EQ(editor().get_cursor_row(), 1);
    editor().press_note_cut_at_cursor();  // any field
    EXPECT_EQ(at(0, 1).note, NOTE_CUT);
    EXPECT_EQ(editor().get_cursor_row(), 2);
}

TEST_F(Editor_Entry, FieldMasksCopyPasteAndClear) {
    put(4, 0, note(30, 5, 20, 3, 0x11));
    editor().set_cursor(4, 0, 2);
    editor().perform_action(Editor::TOGGLE_MASK_AT_CURSOR);
    EXPECT_FALSE(editor().is_instrument_mask_on());
    editor().set_cursor(4, 0, 7);
    editor().perform_action(Editor::TOGGLE_MASK_AT_CURSOR);
    EXPECT_TRUE(editor().is_command_mask_on());

    editor().perform_action(Editor::GET_MASK_FROM_CURSOR);
    editor().set_cursor(4, 0, 3);
    editor().perform_action(Editor::GET_MASK_FROM_CURSOR);
    EXPECT_EQ(editor().get_last_command(), 3);
    EXPECT_EQ(editor().get_last_instrument(), 5);

    editor().set_cursor(4, 3, 8);
    editor().perform_action(Editor::PRESS_MASK_WRITE_CURSOR);
    EXPECT_EQ(at(4, 3), note(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 3, 0x11));
    EXPECT_EQ(editor().get_cursor_row(), 4);

    editor().set_cursor(4, 0, 0);  // instrument mask off, volume and command masks on
    editor().perform_action(Editor::CLEAR_FIELD_AT_CURSOR);
    EXPECT_EQ(at(4, 0), note(EMPTY_FIELD, 5));
    EXPECT_EQ(editor().get_last_note(), EMPTY_FIELD);
    EXPECT_EQ(editor().get_cursor_row(), 1);
}

TEST_F(Editor_Entry, RaiseAndLowerAtCursorStopAtTheEnds) {
    put(0, 0, note(119));
    put(0, 1, note(0));
    editor().selection_raise();  // no block: works on the cursor and records nothing
    EXPECT_EQ(at(0, 0).note, 119);
    editor().set_cursor(0, 1, 0);
    editor().selection_lower();
    EXPECT_EQ(at(0, 1).note, 0);
    editor().selection_raise();
    EXPECT_EQ(at(0, 1).note, 1);
    // Only the raise that changed a note is a step.
    ASSERT_EQ(editor().get_undo_max(), 1);
    EXPECT_EQ(editor().get_undo_info(0), "Raise note");
}

TEST_F(Editor_Entry, CellRendering) {
    put(2, 3, note(48, 0, 64, 0, 6));
    char text[32];
    std::memset(text, 'x', sizeof text);
    editor().get_note_string(2, 3, text);
    EXPECT_STREQ(text, "C-4 01 64 A06");
    editor().get_note_string(2, 4, text);
    EXPECT_STREQ(text, "... .. .. .00");
    EXPECT_EQ(Editor::get_pattern_note_string(note(NOTE_OFF)), "===");
    EXPECT_EQ(Editor::get_pattern_note_string(note(NOTE_CUT)), "^^^");
    EXPECT_EQ(Editor::get_pattern_note_string(note(200)), "???");
    EXPECT_EQ(Editor::get_single_note_string(119), "B-9");
    EXPECT_EQ(Editor::get_single_note_string(120), "???");
    EXPECT_EQ(Editor::get_pattern_volume_string(note(0, 0, 126)), " ??");
    EXPECT_EQ(Editor::get_pattern_volume_string(note(0, 0, 5)), " 05");
    EXPECT_EQ(Editor::get_pattern_command_string(note(0, 0, 0, COMMAND_FT2_FINE_VOLUME_SLIDE, 0xB4)), "eB4");
    EXPECT_EQ(Editor::get_pattern_command_string(note(0, 0, 0, COMMAND_FT2_ENVELOPE_POSITION, 0x2C)), "l2C");
    EXPECT_EQ(Editor::get_pattern_command_string(note(0, 0, 0, 30, 1)), "?01");
}

// An effect is typed as one unit, like a volume: the letter leads to its digits, and only
// the last digit moves on by the edit step, back to where the typing began.
TEST_F(Editor_Entry, EffectLetterLeadsToItsDigitsAndTheLastDigitMovesOn) {
    struct Where {
        int field, row;
    };
    struct Case {
        const char* keys;
        int start_field;
        int step;
        std::vector<Where> after_each;  // the cursor after each key
        int command, parameter;
    };
    const Case cases[] = {
        {"H4C", 6, 1, {{7, 0}, {8, 0}, {6, 1}}, 7, 0x4C},
        {"h4c", 6, 0, {{7, 0}, {8, 0}, {6, 0}}, 7, 0x4C},
        {"D0F", 6, 4, {{7, 0}, {8, 0}, {6, 4}}, 3, 0x0F},
        {"2F", 7, 1, {{8, 0}, {7, 1}}, EMPTY_FIELD, 0x2F},  // digits alone come back to the digits
        {"2F", 7, 4, {{8, 0}, {7, 4}}, EMPTY_FIELD, 0x2F},
        {"AG1", 6, 1, {{7, 0}, {7, 0}, {8, 0}}, 0, 0x10},   // G is no hex digit: nothing moves
        {"1A", 6, 1, {{6, 0}, {7, 0}}, 0, 0},               // a digit is no effect letter
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.keys) + " from field " + std::to_string(c.start_field) + ", step " +
                     std::to_string(c.step));
        instance = std::make_unique<Tracker_Instance>();
        editor().set_edit_step(c.step);
        editor().set_cursor(2, 0, c.start_field);
        for (size_t i = 0; i < c.after_each.size(); i++) {
            editor().press_key_at_cursor(c.keys[i]);
            EXPECT_EQ(editor().get_cursor_field(), c.after_each[i].field) << "after key " << i;
            EXPECT_EQ(editor().get_cursor_row(), c.after_each[i].row) << "after key " << i;
            EXPECT_EQ(editor().get_cursor_column(), 2);
        }
        EXPECT_EQ(at(2, 0).command, c.command);
        EXPECT_EQ(at(2, 0).parameter, c.parameter);
    }
}

// Typing with Shift held (capital letters) moves within the cell and down, not across
// channels, and drags no block along.
TEST_F(Editor_Entry, TypingDuringAShiftSelectionStaysInTheChannel) {
    editor().set_cursor(3, 0, 6);
    editor().shift_selection_begin();
    type("B12");
    EXPECT_EQ(at(3, 0).command, 1);
    EXPECT_EQ(at(3, 0).parameter, 0x12);
    EXPECT_EQ(editor().get_cursor_column(), 3);
    EXPECT_EQ(editor().get_cursor_row(), 1);
    EXPECT_EQ(editor().get_cursor_field(), 6);
    type("C3");
    EXPECT_EQ(at(3, 1).command, 2);
    EXPECT_EQ(editor().get_cursor_column(), 3);
    EXPECT_EQ(editor().get_cursor_field(), 8);
    EXPECT_FALSE(editor().is_selection_active());
    editor().shift_selection_end();
}
