#pragma once

#include <QGroupBox>

class Mutex_Lock;
class Property_List_Editor;
class QLabel;
class QListWidget;
class QPushButton;
class Sample_Editor;

// "Edit Effects": every sample edit operation by name, the chosen one's description and
// parameters, and "Apply", which runs it on the selection (or the whole sample).
class Sample_Edit_Effects : public QGroupBox {
    Q_OBJECT
public:
    explicit Sample_Edit_Effects(QWidget* parent = nullptr);

    void set_sample_editor(Sample_Editor* editor);
    // Chooses an effect as a click in the list does: presets its parameters for the range.
    void select_effect(int index);
    int get_selected_effect() const;
    void apply();
    // Enables "Apply" when there is a sample to apply to.
    void update_enabled();

signals:
    void effect_applied();

private:
    Sample_Editor* editor = nullptr;
    QListWidget* effect_list;
    QLabel* description;
    Property_List_Editor* parameters;
    QPushButton* apply_button;
};
