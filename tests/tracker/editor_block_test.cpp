#include "support/editor_fixture.h"

using Editor_Block = Editor_Fixture;

TEST_F(Editor_Block, MarkingNormalizesAndTogglesColumnAll) {
    editor().set_cursor(5, 20, 0);
    editor().perform_action(Editor::MARK_BLOCK_END);
    editor().set_cursor(3, 10, 0);
    editor().perform_action(Editor::MARK_BLOCK_END);  // end before begin: swapped
    EXPECT_EQ(editor().get_selection_begin_column(), 3);
    EXPECT_EQ(editor().get_selection_end_column(), 5);
    EXPECT_EQ(editor().get_selection_begin_row(), 10);
    EXPECT_EQ(editor().get_selection_end_row(), 20);

    editor().perform_action(Editor::MARK_COLUMN_ALL);
    EXPECT_EQ(editor().get_selection_begin_column(), 3);
    EXPECT_EQ(editor().get_selection_end_column(), 3);
    EXPECT_EQ(editor().get_selection_end_row(), 63);
    editor().perform_action(Editor::MARK_COLUMN_ALL);
    EXPECT_EQ(editor().get_selection_begin_column(), 0);
    EXPECT_EQ(editor().get_selection_end_column(), 63);

    editor().perform_action(Editor::SELECTION_RELEASE);
    EXPECT_FALSE(editor().is_selection_active());
    EXPECT_EQ(editor().get_selection_end_column(), 63);  // bounds kept
}

TEST_F(Editor_Block, ShiftSelectionFollowsTheCursor) {
    editor().set_cursor(4, 4, 3);
    editor().shift_selection_begin();
    editor().cursor_move_up(2);
    editor().cursor_move_field_left();  // a whole channel while selecting
    EXPECT_TRUE(editor().is_selection_active());
    EXPECT_EQ(editor().get_selection_begin_column(), 3);
    EXPECT_EQ(editor().get_selection_begin_row(), 2);
    EXPECT_EQ(editor().get_selection_end_column(), 4);
    EXPECT_EQ(editor().get_selection_end_row(), 4);
    editor().shift_selection_end();
    editor().cursor_move_down(10);
    EXPECT_EQ(editor().get_selection_end_row(), 4);

    editor().selection_begin_at_cursor();
    editor().cursor_move_right(2);
    editor().cursor_move_down(1);
    editor().selection_end_at_cursor();
    EXPECT_EQ(editor().get_selection_begin_row(), 12);
    EXPECT_EQ(editor().get_selection_end_row(), 13);
    EXPECT_EQ(editor().get_selection_end_column(), 5);
}

TEST_F(Editor_Block, RaiseLowerAndMasksOnABlock) {
    put(0, 0, note(118, 3));
    put(0, 1, note(119, EMPTY_FIELD, 10));
    put(1, 1, note(NOTE_OFF));
    put(2, 0, note(5, 1));  // outside the block
    editor().set_selection(0, 0, 1, 1);
    editor().selection_raise();
    EXPECT_EQ(at(0, 0).note, 119);
    EXPECT_EQ(at(0, 1).note, 119);
    EXPECT_EQ(at(1, 1).note, NOTE_OFF);
    EXPECT_EQ(at(2, 0).note, 5);
    editor().selection_lower();
    EXPECT_EQ(at(0, 0).note, 118);

    editor().set_last_instrument(7);
    editor().selection_set_instrument_mask();
    EXPECT_EQ(at(0, 0).instrument, 7);
    EXPECT_EQ(at(0, 1).instrument, EMPTY_FIELD);  // only cells that had one
    EXPECT_EQ(at(2, 0).instrument, 1);

    editor().selection_wipe_stray_volumes();
    EXPECT_EQ(at(0, 1).volume, 10);  // a real note keeps its volume
    put(1, 0, note(EMPTY_FIELD, EMPTY_FIELD, 33));
    editor().selection_wipe_stray_volumes();
    EXPECT_EQ(at(1, 0), Pattern::empty_note);

    editor().set_last_volume(50);
    editor().selection_set_volume_mask();
    EXPECT_EQ(at(1, 0).volume, 50);  // every cell, empty ones too
    EXPECT_EQ(at(0, 0).volume, 50);
}

