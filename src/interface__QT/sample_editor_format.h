#pragma once

#include <QGroupBox>

class Mutex_Lock;
class QComboBox;
class QLabel;
class QSpinBox;
class QToolButton;
class Sample_Data;
class Sample_Viewer;

// "Sample Format && Loop": the selected sample's depth and length, its base frequency (typed,
// or moved by an eighth, a quarter, a whole semitone or an octave) and its loop.
class Sample_Editor_Format : public QGroupBox {
    Q_OBJECT
public:
    explicit Sample_Editor_Format(QWidget* parent = nullptr);

    void set_sample_data(Sample_Data* data);
    void set_sample_viewer(Sample_Viewer* viewer);
    // The voices read the frequency and the loop: edits are written holding this lock.
    void set_lock(Mutex_Lock* lock) { this->lock = lock; }
    void update_format();
    void update_loop();

    void base_freq_changed(int freq);
    void loop_type_changed_cbk(int type);
    void loop_begin_changed_cbk(int frame);
    void loop_end_changed_cbk(int frame);
    void transpose_up_1_4_cbk();
    void transpose_up_1_2_cbk();
    void transpose_up_1_cbk();
    void transpose_up_12_cbk();
    void transpose_down_1_4_cbk();
    void transpose_down_1_2_cbk();
    void transpose_down_1_cbk();
    void transpose_down_12_cbk();

signals:
    void sample_base_freq_changed();

private:
    enum Rounding { ROUND, TRUNCATE };
    // c5_freq as a float, times or divided by `ratio` in double precision, back to a float and
    // then to an integer.
    void transpose(double ratio, bool divide, Rounding rounding);
    template <class Change> void write(Change change);
    QToolButton* transpose_button(const QString& text, const QString& name, void (Sample_Editor_Format::*slot)());

    Sample_Data* data = nullptr;
    Sample_Viewer* viewer = nullptr;
    Mutex_Lock* lock = nullptr;
    bool updating = false;  // the panel is showing the sample, not being edited

    QLabel* format_label;
    QLabel* length_label;
    QSpinBox* freq_spin;
    QComboBox* loop_combo;
    QSpinBox* loop_begin_spin;
    QSpinBox* loop_end_spin;
    QWidget* transpose_row;
};
