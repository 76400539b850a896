#pragma once

#include <QWidget>

class Envelope;
class Envelope_Point_Editor;
class Mutex_Lock;
class QCheckBox;
class QGroupBox;
class QSpinBox;

// An envelope's graph beside its control box: the switches of the envelope, its loop and its
// sustain loop, and their begin and end nodes, whose ranges follow the node count; and whether
// a new note carries on from the last one's position.
class Envelope_Editor : public QWidget {
    Q_OBJECT
public:
    explicit Envelope_Editor(QWidget* parent = nullptr);

    void set_envelope(Envelope* envelope);
    Envelope* get_envelope() const { return envelope; }
    void set_lock(Mutex_Lock* lock);
    Envelope_Point_Editor* get_point_editor() const { return point_editor; }
    QWidget* get_control_box() const;

    // Shows the envelope's switches and loop points and repaints the graph.
    void update_envelope_variables();

    void envelope_changed();
    void loop_begin_changed(int node);
    void loop_end_changed(int node);
    void sustain_loop_begin_changed(int node);
    void sustain_loop_end_changed(int node);
    void envelope_enabled_check(bool on);
    void loop_enabled_check(bool on);
    void sustain_enabled_check(bool on);
    void carry_enabled_check(bool on);

private:
    QSpinBox* add_spin_box(const QString& accessible_name);
    // Runs a change of the envelope under the lock, unless it is the editor's own refresh.
    template <class Change> bool apply(Change change);

    Envelope* envelope = nullptr;
    Mutex_Lock* lock = nullptr;
    bool updating = false;
    Envelope_Point_Editor* point_editor;
    QGroupBox* control_box;
    QCheckBox* enabled_check;
    QCheckBox* loop_check;
    QCheckBox* sustain_check;
    QCheckBox* carry_check;
    QSpinBox* loop_begin_spin;
    QSpinBox* loop_end_spin;
    QSpinBox* sustain_begin_spin;
    QSpinBox* sustain_end_spin;
};
