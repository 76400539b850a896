#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Open and save dialogs for songs, samples and instruments. Overwriting is confirmed by the
// caller with its own question, so the save dialog does not ask.
class File_Dialog {
public:
    // The desktop's own dialogs; off, Qt's widget dialogs are used (tests answer those).
    static bool use_native_dialogs;

    // Empty on cancel.
    static QString get_open_file_name(QWidget* parent, const QString& caption, const QString& filter);
    // Empty on cancel. A name typed without an extension gets the selected filter's first one.
    static QString get_save_file_name(QWidget* parent, const QString& caption, const QStringList& filters);
};
