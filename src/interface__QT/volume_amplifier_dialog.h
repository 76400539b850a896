#pragma once

#include <QDialog>

class QSpinBox;

// "Volume Amplifier": asks for the percentage that scales the block's volumes.
class Volume_Amplifier_Dialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int MAX_PERCENT = 200;

    explicit Volume_Amplifier_Dialog(QWidget* parent = nullptr);

    void set_value(int percent);
    int get_value() const;

    // Shows the dialog with *percent; on accept stores the answer there and returns true.
    static bool ask(QWidget* parent, int* percent);

private:
    QSpinBox* spin = nullptr;
};
