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
    // Asks for a new key with GetKeyDialog; Escape keeps the old one. A key that a fixed key
    // takes first is refused; one bound elsewhere is offered to swap with this binding's.
    void keybind_change_request();

signals:
    // Another binding's key changed too (a swap): the page shows every entry again.
    void bindings_changed();

private:
    int index;
    QLabel* caption;
    QLineEdit* key_field;
    QPushButton* set_button;
};
