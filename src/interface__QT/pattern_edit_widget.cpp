// The core headers come first: sigc++ (in the player) cannot be parsed after Qt's "emit" macro.
#include "common/components/audio/mutex_lock.h"
#include "tracker/tracker_instance.h"

#include "interface__QT/pattern_edit_widget.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_resize_dialog.h"

Pattern_Edit_Widget::Pattern_Edit_Widget(QWidget* parent) : QWidget(parent) { build(); }

Pattern_Edit_Widget::Pattern_Edit_Widget(Tracker_Instance* tracker, Mutex_Lock* variables_lock, QWidget* parent)
    : QWidget(parent) {
    build();
    set_variables_lock(variables_lock);
    set_tracker(tracker);
}

static QLabel* caption_for(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

void Pattern_Edit_Widget::build() {
    pattern_edit = new Pattern_Edit(this);

    pattern_spin = new QSpinBox(this);
    pattern_spin->setRange(0, Song::MAX_PATTERNS - 1);
    order_spin = new QSpinBox(this);
    // Every order position, so that the box can show wherever the order cursor is.
    order_spin->setRange(0, Song::MAX_ORDERS - 1);
    instrument_spin = new QSpinBox(this);
    instrument_spin->setRange(0, Song::MAX_INSTRUMENTS);  // as the user counts; 0 is none
    instrument_spin->setSpecialValueText(tr("--"));
    length_button = new QPushButton(this);

    auto* controls = new QHBoxLayout;
    controls->addWidget(caption_for(tr("Pattern:"), pattern_spin, this));
    controls->addWidget(pattern_spin);
    controls->addSpacing(12);
    controls->addWidget(caption_for(tr("Order:"), order_spin, this));
    controls->addWidget(order_spin);
    controls->addSpacing(12);
    controls->addWidget(caption_for(tr("Instrument:"), instrument_spin, this));
    controls->addWidget(instrument_spin);
    controls->addSpacing(12);
    controls->addWidget(caption_for(tr("Pattern Length:"), length_button, this));
    controls->addWidget(length_button);
    controls->addStretch(1);

    row_scroll = new QScrollBar(Qt::Vertical, this);
    column_scroll = new QScrollBar(Qt::Horizontal, this);
    auto* view = new QGridLayout;
    view->setSpacing(0);
    view->addWidget(pattern_edit, 0, 0);
    view->addWidget(row_scroll, 0, 1);
    view->addWidget(column_scroll, 1, 0);

    undo_list = new QListWidget(this);
    // Room for "12- Selection volume scale"; the pattern grid gets the rest.
    undo_list->setMaximumWidth(undo_list->fontMetrics().averageCharWidth() * 28);
    undo_button = new QPushButton(tr("Undo"), this);
    auto* history = new QVBoxLayout;
    history->addWidget(caption_for(tr("Undo History:"), undo_list, this));
    history->addWidget(undo_list, 1);
    history->addWidget(undo_button);

    auto* body = new QHBoxLayout;
    body->addLayout(view, 1);
    body->addLayout(history, 0);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addLayout(body, 1);
    setFocusProxy(pattern_edit);

    connect(pattern_spin, &QSpinBox::valueChanged, this, &Pattern_Edit_Widget::pattern_changed);
    connect(order_spin, &QSpinBox::valueChanged, this, &Pattern_Edit_Widget::order_changed);
    connect(instrument_spin, &QSpinBox::valueChanged, this, &Pattern_Edit_Widget::instrument_changed);
    connect(length_button, &QPushButton::clicked, this, &Pattern_Edit_Widget::ask_resize);
    connect(undo_button, &QPushButton::clicked, this, &Pattern_Edit_Widget::undo_selected);
    connect(undo_list, &QListWidget::itemActivated, this, &Pattern_Edit_Widget::undo_selected);
    connect(row_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (updating || !tracker) return;
        tracker->editor.set_row_offset(value);
        pattern_edit->repaint_after_command();
    });
    connect(column_scroll, &QScrollBar::valueChanged, this, [this](int value) {
        if (updating || !tracker) return;
        tracker->editor.set_column_offset(value);
        pattern_edit->repaint_after_command();
    });
    connect(pattern_edit, &Pattern_Edit::operation_performed_signal, this, &Pattern_Edit_Widget::refresh_controls);
    connect(pattern_edit, &Pattern_Edit::instrument_changed_signal, this, &Pattern_Edit_Widget::show_instrument);
    connect(pattern_edit, &Pattern_Edit::view_changed_signal, this, &Pattern_Edit_Widget::refresh_scroll_bars);
}