TEST_F(Editor_Block, OperationsNeedTwoRowsAndRecordOnlyWhatChanged) {
    put(0, 0, note(10, EMPTY_FIELD, 64));
    editor().set_selection(0, 0, 0, 0);
    editor().selection_volume_scale(50);
    EXPECT_EQ(at(0, 0).volume, 64);
    EXPECT_EQ(editor().get_undo_max(), 0);
    editor().set_selection(0, 0, 0, 1);
    editor().selection_volume_scale(50);
    EXPECT_EQ(at(0, 0).volume, 32);
    ASSERT_EQ(editor().get_undo_max(), 1);
    EXPECT_EQ(editor().get_undo_info(0), "Selection volume scale");
}

TEST_F(Editor_Block, RampsPerChannel) {
    put(0, 0, note(EMPTY_FIELD, EMPTY_FIELD, 0, 3, 0x00));
    put(0, 4, note(EMPTY_FIELD, EMPTY_FIELD, 64, 3, 0x40));
    put(1, 0, note(EMPTY_FIELD, EMPTY_FIELD, 160));  // panning at one end: not ramped
    put(1, 4, note(EMPTY_FIELD, EMPTY_FIELD, 10));
    editor().set_selection(0, 0, 1, 4);
    editor().selection_volume_ramp();
    EXPECT_EQ(at(0, 1).volume, 16);
    EXPECT_EQ(at(0, 3).volume, 48);
    EXPECT_EQ(at(1, 2).volume, EMPTY_FIELD);
    editor().selection_parameter_ramp();
    EXPECT_EQ(at(0, 2).parameter, 0x20);
    EXPECT_EQ(at(0, 2).command, EMPTY_FIELD);  // only the parameter column
    EXPECT_EQ(at(1, 3).parameter, 0);

    put(0, 0, note(EMPTY_FIELD, EMPTY_FIELD, 30));
    put(0, 4, note(EMPTY_FIELD, EMPTY_FIELD, 27));
    editor().selection_volume_ramp();
    EXPECT_EQ(at(0, 1).volume, 30);  // 30 + (-3 x 1) / 4 truncates toward zero
    EXPECT_EQ(at(0, 3).volume, 28);
}

TEST_F(Editor_Block, VolumeScale) {
    put(0, 0, note(48, 0));              // empty volume with an instrument: 64
    put(0, 1, note(EMPTY_FIELD, 0, EMPTY_FIELD));  // instrument but no note: skipped
    put(0, 2, note(48, EMPTY_FIELD, 40));
    put(0, 3, note(48, EMPTY_FIELD, 90));  // a slide is left alone
    put(0, 4, note(48, EMPTY_FIELD, 60));
    editor().set_selection(0, 0, 0, 4);
    editor().selection_volume_scale(50);
    EXPECT_EQ(at(0, 0).volume, 32);
    EXPECT_EQ(at(0, 1).volume, EMPTY_FIELD);
    EXPECT_EQ(at(0, 2).volume, 20);
    EXPECT_EQ(at(0, 3).volume, 90);
    editor().selection_volume_scale(400);
    EXPECT_EQ(at(0, 4).volume, 64);
}

TEST_F(Editor_Block, ShrinkHalvesTheBlock) {
    for (int r = 0; r < 8; r++) put(0, r, note(r));
    editor().set_selection(0, 0, 0, 7);
    editor().selection_shrink();
    for (int r = 0; r < 4; r++) EXPECT_EQ(at(0, r).note, 2 * r);
    for (int r = 4; r < 8; r++) EXPECT_EQ(at(0, r), Pattern::empty_note);

    put(1, 0, note(1));
    put(1, 1, note(2));
    editor().set_selection(1, 0, 1, 1);
    editor().selection_shrink();
    EXPECT_EQ(at(1, 0).note, 1);
    EXPECT_EQ(at(1, 1), Pattern::empty_note);
}

