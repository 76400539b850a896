#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// The program's modal boxes, each with its exact title and button texts. The first button
// is the default one; only it proceeds.
class Message_Boxes {
public:
    // A warning box titled "Really?" with "Yes" and "No"; true on "Yes".
    static bool confirm(QWidget* parent, const QString& text);
    // A box with two buttons; true when the first one was pressed.
    static bool ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& yes = "Yes", const QString& no = "No");
    // A box with several buttons; the index of the one pressed (the escape one when the box
    // was closed otherwise).
    static int choose(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                      const QStringList& buttons, int default_index, int escape_index);
    // A box with one button.
    static void tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     const QString& button);
};
