#include "common/components/audio/sample_data.h"
#include "tracker/sample_editor.h"
#include "trackercore/sample.h"

#include "interface__QT/sample_edit_effects.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

#include "common/interface__QT/property_list_editor.h"

Sample_Edit_Effects::Sample_Edit_Effects(QWidget* parent)
    : QGroupBox("Edit Effects", parent),
      effect_list(new QListWidget(this)),
      description(new QLabel(this)),
      parameters(new Property_List_Editor(this)),
      apply_button(new QPushButton("Apply", this)) {
    effect_list->setAccessibleName("Edit Effects");
    description->setWordWrap(true);
    description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Two lines of description, whichever effect is shown, so that the panel does not jump.
    description->setMinimumHeight(description->fontMetrics().lineSpacing() * 2);
    apply_button->setToolTip("Applies the effect to the selection, or to the whole sample without one");

    auto* side = new QVBoxLayout;
    side->addWidget(description);
    side->addWidget(parameters, 1);
    side->addStretch(0);
    side->addWidget(apply_button, 0, Qt::AlignRight);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(effect_list, 0);
    layout->addLayout(side, 1);

    connect(effect_list, &QListWidget::currentRowChanged, this, &Sample_Edit_Effects::select_effect);
    // Selected without moving the cursor (assistive technology): the cursor follows.
    connect(effect_list, &QListWidget::itemSelectionChanged, this, [this] {
        QList<QListWidgetItem*> chosen = effect_list->selectedItems();
        if (!chosen.isEmpty() && effect_list->row(chosen.first()) != effect_list->currentRow())
            effect_list->setCurrentItem(chosen.first());
    });
    connect(effect_list, &QListWidget::itemActivated, this, &Sample_Edit_Effects::apply);
    connect(apply_button, &QPushButton::clicked, this, &Sample_Edit_Effects::apply);
}

void Sample_Edit_Effects::set_sample_editor(Sample_Editor* to) {
    editor = to;
    effect_list->clear();
    if (editor)
        for (int i = 0; i < editor->get_effect_count(); i++)
            effect_list->addItem(QString::fromStdString(editor->get_effect(i)->get_name()));
    // Every name whole; the parameters get the rest.
    int widest = 0;
    for (int i = 0; i < effect_list->count(); i++)
        widest = std::max(widest, effect_list->fontMetrics().horizontalAdvance(effect_list->item(i)->text()));
    effect_list->setFixedWidth(widest + effect_list->frameWidth() * 2 + effect_list->fontMetrics().averageCharWidth() * 2 +
                               effect_list->verticalScrollBar()->sizeHint().width());
    effect_list->setCurrentRow(editor && editor->get_effect_count() > 0 ? 0 : -1);
    update_enabled();
}

int Sample_Edit_Effects::get_selected_effect() const { return effect_list->currentRow(); }

void Sample_Edit_Effects::select_effect(int index) {
    Edit_Effect* effect = editor ? editor->get_effect(index) : nullptr;
    if (!effect) {
        description->clear();
        parameters->set_properties({});
        return;
    }
    if (effect_list->currentRow() != index) {
        QSignalBlocker quiet(effect_list);
        effect_list->setCurrentRow(index);
    }
    description->setText(QString::fromStdString(effect->get_description()));
    parameters->set_properties(editor->select_effect(index));
    parameters->setVisible(parameters->get_editor_count() > 0);
}

void Sample_Edit_Effects::apply() {
    if (!editor || !editor->get_effect(get_selected_effect())) return;
    editor->apply_effect(get_selected_effect());
    parameters->refresh();
    emit effect_applied();
}

void Sample_Edit_Effects::update_enabled() {
    Sample* sample = editor ? editor->get_sample() : nullptr;
    apply_button->setEnabled(sample && sample->data.get_size() > 0);
}
