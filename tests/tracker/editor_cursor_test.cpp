#include "support/editor_fixture.h"

using Editor_Cursor = Editor_Fixture;

TEST_F(Editor_Cursor, FieldsWrapAcrossChannels) {
    editor().set_cursor(0, 0, 8);
    editor().cursor_move_field_right();
    EXPECT_EQ(editor().get_cursor_column(), 1);
    EXPECT_EQ(editor().get_cursor_field(), 0);
    editor().cursor_move_field_left();
    EXPECT_EQ(editor().get_cursor_column(), 0);
    EXPECT_EQ(editor().get_cursor_field(), 8);

    editor().set_cursor(63, 0, 8);
    editor().cursor_move_field_right();
    EXPECT_EQ(editor().get_cursor_column(), 63);
    EXPECT_EQ(editor().get_cursor_field(), 8);
    editor().set_cursor(0, 0, 0);
    editor().cursor_move_field_left();
    EXPECT_EQ(editor().get_cursor_field(), 0);
}

TEST_F(Editor_Cursor, HomeEndTabAndPaging) {
    editor().set_cursor(5, 10, 4);
    editor().cursor_home();
    EXPECT_EQ(editor().get_cursor_field(), 0);
    editor().cursor_home();
    EXPECT_EQ(editor().get_cursor_column(), 0);
    editor().cursor_home();
    EXPECT_EQ(editor().get_cursor_row(), 0);
    editor().cursor_end();
    editor().cursor_end();
    EXPECT_EQ(editor().get_cursor_column(), 63);
    editor().cursor_end();
    EXPECT_EQ(editor().get_cursor_row(), 63);

    editor().set_cursor(5, 0, 4);
    editor().cursor_back_tab();
    EXPECT_EQ(editor().get_cursor_column(), 5);
    EXPECT_EQ(editor().get_cursor_field(), 0);
    editor().cursor_back_tab();
    EXPECT_EQ(editor().get_cursor_column(), 4);
    editor().cursor_tab();
    EXPECT_EQ(editor().get_cursor_column(), 5);

    editor().cursor_page_down();
    EXPECT_EQ(editor().get_cursor_row(), 16);
    editor().cursor_move_down(100);
    EXPECT_EQ(editor().get_cursor_row(), 63);
    editor().cursor_move_up(100);
    EXPECT_EQ(editor().get_cursor_row(), 0);
}

TEST_F(Editor_Cursor, GotoPatternClampsTheCursorAndIsNoEdit) {
    instance->song.pattern[3].set_length(16);
    editor().set_cursor(0, 40, 0);
    editor().cursor_goto_pattern(3);
    EXPECT_EQ(editor().get_current_pattern(), 3);
    EXPECT_EQ(editor().get_cursor_row(), 15);
    EXPECT_EQ(editor().get_undo_max(), 0);
    EXPECT_FALSE(instance->history.is_modified());
    editor().cursor_goto_pattern(200);
    EXPECT_EQ(editor().get_current_pattern(), 3);
    editor().cursor_prev_pattern();
    EXPECT_EQ(editor().get_current_pattern(), 2);
}

TEST_F(Editor_Cursor, InsertAndDeleteRowsInOneChannel) {
    put(1, 5, note(10));
    put(1, 63, note(20));
    put(2, 5, note(30));
    editor().set_cursor(1, 5, 0);
    editor().cursor_insert();
    EXPECT_EQ(at(1, 5), Pattern::empty_note);
    EXPECT_EQ(at(1, 6).note, 10);
    EXPECT_EQ(at(1, 63), Pattern::empty_note);  // pushed off the end
    EXPECT_EQ(at(2, 5).note, 30);
    editor().cursor_delete();
    EXPECT_EQ(at(1, 5).note, 10);
    EXPECT_EQ(at(1, 6), Pattern::empty_note);
    EXPECT_EQ(pattern().get_note_count(), 2);
}

TEST_F(Editor_Cursor, ViewGeometry) {
    editor().set_font_size(8, 12);
    editor().set_view_size(6 * 8 + 4 * 14 * 8 + 3, 2 * 13 + 20 * 13);
    EXPECT_EQ(editor().get_visible_columns(), 4);
    EXPECT_EQ(editor().get_visible_rows(), 20);
    editor().set_cursor(10, 30, 0);
    editor().adjust_view_to_cursor();
    EXPECT_EQ(editor().get_column_offset(), 7);
    EXPECT_EQ(editor().get_row_offset(), 11);
    EXPECT_TRUE(editor().get_changed_flags() & Editor::CHANGED_VIEW);

    editor().set_row_offset(60);  // limited so the last page is full
    EXPECT_EQ(editor().get_row_offset(), 44);
    EXPECT_EQ(editor().get_cursor_row(), 44);
    editor().set_column_offset(62);
    EXPECT_EQ(editor().get_visible_columns(), 2);
    EXPECT_EQ(editor().get_cursor_column(), 62);
}

