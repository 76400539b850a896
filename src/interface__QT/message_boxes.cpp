#include "interface__QT/message_boxes.h"

#include <QFileInfo>
#include <QPushButton>

bool Message_Boxes::confirm(QWidget* parent, const QString& text) {
    return ask(parent, QMessageBox::Warning, "Really?", text);
}

bool Message_Boxes::ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                        const QString& yes, const QString& no, bool yes_is_default) {
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QPushButton* yes_button = box.addButton(yes, QMessageBox::YesRole);
    QPushButton* no_button = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(yes_is_default ? yes_button : no_button);
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

QString Message_Boxes::bullet_list(const std::vector<std::string>& lines, int shown) {
    QString text;
    for (size_t i = 0; i < lines.size() && (int)i < shown; i++)
        text += QString::fromUtf8("\u2022 ") + QString::fromStdString(lines[i]) + "\n";
    if ((int)lines.size() > shown) text += QString::fromUtf8("\u2022 ... and %1 more.\n").arg(lines.size() - shown);
    return text;
}

void Message_Boxes::save_failed(QWidget* parent, const QString& headline, const QString& path, const std::string& why) {
    QString reason = why.empty() ? QString("no format is saved under this name") : QString::fromLocal8Bit(why.c_str());
    tell(parent, QMessageBox::Warning, "Oops!", headline + "\n" + path + ": " + reason, "Ok");
}

bool Message_Boxes::confirm_losses(QWidget* parent, const QString& path, const QString& what,
                                   const std::vector<std::string>& losses) {
    if (losses.empty()) return true;
    return ask(parent, QMessageBox::Warning, "Not Everything Fits",
               QString("\"%1\" cannot hold everything %2 has:\n\n%3\nSave anyway?")
                   .arg(QFileInfo(path).fileName(), what, bullet_list(losses)),
               "Save", "Cancel");
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