void Pattern_Edit_Widget::set_tracker(Tracker_Instance* to) {
    tracker = to;
    pattern_edit->set_song(tracker ? &tracker->song : nullptr);
    pattern_edit->set_player(tracker ? &tracker->player : nullptr);
    pattern_edit->set_keyboard(tracker ? &tracker->keyboard : nullptr);
    pattern_edit->set_editor(tracker ? &tracker->editor : nullptr);
    if (tracker) {
        int instrument = tracker->editor.get_last_instrument();
        if (instrument < Song::MAX_INSTRUMENTS) tracker->keyboard.instrument_set(instrument);
        tracker->editor.clear_undo_changed();
    }
    refresh_undo_list();
    refresh();
}

void Pattern_Edit_Widget::set_variables_lock(Mutex_Lock* lock) {
    variables_lock = lock;
    pattern_edit->set_variables_lock(lock);
}

void Pattern_Edit_Widget::refresh() {
    // Another pattern or a shorter one may have left the view past its end.
    if (tracker) tracker->editor.adjust_view_to_cursor();
    refresh_controls();
    pattern_edit->repaint_after_command();
}

void Pattern_Edit_Widget::timer_callback() {
    int pattern = -1, row = -1;
    if (tracker) {
        // The audio thread moves the playing position while it holds this lock.
        Mutex_Lock_Guard guard(variables_lock);
        if (tracker->player.get_play_mode() != Player_Data::PLAY_NOTHING) {
            pattern = tracker->player.get_current_pattern();
            row = tracker->player.get_current_row();
        }
    }
    pattern_edit->update_info_areas(pattern, row);
    refresh_controls();
    if (tracker) {
        // The mixer feeds the scopes only while they can be seen.
        const bool shown = pattern_edit->isVisible();
        if (tracker->mixer.get_channel_scopes() != shown) tracker->mixer.set_channel_scopes(shown);
        // A full-scale sample at full volume, through the preamp and the song's mixing volume.
        const double full_scale =
            32768.0 * tracker->mixer.get_preamp() * tracker->song.variables.mixing_volume / 128.0;
        pattern_edit->set_channel_scopes(tracker->mixer.get_channel_scopes_feed(), full_scale);
        pattern_edit->update_scopes();
    }
}

void Pattern_Edit_Widget::refresh_controls() {
    if (!tracker) return;
    const Editor& editor = tracker->editor;
    updating = true;
    // A spin box repaints at every value it is given, even the one it shows: the clock calls
    // this every tick.
    auto show = [](QSpinBox* spin, int value) {
        if (spin->value() != value) spin->setValue(value);
    };
    show(pattern_spin, editor.get_current_pattern());
    show(order_spin, editor.get_orderlist_row());
    int instrument = editor.get_last_instrument();
    show(instrument_spin, instrument < Song::MAX_INSTRUMENTS ? instrument + 1 : 0);
    length_button->setText(QString::number(tracker->song.pattern[editor.get_current_pattern()].get_length()));
    updating = false;
    if (editor.is_undo_changed()) refresh_undo_list();
    refresh_scroll_bars();
}

void Pattern_Edit_Widget::refresh_undo_list() {
    undo_list->clear();
    if (!tracker) return;
    Editor& editor = tracker->editor;
    for (int i = 0; i < editor.get_undo_max(); i++) {
        QString description = QString::fromStdString(editor.get_undo_info(i));
        int pattern = editor.get_undo_pattern(i);
        undo_list->addItem(pattern >= 0 ? QStringLiteral("%1- %2").arg(pattern).arg(description) : description);
    }
    editor.clear_undo_changed();
}

