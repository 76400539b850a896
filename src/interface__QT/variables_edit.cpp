#include "common/components/audio/mutex_lock.h"
#include "trackercore/song.h"

#include "interface__QT/variables_edit.h"

#include <QComboBox>
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
    // One choice sets every rule as that tracker plays; the switches below fine-tune them.
    rules_format = new QComboBox(content);
    auto* rules_label = new QLabel(tr("Play As"), content);
    rules_label->setBuddy(rules_format);
    form->addRow(rules_label, rules_format);
    connect(rules_format, &QComboBox::activated, this, [this](int index) {
        const QVariant format = rules_format->itemData(index);
        if (format.isValid()) take_rules_of(format.toInt());
    });
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
    if (!built) build(song);
    else
        for (const Binding& binding : bindings) binding.editor->set_bridge(binding.bridge_of(*song));
    show_rules_format();
}

namespace {

struct Rules_Format {
    Playback_Rules::Format format;
    const char* name;
};
const Rules_Format rules_formats[] = {
    {Playback_Rules::Format::IT, "Impulse Tracker"},
    {Playback_Rules::Format::XM, "FastTracker 2"},
    {Playback_Rules::Format::S3M, "Scream Tracker 3"},
    {Playback_Rules::Format::MOD, "ProTracker"},
};

// A format's rules as this song would take them: IT plays a song without instruments by
// its own rule for unmapped notes.
Playback_Rules rules_for(const Playback_Rules& song, Playback_Rules::Format format) {
    Playback_Rules rules = Playback_Rules::of_format(format);
    if (format == Playback_Rules::Format::IT) rules.keep_instrument_mode(song);
    return rules;
}

int differences(const Playback_Rules& a, const Playback_Rules& b) {
    int count = 0;
    for (const Playback_Rules::Entry& rule : Playback_Rules::list())
        count += rule.flag ? a.*rule.flag != b.*rule.flag : a.*rule.number != b.*rule.number;
    return count;
}

}  // namespace

void Variables_Edit::show_rules_format() {
    if (!rules_format || !song) return;
    // The format the rules are closest to; ties go to the first in the list.
    const Rules_Format* closest = nullptr;
    int fewest = 0;
    for (const Rules_Format& f : rules_formats) {
        const int count = differences(song->variables.rules, rules_for(song->variables.rules, f.format));
        if (!closest || count < fewest) {
            closest = &f;
            fewest = count;
        }
    }
    const QSignalBlocker quiet(rules_format);
    rules_format->clear();
    for (const Rules_Format& f : rules_formats) rules_format->addItem(tr(f.name), (int)f.format);
    const int index = (int)(closest - rules_formats);
    if (fewest > 0) {
        // A choice that is no format: picking it changes nothing.
        const QString changed = fewest == 1 ? tr("1 rule changed") : tr("%1 rules changed").arg(fewest);
        rules_format->insertItem(0, tr(closest->name) + ", " + changed);
        rules_format->setCurrentIndex(0);
    } else {
        rules_format->setCurrentIndex(index);
    }
}

void Variables_Edit::take_rules_of(int format) {
    if (!song) return;
    if (lock) lock->grab();
    song->variables.rules = rules_for(song->variables.rules, (Playback_Rules::Format)format);
    if (lock) lock->release();
    for (const Binding& binding : bindings) binding.editor->refresh();
    show_rules_format();
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
    show_rules_format();
    if (bridge == &song->variables.name_prop) emit song_name_changed();
    if (bridge == &song->variables.row_hilight_minor_prop || bridge == &song->variables.row_hilight_major_prop)
        emit row_hilights_changed();
}

void Variables_Edit::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    for (const Binding& binding : bindings) binding.editor->refresh();
    show_rules_format();
}