TEST_F(Editor_Cursor, ViewWithoutAFontShowsNothing) {
    EXPECT_EQ(editor().get_visible_columns(), 0);
    editor().set_cursor(40, 0, 0);
    editor().adjust_view_to_cursor();
    EXPECT_EQ(editor().get_column_offset(), 40);
}

TEST_F(Editor_Cursor, SoloAndMute) {
    auto* channels = instance->song.initial_variables.channel;
    editor().channel_solo_toggle(5);
    for (int c = 0; c < 64; c++) EXPECT_EQ(channels[c].mute, c != 5) << c;
    editor().channel_solo_toggle(5);
    for (int c = 0; c < 64; c++) EXPECT_FALSE(channels[c].mute) << c;

    editor().channel_mute_toggle(7);
    EXPECT_TRUE(channels[7].mute);
    editor().channel_solo_toggle(7);  // a muted channel is soloed, not unmuted-all
    EXPECT_FALSE(channels[7].mute);
    EXPECT_TRUE(channels[0].mute);
    editor().channel_mute_toggle(64);
    editor().channel_solo_toggle(-1);
    EXPECT_TRUE(channels[0].mute);
}

TEST_F(Editor_Cursor, MarkToggles) {
    editor().set_cursor(0, 9, 0);
    editor().set_mark();
    EXPECT_TRUE(editor().is_mark_active());
    EXPECT_EQ(editor().get_mark_row(), 9);
    editor().cursor_move_down(1);
    editor().set_mark();
    EXPECT_EQ(editor().get_mark_row(), 10);
    editor().set_mark();
    EXPECT_FALSE(editor().is_mark_active());
}

TEST_F(Editor_Cursor, OrderListEntry) {
    Song& song = instance->song;
    editor().orderlist_insert_value(1);
    editor().orderlist_insert_value(2);
    editor().orderlist_insert_value(5);
    EXPECT_EQ(song.get_order(0), 125);
    EXPECT_EQ(editor().get_orderlist_row(), 1);
    EXPECT_EQ(editor().get_orderlist_column(), 0);
    editor().orderlist_insert_value(2);
    editor().orderlist_insert_value(5);
    editor().orderlist_insert_value(5);
    EXPECT_EQ(song.get_order(1), 199);
    EXPECT_EQ(editor().orderlist_get_cursor_string(0), "125");

    EXPECT_EQ(editor().orderlist_get_cursor_string(1), "199");

    editor().set_orderlist_cursor(1, 2);  // units of 199 stay a pattern, not 0
    editor().orderlist_insert_value(8);
    EXPECT_EQ(song.get_order(1), 198);
    EXPECT_EQ(editor().get_orderlist_row(), 2);

    editor().set_orderlist_cursor(5, 1);  // a marker counts as 0
    song.set_order(5, 253);
    editor().orderlist_insert_value(4);
    EXPECT_EQ(song.get_order(5), 40);
    song.set_order(5, 255);
    editor().set_orderlist_cursor(2, 0);

    editor().orderlist_add_separator();
    EXPECT_EQ(editor().orderlist_get_cursor_string(2), "+++");
    song.set_order(3, 254);
    EXPECT_EQ(editor().orderlist_get_cursor_string(3), "---");
    EXPECT_EQ(editor().orderlist_get_cursor_string(4), "...");
    song.set_order(4, 7);
    EXPECT_EQ(editor().orderlist_get_cursor_string(4), "007");

    song.set_order(254, 9);
    editor().set_orderlist_cursor(1, 0);
    editor().orderlist_insert();
    EXPECT_EQ(song.get_order(1), 255);
    EXPECT_EQ(song.get_order(2), 198);
    EXPECT_EQ(song.get_order(5), 7);
    EXPECT_EQ(song.get_order(254), 255);  // the last entry fell off
    editor().orderlist_delete();
    EXPECT_EQ(song.get_order(1), 198);
    EXPECT_EQ(song.get_order(4), 7);
    EXPECT_EQ(song.get_order(254), 255);

    editor().set_orderlist_cursor(254, 2);
    editor().orderlist_clear_order();
    EXPECT_EQ(editor().get_orderlist_row(), 254);
    editor().orderlist_page_up();
    EXPECT_EQ(editor().get_orderlist_row(), 246);
    editor().orderlist_move_right();
    EXPECT_EQ(editor().get_orderlist_column(), 2);
}
