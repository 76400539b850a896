#include "interface__QT/keyboard_input_config.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QScrollArea>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "interface__QT/key_entry.h"
#include "interface__QT/key_list.h"
#include "tracker/keyboard_input.h"

Keyboard_Input_Config::Keyboard_Input_Config(QWidget* parent) : QWidget(parent) {
    auto* group = new QGroupBox(tr("Tracker Key Bindings"), this);
    auto* scroll = new QScrollArea(group);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    list = new QWidget;
    grid = new QGridLayout(list);
    grid->setHorizontalSpacing(grid->horizontalSpacing() * 4);
    scroll->setWidget(list);
    auto* group_layout = new QVBoxLayout(group);
    group_layout->addWidget(scroll);

    auto* fixed_group = new QGroupBox(tr("Fixed Keys"), this);
    fixed_keys = new QTreeWidget(fixed_group);
    fixed_keys->setColumnCount(2);
    fixed_keys->setHeaderLabels({tr("Key"), tr("Action")});
    fixed_keys->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    fixed_keys->setAccessibleName(tr("Fixed Keys"));
    fixed_keys->setSelectionMode(QAbstractItemView::NoSelection);
    fixed_keys->setUniformRowHeights(true);
    QTreeWidgetItem* section = nullptr;
    for (const Key_List::Row& row : Key_List::fixed_keys()) {
        if (!section || section->text(0) != row.group) {
            section = new QTreeWidgetItem(fixed_keys, {row.group});
            section->setFirstColumnSpanned(true);
        }
        new QTreeWidgetItem(section, {row.keys, row.action});
    }
    fixed_keys->expandAll();
    auto* fixed_layout = new QVBoxLayout(fixed_group);
    fixed_layout->addWidget(fixed_keys);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group, 3);
    layout->addWidget(fixed_group, 2);
    update();
}

Key_Entry* Keyboard_Input_Config::get_entry(int index) const {
    return index >= 0 && index < (int)entries.size() ? entries[index] : nullptr;
}

// Entries run down the columns, so the note keys stay together in order.
void Keyboard_Input_Config::rebuild() {
    for (Key_Entry* entry : entries) delete entry;
    entries.clear();
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    int count = keys ? keys->get_key_bind_count() : 0;
    int rows = (count + COLUMNS - 1) / COLUMNS;
    for (int i = 0; i < count; ++i) {
        auto* entry = new Key_Entry(i, list);
        connect(entry, &Key_Entry::bindings_changed, this, &Keyboard_Input_Config::update);
        grid->addWidget(entry, i % rows, i / rows);
        entries.push_back(entry);
    }
    grid->setRowStretch(rows, 1);
}

// The page may have been made before the bindings, and a first run loads no settings.
void Keyboard_Input_Config::showEvent(QShowEvent* event) {
    update();
    QWidget::showEvent(event);
}

void Keyboard_Input_Config::update() {
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    if (!keys || keys->get_key_bind_count() != (int)entries.size()) rebuild();
    for (Key_Entry* entry : entries) entry->update();
}
