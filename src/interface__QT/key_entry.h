#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// One tracker key binding: its caption, the bound key and "Set" to press a new one.
class Key_Entry : public QWidget {
    Q_OBJECT
public:
    Key_Entry(int index, QWidget* parent = nullptr);

    int get_index() const { return index; }
    QLineEdit* get_key_field() const { return key_field; }
    QPushButton* get_set_button() const { return set_button; }

    // Shows the binding's key, letters in lower case.
    void update();
    // Asks for a new key with GetKeyDialog; Escape keeps the old one.
    void keybind_change_request();

private:
    int index;
    QLabel* caption;
    QLineEdit* key_field;
    QPushButton* set_button;
};
