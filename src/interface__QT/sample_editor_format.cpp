#include "common/components/audio/mutex_lock.h"
#include "common/components/audio/sample_data.h"

#include "interface__QT/sample_editor_format.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <cmath>

#include "common/interface__QT/sample_viewer.h"

namespace {

QLabel* caption_for(const QString& text, QWidget* control, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(control);
    return label;
}

}  // namespace

Sample_Editor_Format::Sample_Editor_Format(QWidget* parent)
    : QGroupBox("Sample Format && Loop", parent),
      format_label(new QLabel(this)),
      length_label(new QLabel(this)),
      freq_spin(new QSpinBox(this)),
      loop_combo(new QComboBox(this)),
      loop_begin_spin(new QSpinBox(this)),
      loop_end_spin(new QSpinBox(this)),
      transpose_row(new QWidget(this)) {
    freq_spin->setRange(0, INT_MAX);
    freq_spin->setSuffix(" Hz");
    loop_combo->addItems({"Disabled", "Forward ->", "<- Ping Pong ->"});
    format_label->setAccessibleName("Format");
    length_label->setAccessibleName("Length");
    length_label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // Downwards on the left, upwards on the right, the finest steps in the middle.
    auto* steps = new QHBoxLayout(transpose_row);
    steps->setContentsMargins(0, 0, 0, 0);
    steps->setSpacing(2);
    steps->addWidget(transpose_button("-12", "Transpose Down an Octave", &Sample_Editor_Format::transpose_down_12_cbk));
    steps->addWidget(transpose_button("-1", "Transpose Down a Semitone", &Sample_Editor_Format::transpose_down_1_cbk));
    steps->addWidget(
        transpose_button("-1/4", "Transpose Down a Quarter Semitone", &Sample_Editor_Format::transpose_down_1_2_cbk));
    steps->addWidget(
        transpose_button("-1/8", "Transpose Down an Eighth Semitone", &Sample_Editor_Format::transpose_down_1_4_cbk));
    steps->addSpacing(fontMetrics().averageCharWidth());
    steps->addWidget(
        transpose_button("+1/8", "Transpose Up an Eighth Semitone", &Sample_Editor_Format::transpose_up_1_4_cbk));
    steps->addWidget(
        transpose_button("+1/4", "Transpose Up a Quarter Semitone", &Sample_Editor_Format::transpose_up_1_2_cbk));
    steps->addWidget(transpose_button("+1", "Transpose Up a Semitone", &Sample_Editor_Format::transpose_up_1_cbk));
    steps->addWidget(transpose_button("+12", "Transpose Up an Octave", &Sample_Editor_Format::transpose_up_12_cbk));
    steps->addStretch(1);

    auto* grid = new QGridLayout(this);
    grid->addWidget(caption_for("Format:", format_label, this), 0, 0, Qt::AlignRight);
    grid->addWidget(format_label, 0, 1);
    grid->addWidget(caption_for("Length:", length_label, this), 0, 2, Qt::AlignRight);
    grid->addWidget(length_label, 0, 3);
    grid->addWidget(caption_for("C5 Freq:", freq_spin, this), 1, 0, Qt::AlignRight);
    grid->addWidget(freq_spin, 1, 1, 1, 3);
    grid->addWidget(new QLabel("Transpose:", this), 2, 0, Qt::AlignRight);
    grid->addWidget(transpose_row, 2, 1, 1, 3);
    grid->addWidget(caption_for("Loop:", loop_combo, this), 3, 0, Qt::AlignRight);
    grid->addWidget(loop_combo, 3, 1, 1, 3);
    grid->addWidget(caption_for("Loop Begin:", loop_begin_spin, this), 4, 0, Qt::AlignRight);
    grid->addWidget(loop_begin_spin, 4, 1);
    grid->addWidget(caption_for("Loop End:", loop_end_spin, this), 4, 2, Qt::AlignRight);
    grid->addWidget(loop_end_spin, 4, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    connect(freq_spin, &QSpinBox::valueChanged, this, &Sample_Editor_Format::base_freq_changed);
    connect(loop_combo, &QComboBox::currentIndexChanged, this, &Sample_Editor_Format::loop_type_changed_cbk);
    connect(loop_begin_spin, &QSpinBox::valueChanged, this, &Sample_Editor_Format::loop_begin_changed_cbk);
    connect(loop_end_spin, &QSpinBox::valueChanged, this, &Sample_Editor_Format::loop_end_changed_cbk);
    set_sample_data(nullptr);
}

QToolButton* Sample_Editor_Format::transpose_button(const QString& text, const QString& name,
                                                    void (Sample_Editor_Format::*slot)()) {
    auto* button = new QToolButton(transpose_row);
    button->setText(text);
    button->setAccessibleName(name);
    button->setToolTip(name);
    connect(button, &QToolButton::clicked, this, slot);
    return button;
}

template <class Change> void Sample_Editor_Format::write(Change change) {
    Mutex_Lock_Guard guard(lock);
    change();
}

void Sample_Editor_Format::set_sample_data(Sample_Data* to) {
    data = to;
    update_format();
    update_loop();
}

void Sample_Editor_Format::set_sample_viewer(Sample_Viewer* to) { viewer = to; }

void Sample_Editor_Format::update_format() {
    updating = true;
    bool has_frames = data && data->get_size() > 0;
    format_label->setText(data && data->is_16bit() ? "16 bits" : "8 bits");
    length_label->setText(QString::asprintf("%i", data ? data->get_size() : 0));
    freq_spin->setValue(data ? data->get_c5_freq() : 0);
    loop_combo->setCurrentIndex(!data || !data->is_loop_enabled() ? 0 : data->is_loop_ping_pong() ? 2 : 1);
    freq_spin->setEnabled(data != nullptr);
    transpose_row->setEnabled(has_frames);
    loop_combo->setEnabled(has_frames);
    updating = false;
}

void Sample_Editor_Format::update_loop() {
    updating = true;
    int begin = data ? data->get_loop_begin() : 0;
    int end = data ? data->get_loop_end() : 0;
    loop_begin_spin->setRange(0, std::max(end - 1, 0));
    loop_begin_spin->setValue(begin);
    loop_end_spin->setRange(begin + 1, std::max(data ? data->get_size() : 0, begin + 1));
    loop_end_spin->setValue(end);
    bool editable = data && data->get_size() > 0 && data->is_loop_enabled();
    loop_begin_spin->setEnabled(editable);
    loop_end_spin->setEnabled(editable);
    updating = false;
    if (viewer) viewer->update();
}

void Sample_Editor_Format::base_freq_changed(int freq) {
    if (updating || !data) return;
    write([this, freq] { data->set_c5_freq(freq); });
}

void Sample_Editor_Format::loop_type_changed_cbk(int type) {
    if (updating || !data) return;
    write([this, type] {
        data->set_loop_enabled(type != 0);
        data->set_loop_ping_pong(type == 2);
    });
    update_loop();
}

void Sample_Editor_Format::loop_begin_changed_cbk(int frame) {
    if (updating || !data) return;
    write([this, frame] { data->set_loop_begin(frame); });
    update_loop();
}

void Sample_Editor_Format::loop_end_changed_cbk(int frame) {
    if (updating || !data) return;
    write([this, frame] { data->set_loop_end(frame); });
    update_loop();
}

void Sample_Editor_Format::transpose(double ratio, bool divide, Rounding rounding) {
    if (!data || data->get_size() == 0) return;
    float freq = (float)data->get_c5_freq();
    float moved = (float)(divide ? (double)freq / ratio : (double)freq * ratio);
    // std::round takes halves away from zero; the range keeps an octave up from overflowing.
    double result = rounding == ROUND ? std::round(moved) : std::trunc(moved);
    int value = result >= (double)INT_MAX ? INT_MAX : result <= 0.0 ? 0 : (int)result;
    write([this, value] { data->set_c5_freq(value); });
    update_format();
    emit sample_base_freq_changed();
}

void Sample_Editor_Format::transpose_up_1_4_cbk() { transpose(std::pow(2.0, 1.0 / 96), false, ROUND); }
void Sample_Editor_Format::transpose_up_1_2_cbk() { transpose(std::pow(2.0, 1.0 / 48), false, ROUND); }
void Sample_Editor_Format::transpose_up_1_cbk() { transpose(std::pow(2.0, 1.0 / 12), false, ROUND); }
void Sample_Editor_Format::transpose_up_12_cbk() { transpose(2.0, false, ROUND); }
void Sample_Editor_Format::transpose_down_1_4_cbk() { transpose(std::pow(2.0, 1.0 / 96), true, ROUND); }
void Sample_Editor_Format::transpose_down_1_2_cbk() { transpose(std::pow(2.0, 1.0 / 48), true, ROUND); }
void Sample_Editor_Format::transpose_down_1_cbk() { transpose(std::pow(2.0, 1.0 / 12), true, ROUND); }
void Sample_Editor_Format::transpose_down_12_cbk() { transpose(2.0, true, TRUNCATE); }
