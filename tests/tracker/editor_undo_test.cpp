#include "support/editor_fixture.h"

using Editor_Undo = Editor_Fixture;

TEST_F(Editor_Undo, RepeatedOperationKeepsOneEntryAndUndoSwapsBack) {
    put(0, 0, note(40));
    put(0, 1, note(41));
    editor().set_selection(0, 0, 0, 1);
    editor().clear_undo_changed();
    for (int i = 0; i < 3; i++) editor().perform_action(Editor::SELECTION_RAISE);
    EXPECT_EQ(at(0, 0).note, 43);
    ASSERT_EQ(editor().get_undo_max(), 1);
    EXPECT_TRUE(editor().is_undo_changed());

    editor().undo_index(0);
    EXPECT_EQ(at(0, 0).note, 40);
    EXPECT_EQ(at(0, 1).note, 41);
    ASSERT_EQ(editor().get_undo_max(), 1);
    EXPECT_EQ(editor().get_undo_info(0), "Redo Raise notes on selection");

    editor().undo_index(0);  // the "Redo" entry swaps back
    EXPECT_EQ(at(0, 0).note, 43);
    EXPECT_EQ(editor().get_undo_info(0), "Raise notes on selection");
}

TEST_F(Editor_Undo, ListShowsRedoEntriesFirstThenDoneOnesNewestFirst) {
    editor().set_selection(0, 0, 0, 1);
    put(0, 0, note(10));
    editor().selection_raise();   // A
    editor().selection_lower();   // B
    editor().set_cursor(0, 0, 0);
    editor().press_key_at_cursor('q');  // C
    ASSERT_EQ(editor().get_undo_max(), 3);
    EXPECT_EQ(editor().get_undo_info(0), "Typing");
    EXPECT_EQ(editor().get_undo_info(2), "Raise notes on selection");

    editor().undo_index(1);  // undoes C and B
    EXPECT_EQ(at(0, 0).note, 11);
    ASSERT_EQ(editor().get_undo_max(), 3);
    EXPECT_EQ(editor().get_undo_info(0), "Redo Lower notes on selection");
    EXPECT_EQ(editor().get_undo_info(1), "Redo Typing");
    EXPECT_EQ(editor().get_undo_info(2), "Raise notes on selection");
    EXPECT_EQ(editor().get_undo_info(3), "invalid pattern!");

    editor().undo_index(1);  // redoes B and C
    EXPECT_EQ(at(0, 0).note, 60);
    EXPECT_EQ(editor().get_undo_info(0), "Typing");

    // Ctrl+Z and Ctrl+Y.
    editor().undo();
    EXPECT_EQ(at(0, 0).note, 10);
    editor().redo();
    EXPECT_EQ(at(0, 0).note, 60);
}

TEST_F(Editor_Undo, UndoRestoresThePatternTheEntryNames) {
    put(0, 0, note(1));
    editor().set_selection(0, 0, 0, 1);
    editor().selection_raise();
    editor().cursor_goto_pattern(4);
    instance->song.pattern[4].get_note_ref(0, 0) = note(77);
    instance->song.pattern[4].get_note_ref(0, 1);
    ASSERT_EQ(editor().get_undo_pattern(0), 0);
    editor().undo_index(0);
    EXPECT_EQ(editor().get_current_pattern(), 0);
    EXPECT_EQ(instance->song.pattern[0].get_note(0, 0).note, 1);
    EXPECT_EQ(instance->song.pattern[4].get_note(0, 0).note, 77);
    EXPECT_EQ(editor().get_undo_pattern(0), 0);
}

TEST_F(Editor_Undo, SameDescriptionOnAnotherPatternIsRecorded) {
    auto raise_on = [this](int pattern) {
        editor().cursor_goto_pattern(pattern);
        put(0, 0, note(20));
        editor().set_selection(0, 0, 0, 1);
        editor().selection_raise();
    };
    raise_on(1);
    raise_on(2);
    EXPECT_EQ(editor().get_undo_max(), 2);
    editor().selection_raise();
    EXPECT_EQ(editor().get_undo_max(), 2);
}

TEST_F(Editor_Undo, OutOfRangeUndoDoesNothing) {
    put(0, 0, note(5));
    editor().undo_index(0);
    editor().undo_index(-1);
    EXPECT_EQ(at(0, 0).note, 5);
    EXPECT_EQ(editor().get_undo_max(), 0);
    EXPECT_EQ(editor().get_undo_pattern(-1), 0);
}
