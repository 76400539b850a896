// The core headers come first: sigc++ cannot be parsed after Qt's "emit" macro.
#include "common/components/audio/mutex_lock.h"
#include "tracker/editor.h"
#include "trackercore/song.h"

#include "interface__QT/order_and_defaults_editor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_int.h"
#include "interface__QT/orderlist_edit.h"

// Channel defaults

namespace {

// "Channel 5 Pan" rather than 64 controls all called "Pan". Binding names the controls after
// the bridge alone, so this follows every bind.
void name_for_channel(Property_Editor* editor, const QString& channel) {
    for (QWidget* control : editor->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (!control->accessibleName().startsWith(channel))
            control->setAccessibleName(channel + " " + control->accessibleName());
}

}  // namespace

void Order_And_Defaults_Editor::Defaults::name_entry(int channel) {
    Entry& entry = entries[channel];
    const QString name = entry.caption->text();
    for (Property_Editor* editor :
         std::initializer_list<Property_Editor*>{entry.pan, entry.surround, entry.volume, entry.mute})
        name_for_channel(editor, name);
}

Order_And_Defaults_Editor::Defaults::Defaults(QWidget* parent) : QWidget(parent), grid(new QGridLayout(this)) {
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setHorizontalSpacing(12);
    grid->addWidget(new QLabel(tr("Pan"), this), 0, 1);
    grid->addWidget(new QLabel(tr("Volume"), this), 0, 3);
}

void Order_And_Defaults_Editor::Defaults::build(Song* song) {
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) {
        Song::Initial_Variables::Channel_State& state = song->initial_variables.channel[channel];
        Entry& entry = entries[channel];
        entry.caption = new QLabel(tr("Channel %1").arg(channel + 1), this);
        entry.pan = new Property_Editor_Int(&state.pan_prop, this);
        entry.surround = new Property_Editor_Bool(&state.surround_prop, this);
        entry.volume = new Property_Editor_Int(&state.volume_prop, this);
        entry.mute = new Property_Editor_Bool(&state.mute_prop, this);
        entry.caption->setBuddy(entry.pan->get_focus_control());
        const int row = channel + 1;
        grid->addWidget(entry.caption, row, 0);
        grid->addWidget(entry.pan, row, 1);
        grid->addWidget(entry.surround, row, 2);
        grid->addWidget(entry.volume, row, 3);
        grid->addWidget(entry.mute, row, 4);
        name_entry(channel);
    }
    built = true;
    set_lock(lock);
}

void Order_And_Defaults_Editor::Defaults::set_song(Song* song) {
    if (!song) return;
    if (!built) {
        build(song);
        return;
    }
    for (int channel = 0; channel < Pattern::CHANNELS; channel++) {
        Song::Initial_Variables::Channel_State& state = song->initial_variables.channel[channel];
        Entry& entry = entries[channel];
        entry.pan->set_bridge(&state.pan_prop);
        entry.surround->set_bridge(&state.surround_prop);
        entry.volume->set_bridge(&state.volume_prop);
        entry.mute->set_bridge(&state.mute_prop);
        name_entry(channel);
    }
}

void Order_And_Defaults_Editor::Defaults::set_lock(Mutex_Lock* to) {
    lock = to;
    if (!built) return;
    for (Entry& entry : entries) {
        entry.pan->set_lock(lock);
        entry.surround->set_lock(lock);
        entry.volume->set_lock(lock);
        entry.mute->set_lock(lock);
    }
}

void Order_And_Defaults_Editor::Defaults::refresh_mutes() {
    if (!built) return;
    for (Entry& entry : entries) entry.mute->refresh();
}

const Order_And_Defaults_Editor::Defaults::Entry* Order_And_Defaults_Editor::Defaults::get_entry(int channel) const {
    if (!built || channel < 0 || channel >= Pattern::CHANNELS) return nullptr;
    return &entries[channel];
}

// The page

Order_And_Defaults_Editor::Order_And_Defaults_Editor(QWidget* parent)
    : QWidget(parent),
      orderlist(new OrderList_Edit(this)),
      orderlist_scroll(new QScrollBar(Qt::Vertical, this)),
      defaults(new Defaults) {
    auto* list_caption = new QLabel(tr("List:"), this);
    list_caption->setBuddy(orderlist);
    auto* list_row = new QHBoxLayout;
    list_row->setSpacing(0);
    list_row->addWidget(orderlist);
    list_row->addWidget(orderlist_scroll);
    auto* list_column = new QVBoxLayout;
    list_column->addWidget(list_caption);
    list_column->addLayout(list_row, 1);

    auto* defaults_area = new QScrollArea(this);
    defaults_area->setWidget(defaults);
    defaults_area->setWidgetResizable(true);
    auto* defaults_caption = new QLabel(tr("Initial channel defaults:"), this);
    defaults_caption->setBuddy(defaults_area);
    auto* defaults_column = new QVBoxLayout;
    defaults_column->addWidget(defaults_caption);
    defaults_column->addWidget(defaults_area, 1);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(list_column);
    layout->addSpacing(8);
    layout->addLayout(defaults_column, 1);
    setFocusProxy(orderlist);

    connect(orderlist, &OrderList_Edit::view_changed, this, &Order_And_Defaults_Editor::refresh_scroll_bar);
    connect(orderlist_scroll, &QScrollBar::valueChanged, this, [this](int row) {
        if (!updating) orderlist->set_first_visible_row(row);
    });
    refresh_scroll_bar();
}

void Order_And_Defaults_Editor::set_song(Song* to) {
    song = to;
    defaults->set_song(song);
    orderlist->update();
}

void Order_And_Defaults_Editor::set_editor(Editor* editor) { orderlist->set_editor(editor); }

void Order_And_Defaults_Editor::set_variables_lock(Mutex_Lock* lock) {
    orderlist->set_variables_lock(lock);
    defaults->set_lock(lock);
}

void Order_And_Defaults_Editor::timer_callback() {
    if (++timer_calls < MUTE_REFRESH_CALLS) return;
    timer_calls = 0;
    defaults->refresh_mutes();
}

void Order_And_Defaults_Editor::refresh_scroll_bar() {
    const int visible = orderlist->get_visible_rows();
    updating = true;
    orderlist_scroll->setRange(0, std::max(OrderList_Edit::LAST_ROW + 1 - visible, 0));
    orderlist_scroll->setPageStep(visible);
    orderlist_scroll->setValue(orderlist->get_first_visible_row());
    updating = false;
}
