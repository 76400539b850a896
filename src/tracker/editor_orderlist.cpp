// Order-list editing, channel mute and solo, and the position mark.
#include <algorithm>
#include <cstdio>

#include "tracker/editor.h"
#include "trackercore/song.h"

static constexpr int LAST_ORDER = Song::MAX_ORDERS - 1;
static constexpr int MAX_PATTERN_NUMBER = Song::MAX_PATTERNS - 1;

void Editor::set_orderlist_cursor(int row, int column) {
    orderlist_typing = false;
    orderlist_row = std::clamp(row, 0, LAST_ORDER);
    orderlist_column = std::clamp(column, 0, 2);
}

void Editor::orderlist_move_up() { set_orderlist_cursor(orderlist_row - 1, orderlist_column); }
void Editor::orderlist_move_down() { set_orderlist_cursor(orderlist_row + 1, orderlist_column); }
void Editor::orderlist_move_left() { set_orderlist_cursor(orderlist_row, orderlist_column - 1); }
void Editor::orderlist_move_right() { set_orderlist_cursor(orderlist_row, orderlist_column + 1); }
void Editor::orderlist_page_up() { set_orderlist_cursor(orderlist_row - ORDERLIST_PAGE, orderlist_column); }
void Editor::orderlist_page_down() { set_orderlist_cursor(orderlist_row + ORDERLIST_PAGE, orderlist_column); }

void Editor::orderlist_next_row() { set_orderlist_cursor(orderlist_row + 1, orderlist_column); }

void Editor::orderlist_insert_value(int digit) {
    if (!song || digit < 0 || digit > 9) return;
    Song_History::Step step(history, "Order entry");
    step.watch_orders().merge_with_same(orderlist_row + 1);
    // The digits of one entry are typed over the number as typed so far, not over the stored
    // (limited) value, so that typing 2, 5, 5 ends at the limit rather than at 155.
    int value = orderlist_typing ? orderlist_typed_value : song->get_order(orderlist_row);
    // Markers and empty entries are typed over as if they held 0; pattern 199 is a pattern.
    if (!orderlist_typing && (value > MAX_PATTERN_NUMBER || value < 0)) value = 0;
    static const int place[3] = {100, 10, 1};
    int weight = place[orderlist_column];
    value = value - (value / weight % 10) * weight + digit * weight;
    song->set_order(orderlist_row, (short)std::min(value, MAX_PATTERN_NUMBER));
    if (orderlist_column < 2) {
        set_orderlist_cursor(orderlist_row, orderlist_column + 1);
        orderlist_typing = true;
        orderlist_typed_value = value;
    } else {
        set_orderlist_cursor(orderlist_row + 1, 0);
    }
}

void Editor::orderlist_add_separator() {
    if (!song) return;
    Song_History::Step step(history, "Order separator");
    step.watch_orders();
    song->set_order(orderlist_row, Song::ORDER_SEPARATOR);
    orderlist_next_row();
}

void Editor::orderlist_clear_order() {
    if (!song) return;
    Song_History::Step step(history, "Clear order");
    step.watch_orders();
    song->set_order(orderlist_row, Song::ORDER_EMPTY);
    orderlist_next_row();
}

void Editor::orderlist_insert() {
    if (!song) return;
    Song_History::Step step(history, "Insert order");
    step.watch_orders();
    orderlist_typing = false;
    for (int position = LAST_ORDER; position > orderlist_row; position--)
        song->set_order(position, song->get_order(position - 1));
    song->set_order(orderlist_row, Song::ORDER_EMPTY);
}

void Editor::orderlist_delete() {
    if (!song) return;
    Song_History::Step step(history, "Delete order");
    step.watch_orders();
    orderlist_typing = false;
    for (int position = orderlist_row; position < LAST_ORDER; position++)
        song->set_order(position, song->get_order(position + 1));
    song->set_order(LAST_ORDER, Song::ORDER_EMPTY);
}

std::string Editor::orderlist_get_cursor_string(int position) const {
    short value = song ? song->get_order(position) : Song::ORDER_EMPTY;
    if (value == Song::ORDER_SEPARATOR) return "+++";
    if (value == Song::ORDER_SKIP) return "---";
    if (value == Song::ORDER_EMPTY) return "...";
    if (value < 0 || value > MAX_PATTERN_NUMBER) return "???";
    char text[8];
    std::snprintf(text, sizeof text, "%03i", (int)value);
    return text;
}

// Channels.

void Editor::channel_mute_toggle(int channel) {
    if (!song || channel < 0 || channel > LAST_CHANNEL) return;
    // Muting and unmuting again leaves no step behind.
    Song_History::Step step(history, "Mute channel");
    step.watch_variables().merge_with_same(channel + 1);
    bool& mute = song->initial_variables.channel[channel].mute;
    mute = !mute;
}

void Editor::channel_solo_toggle(int channel) {
    if (!song || channel < 0 || channel > LAST_CHANNEL) return;
    Song_History::Step step(history, "Solo channel");
    step.watch_variables().merge_with_same(channel + 1);
    auto* channels = song->initial_variables.channel;
    bool soloed = !channels[channel].mute;
    for (int other = 0; other < Pattern::CHANNELS && soloed; other++)
        if (other != channel && !channels[other].mute) soloed = false;
    for (int other = 0; other < Pattern::CHANNELS; other++)
        channels[other].mute = soloed ? false : other != channel;
}

void Editor::current_channel_mute_toggle() { channel_mute_toggle(cursor_column); }
void Editor::current_channel_solo_toggle() { channel_solo_toggle(cursor_column); }

// Mark.

void Editor::set_mark() {
    if (mark_active && mark_pattern == current_pattern && mark_row == cursor_row) {
        mark_active = false;
    } else {
        mark_active = true;
        mark_pattern = current_pattern;
        mark_row = cursor_row;
    }
    changed_flags |= CHANGED_VIEW;
}
