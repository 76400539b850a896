// The "Order && Defaults" page: the order list's keys, clicks and playing mark, and the
// channel entries catching up with mutes made elsewhere.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "tracker/tracker_instance.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_int.h"
#include "interface__QT/order_and_defaults_editor.h"
#include "interface__QT/orderlist_edit.h"

namespace {

struct Key {
    int code;
    QString text;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

class Order_Page_Test : public ::testing::Test {
protected:
    void SetUp() override {
        page = std::make_unique<Order_And_Defaults_Editor>();
        page->set_song(&ti->song);
        page->set_editor(&ti->editor);
        page->resize(900, 600);
        page->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(page.get()));
    }

    OrderList_Edit* list() { return page->get_orderlist(); }

    // Sends the key to the list as the window would; true when someone consumed it.
    bool press(const Key& key) {
        QKeyEvent event(QEvent::KeyPress, key.code, key.modifiers, key.text);
        QApplication::sendEvent(list(), &event);
        return event.isAccepted();
    }

    void click(int character, int y) {
        QTest::mouseClick(list(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(character * list()->get_char_width() + 1, y));
    }
    int row_y(int visible_row) { return visible_row * list()->get_row_height() + 2; }

    std::unique_ptr<Tracker_Instance> ti = std::make_unique<Tracker_Instance>();
    std::unique_ptr<Order_And_Defaults_Editor> page;
};

struct Key_Case {
    const char* what;
    std::vector<std::pair<int, short>> orders_before;  // position, value
    int row, column;                                  // cursor before
    std::vector<Key> keys;
    std::vector<std::pair<int, short>> orders_after;
    int row_after, column_after;
    bool last_consumed;
    const char* shown = nullptr;  // the list's text for the row the keys started on
};

}  // namespace

TEST_F(Order_Page_Test, KeysEditTheEntryUnderTheCursor) {
    const std::vector<Key_Case> cases = {
        {"1, 2, 5 on an empty entry", {}, 4, 0, {{Qt::Key_1, "1"}, {Qt::Key_2, "2"}, {Qt::Key_5, "5"}},
         {{4, 125}}, 5, 0, false, "125"},
        {"+ stores the separator", {{3, 9}}, 3, 1, {{Qt::Key_Plus, "+"}}, {{3, 253}}, 4, 1, false, "+++"},
        {"= as +", {}, 0, 0, {{Qt::Key_Equal, "="}}, {{0, 253}}, 1, 0, false, "+++"},
        {". empties", {{2, 7}}, 2, 0, {{Qt::Key_Period, "."}}, {{2, 255}}, 3, 0, false, "..."},
        {"Insert opens an empty entry", {{0, 1}, {1, 2}, {2, 3}}, 1, 0, {{Qt::Key_Insert, ""}},
         {{0, 1}, {1, 255}, {2, 2}, {3, 3}}, 1, 0, false, "..."},
        {"Delete closes the gap", {{0, 1}, {1, 2}, {2, 3}}, 1, 0, {{Qt::Key_Delete, ""}},
         {{0, 1}, {1, 3}, {2, 255}}, 1, 0, false, "003"},
        {"arrows move and are consumed", {}, 10, 1, {{Qt::Key_Down, ""}, {Qt::Key_Right, ""}}, {}, 11, 2, true},
        {"pages of eight rows", {}, 20, 0, {{Qt::Key_PageDown, ""}, {Qt::Key_PageDown, ""}, {Qt::Key_PageUp, ""}},
         {}, 28, 0, true},
        {"a letter edits nothing", {{0, 5}}, 0, 0, {{Qt::Key_A, "a"}}, {{0, 5}}, 0, 0, false, "005"},
        {"Ctrl+Down is the window's", {}, 5, 0, {{Qt::Key_Down, "", Qt::ControlModifier}}, {}, 5, 0, false},
    };
    for (const Key_Case& c : cases) {
        SCOPED_TRACE(c.what);
        ti->song.clear_all_orders();
        for (auto [position, value] : c.orders_before) ti->song.set_order(position, value);
        ti->editor.set_orderlist_cursor(c.row, c.column);
        bool consumed = false;
        for (const Key& key : c.keys) consumed = press(key);
        for (auto [position, value] : c.orders_after) EXPECT_EQ(ti->song.get_order(position), value) << position;
        EXPECT_EQ(ti->editor.get_orderlist_row(), c.row_after);
        EXPECT_EQ(ti->editor.get_orderlist_column(), c.column_after);
        EXPECT_EQ(consumed, c.last_consumed);
        if (c.shown) {
            EXPECT_EQ(ti->editor.orderlist_get_cursor_string(c.row), c.shown);
        }
        // The list scrolls to keep the cursor in view.
        int first = list()->get_first_visible_row();
        EXPECT_LE(first, c.row_after);
        EXPECT_LT(c.row_after, first + list()->get_visible_rows());
    }
}

TEST_F(Order_Page_Test, ClicksPickTheRowAndTheDigit) {
    ti->editor.set_orderlist_cursor(0, 2);
    click(6, row_y(3));  // the tens of the fourth line
    EXPECT_EQ(ti->editor.get_orderlist_row(), 3);
    EXPECT_EQ(ti->editor.get_orderlist_column(), 1);
    EXPECT_TRUE(list()->hasFocus());

    click(2, row_y(7));  // the position number: the digit stays
    EXPECT_EQ(ti->editor.get_orderlist_row(), 7);
    EXPECT_EQ(ti->editor.get_orderlist_column(), 1);
    click(5, row_y(7));
    EXPECT_EQ(ti->editor.get_orderlist_column(), 0);
    click(7, row_y(7));
    EXPECT_EQ(ti->editor.get_orderlist_column(), 2);

    // The scroll bar beside the list and the list scroll together.
    auto* bar = page->findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(bar, nullptr);
    bar->setValue(60);
    EXPECT_EQ(list()->get_first_visible_row(), 60);
    list()->set_first_visible_row(100);
    EXPECT_EQ(bar->value(), 100);
    EXPECT_EQ(bar->maximum(), 255 - list()->get_visible_rows());
    click(5, row_y(2));
    EXPECT_EQ(ti->editor.get_orderlist_row(), 102);

    // Scrolled to the end, a click below the last line is the last row.
    list()->set_first_visible_row(300);
    EXPECT_EQ(list()->get_first_visible_row() + list()->get_visible_rows(), 255);
    ti->editor.set_orderlist_cursor(0, 0);
    click(6, list()->get_visible_rows() * list()->get_row_height() + 1);
    EXPECT_EQ(ti->editor.get_orderlist_row(), 254);
}

TEST_F(Order_Page_Test, PlayingMarkRepaintsOnlyWhenItMoves) {
    int paints = 0;
    struct Paint_Counter : QObject {
        int* count;
        explicit Paint_Counter(int* count) : count(count) {}
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint) ++*count;
            return false;
        }
    } counter(&paints);
    list()->installEventFilter(&counter);
    QApplication::processEvents();
    paints = 0;

    list()->set_current_playing_order(5);
    QApplication::processEvents();
    EXPECT_EQ(list()->get_current_playing_order(), 5);
    EXPECT_GE(paints, 1);

    paints = 0;
    for (int tick = 0; tick < 10; tick++) list()->set_current_playing_order(5);
    QApplication::processEvents();
    EXPECT_EQ(paints, 0);

    list()->set_current_playing_order(-1);
    QApplication::processEvents();
    EXPECT_EQ(list()->get_current_playing_order(), -1);
    EXPECT_GE(paints, 1);
    list()->removeEventFilter(&counter);
}

TEST_F(Order_Page_Test, MuteBoxesCatchUpEveryFiftiethTimerCall) {
    const auto* entry = page->get_defaults()->get_entry(5);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->caption->text(), "Channel 6");
    QCheckBox* mute = entry->mute->get_check_box();
    EXPECT_FALSE(mute->isChecked());
    // Each control says which channel it belongs to, also once bound to a loaded song.
    page->set_song(&ti->song);
    EXPECT_EQ(mute->accessibleName(), "Channel 6 Mute");
    EXPECT_EQ(entry->pan->get_spin_box()->accessibleName(), "Channel 6 Pan");

    ti->editor.channel_solo_toggle(2);  // as F10 in the pattern view
    for (int call = 1; call < Order_And_Defaults_Editor::MUTE_REFRESH_CALLS; call++) page->timer_callback();
    EXPECT_FALSE(mute->isChecked());
    page->timer_callback();
    EXPECT_TRUE(mute->isChecked());
    EXPECT_FALSE(page->get_defaults()->get_entry(2)->mute->get_check_box()->isChecked());

    // A click on the box writes the song at once.
    mute->click();
    EXPECT_FALSE(ti->song.initial_variables.channel[5].mute);
}
