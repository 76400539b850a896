#include "common/components/audio/mutex_lock.h"
#include "trackercore/song.h"

#include "interface__QT/variables_edit.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_editor_string.h"

Variables_Edit::Variables_Edit(QWidget* parent) : QWidget(parent), content(new QWidget) {
    // A small song window scrolls the groups rather than squeezing them.
    auto* area = new QScrollArea(this);
    area->setWidget(content);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(area);
}

QGroupBox* Variables_Edit::add_group(const QString& title, QFormLayout** form) {
    auto* group = new QGroupBox(title, content);
    *form = new QFormLayout(group);
    (*form)->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    (*form)->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return group;
}

void Variables_Edit::add_editor(QFormLayout* form, Song* song, const Bridge_Of& bridge_of, bool multi_line) {
    Property_Bridge* bridge = bridge_of(*song);
    Property_Editor* editor =
        multi_line ? new Property_Editor_String(static_cast<String_Property_Bridge*>(bridge),
                                                Property_Editor_String::Mode::MULTI_LINE, content)
                   : Property_Editor::create(bridge, content);
    if (!editor) return;
    editor->set_lock(lock);
    connect(editor, &Property_Editor::property_edited, this, &Variables_Edit::edited);
    bindings.push_back({editor, bridge_of});
    if (editor->shows_caption()) {
        form->addRow(static_cast<QWidget*>(nullptr), editor);
        return;
    }
    auto* label = new QLabel(editor->get_caption(), content);
    label->setBuddy(editor->get_focus_control());
    form->addRow(label, editor);
}

void Variables_Edit::build(Song* song) {
    QFormLayout* form;
    // "&" would make a mnemonic of the blank after it.
    QGroupBox* name_group = add_group(tr("Song Name && Comments:"), &form);
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.name_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.message_prop; }, true);

    QGroupBox* speed_group = add_group(tr("Speed/Tempo:"), &form);
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.initial_variables.speed_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.initial_variables.tempo_prop; });

    QGroupBox* hilight_group = add_group(tr("Row Hilight:"), &form);
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.row_hilight_minor_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.row_hilight_major_prop; });

    QGroupBox* mixing_group = add_group(tr("Mixing:"), &form);
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.initial_variables.global_volume_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.mixing_volume_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.stereo_separation_prop; });
    add_editor(form, song, [](Song& s) -> Property_Bridge* { return &s.variables.use_stereo_prop; });

    QGroupBox* compatibility_group = add_group(tr("Compatibility:"), &form);
    for (size_t i = 0; i < Playback_Rules::list().size(); i++)
        add_editor(form, song, [i](Song& s) { return s.variables.get_rule_property(i); });

    // The name and message on the left, the numbers and switches beside them.
    auto* right = new QVBoxLayout;
    right->addWidget(speed_group);
    right->addWidget(hilight_group);
    right->addWidget(mixing_group);
    right->addWidget(compatibility_group);
    right->addStretch(1);
    auto* layout = new QGridLayout(content);
    layout->addWidget(name_group, 0, 0);
    layout->addLayout(right, 0, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 2);
    built = true;
}

void Variables_Edit::set_song(Song* to) {
    song = to;
    if (!song) return;
    if (!built) {
        build(song);
        return;
    }
    for (const Binding& binding : bindings) binding.editor->set_bridge(binding.bridge_of(*song));
}

void Variables_Edit::set_variables_lock(Mutex_Lock* to) {
    lock = to;
    for (const Binding& binding : bindings) binding.editor->set_lock(lock);
}

Property_Editor* Variables_Edit::get_editor(const QString& caption) const {
    for (const Binding& binding : bindings)
        if (QString::fromStdString(binding.editor->get_bridge()->get_name()) == caption) return binding.editor;
    return nullptr;
}

void Variables_Edit::edited(Property_Bridge* bridge) {
    if (!song) return;
    if (bridge == &song->variables.name_prop) emit song_name_changed();
    if (bridge == &song->variables.row_hilight_minor_prop || bridge == &song->variables.row_hilight_major_prop)
        emit row_hilights_changed();
}

void Variables_Edit::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    for (const Binding& binding : bindings) binding.editor->refresh();
}