TEST_F(Editor_Block, ExpandDoublesTheBlock) {
    for (int r = 0; r < 4; r++) put(0, r, note(10 + r));
    put(0, 7, note(99));  // inside the doubled span: overwritten
    editor().set_selection(0, 0, 0, 3);
    editor().selection_expand();
    for (int r = 0; r < 4; r++) EXPECT_EQ(at(0, 2 * r).note, 10 + r);
    for (int r : {1, 3, 5}) EXPECT_EQ(at(0, r), Pattern::empty_note);
    EXPECT_EQ(at(0, 7).note, 99);  // row r0 + 2 x 3 = 6 is the new end

    for (int r = 60; r < 64; r++) put(2, r, note(r));
    editor().set_selection(2, 60, 2, 63);
    editor().selection_expand();  // cut at the pattern's end
    EXPECT_EQ(at(2, 60).note, 60);
    EXPECT_EQ(at(2, 62).note, 61);
    EXPECT_EQ(at(2, 63), Pattern::empty_note);
}

TEST_F(Editor_Block, CopyAndZap) {
    put(3, 3, note(40, 2));
    put(4, 5, note(41));
    editor().set_selection(3, 3, 4, 5);
    editor().selection_release();  // the stored bounds are used anyway
    editor().selection_zap();
    EXPECT_EQ(at(3, 3), Pattern::empty_note);
    EXPECT_EQ(at(4, 5), Pattern::empty_note);
    EXPECT_EQ(editor().get_clipboard_width(), 2);
    EXPECT_EQ(editor().get_clipboard().get_length(), 3);
    Pattern clip = editor().get_clipboard();
    EXPECT_EQ(clip.get_note(0, 0), note(40, 2));
    EXPECT_EQ(clip.get_note(1, 2).note, 41);
    EXPECT_EQ(editor().get_undo_info(0), "Selection Zap");
}

class Editor_Paste : public Editor_Fixture {
protected:
    // A 2-channel, 4-row clipboard with notes 1..8.
    void SetUp() override {
        Editor_Fixture::SetUp();
        for (int c = 0; c < 2; c++)
            for (int r = 0; r < 4; r++) put(c, r, note(1 + c * 4 + r));
        editor().set_selection(0, 0, 1, 3);
        editor().selection_copy();
        pattern().clear();
    }
};

TEST_F(Editor_Paste, OverwriteClipsAtTheRightAndBottomEdges) {
    editor().set_cursor(63, 62, 0);
    editor().selection_paste_overwrite();
    EXPECT_EQ(at(63, 62).note, 1);
    EXPECT_EQ(at(63, 63).note, 2);
    pattern().get_note_ref(0, 0);
    EXPECT_EQ(pattern().get_note_count(), 2);  // the second clipboard channel is past channel 63
    EXPECT_EQ(editor().get_undo_info(0), "Paste (overwriting)");
}

TEST_F(Editor_Paste, MixFillsOnlyEmptyCells) {
    put(0, 10, note(100));
    put(1, 12, note(EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, EMPTY_FIELD, 1));  // a lone parameter is content
    editor().set_cursor(0, 10, 0);
    editor().selection_paste_mix();
    EXPECT_EQ(at(0, 10).note, 100);
    EXPECT_EQ(at(0, 11).note, 2);
    EXPECT_EQ(at(1, 12).note, EMPTY_FIELD);
    EXPECT_EQ(at(1, 13).note, 8);
}

TEST_F(Editor_Paste, InsertShiftsTheRestDown) {
    put(0, 10, note(50));
    put(0, 61, note(51));
    put(2, 10, note(52));  // outside the target channels
    editor().set_cursor(0, 10, 0);
    editor().selection_paste_insert();
    for (int r = 0; r < 4; r++) EXPECT_EQ(at(0, 10 + r).note, 1 + r);
    EXPECT_EQ(at(0, 14).note, 50);
    EXPECT_EQ(at(1, 14), Pattern::empty_note);
    EXPECT_EQ(at(0, 63), Pattern::empty_note);  // 61 + 4 fell off the end
    EXPECT_EQ(at(2, 10).note, 52);
}

TEST_F(Editor_Paste, InsertAtTheBottomShiftsNothing) {
    put(0, 59, note(70));
    editor().set_cursor(0, 60, 0);
    editor().selection_paste_insert();
    EXPECT_EQ(at(0, 59).note, 70);
    for (int r = 0; r < 4; r++) EXPECT_EQ(at(0, 60 + r).note, 1 + r);
}

TEST_F(Editor_Block, PasteWithAnEmptyClipboardDoesNothing) {
    put(0, 0, note(1));
    editor().selection_paste_overwrite();
    EXPECT_EQ(at(0, 0).note, 1);
}
