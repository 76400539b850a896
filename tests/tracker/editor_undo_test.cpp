#include "support/editor_fixture.h"

using Editor_Undo = Editor_Fixture;

TEST_F(Editor_Undo, RepeatedOperationKeepsOneEntryAndUndoSwapsBack) {
    put(0, 0, note(40));
    put(0, 1, note(41));
    editor().set_selection(0, 0, 0, 1);
    for (int i = 0; i < 3; i++) editor().perform_action(Editor::SELECTION_RAISE);
    EXPECT_EQ(at(0, 0).note, 43);
    ASSERT_EQ(editor().get_undo_max(), 1);

    editor().undo_index(0);
    EXPECT_EQ(at(0, 0).note, 40);
    EXPECT_EQ(at(0, 1).note, 41);
    ASSERT_EQ(editor().get_undo_max(), 2);
    EXPECT_EQ(editor().get_undo_info(0), "Redo Raise notes on selection");
    EXPECT_TRUE(editor().is_undo_changed());

    editor().undo_index(0);  // undoing the "Redo" entry swaps back
    EXPECT_EQ(at(0, 0).note, 43);
    EXPECT_EQ(editor().get_undo_info(0), "Redo Redo Raise notes on selection");
}

TEST_F(Editor_Undo, EleventhPushDropsTheOldest) {
    for (int i = 0; i < 11; i++) editor().push_current_pattern_to_undo_list("step " + std::to_string(i));
    EXPECT_EQ(editor().get_undo_max(), 10);
    EXPECT_EQ(editor().get_undo_info(0), "step 10");
    EXPECT_EQ(editor().get_undo_info(9), "step 1");
    EXPECT_EQ(editor().get_undo_info(10), "invalid pattern!");
    EXPECT_EQ(editor().get_undo_pattern(-1), 0);
}

TEST_F(Editor_Undo, UndoOfTheOldestEntryWhenTheListIsFull) {
    put(0, 0, note(1));
    editor().push_current_pattern_to_undo_list("oldest");
    put(0, 0, note(2));
    for (int i = 0; i < 9; i++) editor().push_current_pattern_to_undo_list("step " + std::to_string(i));
    editor().undo_index(9);
    EXPECT_EQ(at(0, 0).note, 1);
    EXPECT_EQ(editor().get_undo_max(), 10);
    EXPECT_EQ(editor().get_undo_info(0), "Redo oldest");
}

TEST_F(Editor_Undo, UndoRestoresThePatternTheEntryNames) {
    put(0, 0, note(1));
    editor().set_selection(0, 0, 0, 1);
    editor().selection_raise();
    editor().cursor_goto_pattern(4);
    instance->song.pattern[4].get_note_ref(0, 0) = note(77);
    instance->song.pattern[4].get_note_ref(0, 1);
    // Entry 1 is the raise on pattern 0; pattern 4 must not be overwritten by it.
    ASSERT_EQ(editor().get_undo_pattern(1), 0);
    editor().undo_index(1);
    EXPECT_EQ(editor().get_current_pattern(), 0);
    EXPECT_EQ(instance->song.pattern[0].get_note(0, 0).note, 1);
    EXPECT_EQ(instance->song.pattern[4].get_note(0, 0).note, 77);
    EXPECT_EQ(editor().get_undo_pattern(0), 0);
}

TEST_F(Editor_Undo, SameDescriptionOnAnotherPatternIsRecorded) {
    editor().push_pattern_to_undo_list(1, &instance->song.pattern[1], "Pattern 0");
    editor().push_pattern_to_undo_list(2, &instance->song.pattern[2], "Pattern 0");
    EXPECT_EQ(editor().get_undo_max(), 2);
    editor().push_pattern_to_undo_list(2, &instance->song.pattern[2], "Pattern 0");
    EXPECT_EQ(editor().get_undo_max(), 2);
}

TEST_F(Editor_Undo, OutOfRangeUndoDoesNothing) {
    put(0, 0, note(5));
    editor().undo_index(0);
    editor().undo_index(-1);
    EXPECT_EQ(at(0, 0).note, 5);
    EXPECT_EQ(editor().get_undo_max(), 0);
}