void Pattern_Edit_Widget::refresh_scroll_bars() {
    if (!tracker) return;
    const Editor& editor = tracker->editor;
    int line = std::max(pattern_edit->get_line_height(), 1);
    int channel_width = std::max(pattern_edit->get_char_width() * Pattern_Edit::CHANNEL_CHARS, 1);
    int rows = std::max((pattern_edit->height() - Pattern_Edit::HEADER_LINES * line) / line, 1);
    int columns = std::max(
        (pattern_edit->width() - Pattern_Edit::ROW_NUMBER_CHARS * pattern_edit->get_char_width()) / channel_width, 1);
    int length = tracker->song.pattern[editor.get_current_pattern()].get_length();

    updating = true;
    // A scroll bar repaints at every page step it is given, even the one it has.
    row_scroll->setRange(0, std::max(length - rows, 0));
    if (row_scroll->pageStep() != rows) row_scroll->setPageStep(rows);
    row_scroll->setValue(editor.get_row_offset());
    column_scroll->setRange(0, std::max(Pattern::CHANNELS - columns, 0));
    if (column_scroll->pageStep() != columns) column_scroll->setPageStep(columns);
    column_scroll->setValue(editor.get_column_offset());
    updating = false;
}

void Pattern_Edit_Widget::pattern_changed(int pattern) {
    if (updating || !tracker) return;
    tracker->editor.cursor_goto_pattern(pattern);
    refresh();
}

void Pattern_Edit_Widget::order_changed(int order) {
    if (updating || !tracker) return;
    Editor& editor = tracker->editor;
    editor.set_orderlist_cursor(order, editor.get_orderlist_column());
    int pattern = tracker->song.get_order(order);
    if (pattern < Song::MAX_PATTERNS) editor.cursor_goto_pattern(pattern);
    refresh();
}

void Pattern_Edit_Widget::instrument_changed(int number) {
    if (updating || !tracker) return;
    tracker->editor.set_last_instrument(number == 0 ? EMPTY_FIELD : number - 1);
    if (number > 0) tracker->keyboard.instrument_set(number - 1);
}

void Pattern_Edit_Widget::show_instrument(int instrument) {
    updating = true;
    instrument_spin->setValue(instrument + 1);
    updating = false;
}

void Pattern_Edit_Widget::ask_resize() {
    if (!tracker) return;
    Pattern_Resize_Dialog dialog(this);
    dialog.set_length(tracker->song.pattern[tracker->editor.get_current_pattern()].get_length());
    dialog.set_count(1);
    if (dialog.exec() == QDialog::Accepted) resize_patterns(dialog.get_length(), dialog.get_count());
}

void Pattern_Edit_Widget::resize_patterns(int length, int count) {
    if (!tracker || length < 1 || length > Pattern::MAX_LENGTH) return;
    Editor& editor = tracker->editor;
    int first = editor.get_current_pattern();
    int last = std::min(first + std::max(count, 1) - 1, Song::MAX_PATTERNS - 1);
    {
        // The player reads the lengths.
        Mutex_Lock_Guard guard(variables_lock);
        // Shrinking drops rows; the patterns can be had back.
        Song_History::Step step(&tracker->history, "Resize pattern");
        step.watch_patterns(first, last);
        for (int pattern = first; pattern <= last; pattern++)
            tracker->song.pattern[pattern].set_length(length);
    }
    editor.cursor_move_down(0);  // back inside a shorter pattern
    editor.normalize_selection();
    editor.set_row_offset(editor.get_row_offset());
    refresh();
}

void Pattern_Edit_Widget::undo_selected() {
    if (!tracker) return;
    int index = std::max(undo_list->currentRow(), 0);
    // The history takes the locks itself; the other pages refresh from the song window's clock.
    tracker->editor.undo_index(index);
    refresh();
}
