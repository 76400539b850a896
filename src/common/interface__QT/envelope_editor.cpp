#include "common/interface__QT/envelope_editor.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>

#include "common/components/audio/mutex_lock.h"
#include "common/interface__QT/envelope_point_editor.h"
#include "trackercore/envelope.h"

Envelope_Editor::Envelope_Editor(QWidget* parent)
    : QWidget(parent),
      point_editor(new Envelope_Point_Editor(this)),
      control_box(new QGroupBox(tr("Control:"), this)),
      enabled_check(new QCheckBox(tr("Enable Envelope"), control_box)),
      loop_check(new QCheckBox(tr("Enable Loop"), control_box)),
      sustain_check(new QCheckBox(tr("Enable Sustain Loop"), control_box)),
      carry_check(new QCheckBox(tr("Carry"), control_box)),
      loop_begin_spin(add_spin_box(tr("Loop Begin"))),
      loop_end_spin(add_spin_box(tr("Loop End"))),
      sustain_begin_spin(add_spin_box(tr("Sustain Loop Begin"))),
      sustain_end_spin(add_spin_box(tr("Sustain Loop End"))) {
    auto* grid = new QGridLayout(control_box);
    auto heading = [this, grid](const QString& text, QCheckBox* check, int row) {
        auto* label = new QLabel(text, control_box);
        label->setBuddy(check);
        grid->addWidget(label, row, 0);
        grid->addWidget(check, row, 1, 1, 3);
    };
    auto points = [this, grid](QSpinBox* begin, QSpinBox* end, int row) {
        auto* begin_label = new QLabel(tr("    Begin "), control_box);
        auto* end_label = new QLabel(tr("    End "), control_box);
        begin_label->setBuddy(begin);
        end_label->setBuddy(end);
        grid->addWidget(begin_label, row, 0);
        grid->addWidget(begin, row, 1);
        grid->addWidget(end_label, row, 2);
        grid->addWidget(end, row, 3);
    };
    heading(tr("Envelope:"), enabled_check, 0);
    heading(tr("Loop:"), loop_check, 1);
    points(loop_begin_spin, loop_end_spin, 2);
    heading(tr("Sustain Loop:"), sustain_check, 3);
    points(sustain_begin_spin, sustain_end_spin, 4);
    carry_check->setToolTip(tr("A new note of the same instrument goes on from where the last one had got to"));
    heading(tr("Next Note:"), carry_check, 5);
    grid->setRowStretch(6, 1);
    control_box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(point_editor, 1);
    layout->addWidget(control_box);

    connect(point_editor, &Envelope_Point_Editor::envelopeChanged, this, &Envelope_Editor::envelope_changed);
    connect(loop_begin_spin, &QSpinBox::valueChanged, this, &Envelope_Editor::loop_begin_changed);
    connect(loop_end_spin, &QSpinBox::valueChanged, this, &Envelope_Editor::loop_end_changed);
    connect(sustain_begin_spin, &QSpinBox::valueChanged, this, &Envelope_Editor::sustain_loop_begin_changed);
    connect(sustain_end_spin, &QSpinBox::valueChanged, this, &Envelope_Editor::sustain_loop_end_changed);
    connect(enabled_check, &QCheckBox::toggled, this, &Envelope_Editor::envelope_enabled_check);
    connect(loop_check, &QCheckBox::toggled, this, &Envelope_Editor::loop_enabled_check);
    connect(sustain_check, &QCheckBox::toggled, this, &Envelope_Editor::sustain_enabled_check);
    connect(carry_check, &QCheckBox::toggled, this, &Envelope_Editor::carry_enabled_check);
    set_envelope(nullptr);
}

QSpinBox* Envelope_Editor::add_spin_box(const QString& accessible_name) {
    auto* spin = new QSpinBox(control_box);
    spin->setAccessibleName(accessible_name);
    spin->setToolTip(accessible_name);
    return spin;
}

QWidget* Envelope_Editor::get_control_box() const {
    return control_box;
}

void Envelope_Editor::set_envelope(Envelope* new_envelope) {
    envelope = new_envelope;
    point_editor->set_envelope(envelope);
    control_box->setEnabled(envelope != nullptr);
    update_envelope_variables();
}

void Envelope_Editor::set_lock(Mutex_Lock* new_lock) {
    lock = new_lock;
    point_editor->set_lock(new_lock);
}

void Envelope_Editor::update_envelope_variables() {
    if (!envelope) {
        point_editor->update();
        return;
    }
    updating = true;
    int last = envelope->get_node_count() - 1;
    enabled_check->setChecked(envelope->is_enabled());
    loop_check->setChecked(envelope->is_loop_enabled());
    loop_begin_spin->setRange(0, envelope->get_loop_end());
    loop_begin_spin->setValue(envelope->get_loop_begin());
    loop_end_spin->setRange(envelope->get_loop_begin(), last);
    loop_end_spin->setValue(envelope->get_loop_end());
    sustain_check->setChecked(envelope->is_sustain_loop_enabled());
    sustain_begin_spin->setRange(0, envelope->get_sustain_loop_end());
    sustain_begin_spin->setValue(envelope->get_sustain_loop_begin());
    sustain_end_spin->setRange(envelope->get_sustain_loop_begin(), last);
    sustain_end_spin->setValue(envelope->get_sustain_loop_end());
    carry_check->setChecked(envelope->is_carry_enabled());
    updating = false;
    point_editor->update();
}

template <class Change> bool Envelope_Editor::apply(Change change) {
    if (updating || !envelope) return false;
    Mutex_Lock_Guard guard(lock);
    change(*envelope);
    return true;
}

void Envelope_Editor::envelope_changed() {
    update_envelope_variables();
}

void Envelope_Editor::loop_begin_changed(int node) {
    if (apply([node](Envelope& e) { e.set_loop_begin(node); })) update_envelope_variables();
}

void Envelope_Editor::loop_end_changed(int node) {
    if (apply([node](Envelope& e) { e.set_loop_end(node); })) update_envelope_variables();
}

void Envelope_Editor::sustain_loop_begin_changed(int node) {
    if (apply([node](Envelope& e) { e.set_sustain_loop_begin(node); })) update_envelope_variables();
}

void Envelope_Editor::sustain_loop_end_changed(int node) {
    if (apply([node](Envelope& e) { e.set_sustain_loop_end(node); })) update_envelope_variables();
}

void Envelope_Editor::envelope_enabled_check(bool on) {
    if (apply([on](Envelope& e) { e.set_enabled(on); })) point_editor->update();
}

void Envelope_Editor::loop_enabled_check(bool on) {
    if (apply([on](Envelope& e) { e.set_loop_enabled(on); })) point_editor->update();
}

void Envelope_Editor::sustain_enabled_check(bool on) {
    if (apply([on](Envelope& e) { e.set_sustain_loop_enabled(on); })) point_editor->update();
}

void Envelope_Editor::carry_enabled_check(bool on) {
    apply([on](Envelope& e) { e.set_carry_enabled(on); });
}
