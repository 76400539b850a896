#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include <string>
#include <vector>

class QWidget;

// The program's modal boxes, each with its exact title and button texts. The first button
// is the default one; only it proceeds.
class Message_Boxes {
public:
    // A warning box titled "Really?" with "Yes" and "No"; true on "Yes".
    static bool confirm(QWidget* parent, const QString& text);
    // A box with two buttons; true when the first one was pressed. Where going on could lose
    // something, the second button can be made the default one (Enter does not proceed).
    static bool ask(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& yes = "Yes", const QString& no = "No", bool yes_is_default = true);
    // A box with several buttons; the index of the one pressed (the escape one when the box
    // was closed otherwise).
    static int choose(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                      const QStringList& buttons, int default_index, int escape_index);
    // A box with one button.
    static void tell(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     const QString& button);

    // The warning "Oops!" of a failed save: the program's own words (headline), then the file
    // and why, in the system's words where it has them.
    static void save_failed(QWidget* parent, const QString& headline, const QString& path, const std::string& why);
    // A Save/Cancel question listing what the format cannot hold of `what` ("the song"); true
    // on Save, and at once when nothing is lost.
    static bool confirm_losses(QWidget* parent, const QString& path, const QString& what,
                               const std::vector<std::string>& losses);

    // Lines as a bulleted list, the first `shown` of them and how many more there are.
    static QString bullet_list(const std::vector<std::string>& lines, int shown = 12);
};
