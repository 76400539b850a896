#include "common/components/audio/effect.h"
#include "common/components/audio/effect_chain.h"
#include "common/components/audio/mutex_lock.h"

#include "common/interface__QT/audio/effect_chain_editor.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/interface__QT/audio/effect_select_popup.h"
#include "common/interface__QT/property_list_editor.h"

Effect_Chain_Editor::Effect_Chain_Editor(QWidget* parent)
    : QWidget(parent),
      effect_list(new QListWidget(this)),
      add_button(new QPushButton(tr("Add Effect..."), this)),
      up_button(new QPushButton(tr("Move Up"), this)),
      down_button(new QPushButton(tr("Move Down"), this)),
      erase_button(new QPushButton(tr("Remove Effect"), this)),
      parameters_caption(new QLabel(this)),
      property_editor(new Property_List_Editor(this)),
      select_popup(new Effect_Select_Popup(this)) {
    effect_list->setAccessibleName(tr("Effects in processing order"));
    auto* effects_caption = new QLabel(tr("Effects:"), this);
    effects_caption->setBuddy(effect_list);
    parameters_caption->setBuddy(property_editor);
    property_editor->setAccessibleName(tr("Effect parameters"));

    auto* buttons = new QGridLayout;
    buttons->addWidget(add_button, 0, 0);
    buttons->addWidget(erase_button, 0, 1);
    buttons->addWidget(up_button, 1, 0);
    buttons->addWidget(down_button, 1, 1);

    auto* chain_column = new QVBoxLayout;
    chain_column->addWidget(effects_caption);
    chain_column->addWidget(effect_list, 1);
    chain_column->addLayout(buttons);

    auto* parameters_column = new QVBoxLayout;
    parameters_column->addWidget(parameters_caption);
    parameters_column->addWidget(property_editor, 1);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(chain_column, 2);
    layout->addLayout(parameters_column, 3);

    connect(effect_list, &QListWidget::currentRowChanged, this, &Effect_Chain_Editor::effect_selected_slot);
    connect(add_button, &QPushButton::clicked, this, &Effect_Chain_Editor::add_effect_slot);
    connect(up_button, &QPushButton::clicked, this, &Effect_Chain_Editor::move_up_slot);
    connect(down_button, &QPushButton::clicked, this, &Effect_Chain_Editor::move_down_slot);
    connect(erase_button, &QPushButton::clicked, this, &Effect_Chain_Editor::erase_slot);
    update_chain();
}

Effect_Chain_Editor::~Effect_Chain_Editor() {
    // The chain may already be gone with its song; the list, emptied as it is deleted, must
    // not reach it.
    effect_list->disconnect(this);
    chain = nullptr;
}

void Effect_Chain_Editor::set_lock(Mutex_Lock* new_lock) {
    lock = new_lock;
    property_editor->set_lock(lock);
}

Effect* Effect_Chain_Editor::selected_effect() const {
    return chain ? chain->get_effect(selected) : nullptr;
}

void Effect_Chain_Editor::set_effect_chain(Effect_Chain* new_chain) {
    Effect* keep = selected_effect();
    chain = new_chain;
    if (!chain || chain->get_effect(selected) != keep) selected = chain && chain->get_effect_count() > 0 ? 0 : -1;
    update_chain();
}

void Effect_Chain_Editor::clear() {
    chain = nullptr;
    selected = -1;
    update_chain();
}

void Effect_Chain_Editor::update_chain() {
    const int count = chain ? chain->get_effect_count() : 0;
    if (selected >= count) selected = count - 1;
    if (selected < 0 && count > 0) selected = 0;
    updating = true;
    effect_list->clear();
    for (int i = 0; i < count; i++) effect_list->addItem(QString::fromStdString(chain->get_effect(i)->get_display_name()));
    effect_list->setCurrentRow(selected);
    updating = false;
    show_selected_effect();
    refresh_buttons();
}

void Effect_Chain_Editor::show_selected_effect() {
    Effect* effect = selected_effect();
    if (effect != shown_effect) {
        shown_effect = effect;
        property_editor->set_properties(effect ? effect->get_properties() : Property_Bridge_List());
    }
    if (!chain)
        parameters_caption->setText(tr("No bus selected"));
    else if (chain->get_effect_count() == 0)
        parameters_caption->setText(tr("No effects on this bus"));
    else if (!effect)
        parameters_caption->setText(tr("No effect selected"));
    else if (property_editor->get_editor_count() == 0)
        parameters_caption->setText(tr("%1 has no parameters").arg(QString::fromStdString(effect->get_display_name())));
    else
        parameters_caption->setText(tr("%1 parameters:").arg(QString::fromStdString(effect->get_display_name())));
}

void Effect_Chain_Editor::refresh_buttons() {
    const int count = chain ? chain->get_effect_count() : 0;
    add_button->setEnabled(chain != nullptr);
    effect_list->setEnabled(chain != nullptr);
    erase_button->setEnabled(selected >= 0 && selected < count);
    up_button->setEnabled(selected > 0 && selected < count);
    down_button->setEnabled(selected >= 0 && selected < count - 1);
}

void Effect_Chain_Editor::effect_selected_slot(int index) {
    if (updating || !chain || index < 0 || index >= chain->get_effect_count()) return;
    selected = index;
    show_selected_effect();
    refresh_buttons();
}

void Effect_Chain_Editor::add_effect_slot() {
    if (!chain || !select_popup->run()) return;
    // Made before the lock is taken: a plug-in is loaded from disk.
    Effect* effect = select_popup->create_selected_effect();
    if (!effect) return;
    {
        Mutex_Lock_Guard guard(lock);
        chain->add_effect(effect);
    }
    selected = chain->get_effect_count() - 1;
    update_chain();
    emit chain_edited();
}

void Effect_Chain_Editor::move_up_slot() {
    if (!chain) return;
    bool moved;
    {
        Mutex_Lock_Guard guard(lock);
        moved = chain->move_effect_up(selected);
    }
    if (!moved) return;
    selected--;
    update_chain();
    emit chain_edited();
}

void Effect_Chain_Editor::move_down_slot() {
    if (!chain) return;
    bool moved;
    {
        Mutex_Lock_Guard guard(lock);
        moved = chain->move_effect_down(selected);
    }
    if (!moved) return;
    selected++;
    update_chain();
    emit chain_edited();
}

void Effect_Chain_Editor::erase_slot() {
    if (!selected_effect()) return;
    // The editors of its parameters go first: the chain deletes the effect and its bridges.
    shown_effect = nullptr;
    property_editor->set_properties({});
    bool removed;
    {
        Mutex_Lock_Guard guard(lock);
        removed = chain->remove_effect(selected);
    }
    if (removed && selected > 0) selected--;
    update_chain();
    if (removed) emit chain_edited();
}
