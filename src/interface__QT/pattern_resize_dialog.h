#pragma once

#include <QDialog>

class QSpinBox;

// "Resize pattern": a new length for the edited pattern and the ones after it.
class Pattern_Resize_Dialog : public QDialog {
    Q_OBJECT
public:
    explicit Pattern_Resize_Dialog(QWidget* parent = nullptr);

    void set_length(int rows);
    int get_length() const;
    // How many patterns, from the edited one on, get the new length.
    void set_count(int patterns);
    int get_count() const;

private:
    QSpinBox* length_spin = nullptr;
    QSpinBox* count_spin = nullptr;
};
