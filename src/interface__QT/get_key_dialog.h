#pragma once

#include <QDialog>

// "Change Key": waits for one printable key. Escape closes it without a key; space and
// keys without a printable character are ignored and it stays open.
class GetKeyDialog : public QDialog {
    Q_OBJECT
public:
    explicit GetKeyDialog(QWidget* parent = nullptr);

    // The character pressed, 0 until one is.
    char get_key() const { return key; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    char key = 0;
};
