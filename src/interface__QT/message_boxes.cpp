#include "interface__QT/message_boxes.h"

#include <QPushButton>

bool Message_Boxes::confirm(QWidget* parent, const QString& text) {
    return ask(parent, QMessageBox::Warning, "Really?", text);
}

bool Message_Boxes::ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                        const QString& yes, const QString& no) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QPushButton* yes_button = box.addButton(yes, QMessageBox::YesRole);
    QPushButton* no_button = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(yes_button);
    box.setEscapeButton(no_button);
    box.exec();
    return box.clickedButton() == yes_button;
}

void Message_Boxes::tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                         const QString& button) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    box.setDefaultButton(box.addButton(button, QMessageBox::AcceptRole));
    box.exec();
}

int Message_Boxes::choose(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                          const QStringList& buttons, int default_index, int escape_index) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QList<QPushButton*> added;
    for (const QString& button : buttons) added << box.addButton(button, QMessageBox::ActionRole);
    if (default_index >= 0 && default_index < added.size()) box.setDefaultButton(added[default_index]);
    if (escape_index >= 0 && escape_index < added.size()) box.setEscapeButton(added[escape_index]);
    box.exec();
    int pressed = (int)added.indexOf(static_cast<QPushButton*>(box.clickedButton()));
    return pressed >= 0 ? pressed : escape_index;
}
