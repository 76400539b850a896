#pragma once

#include <QString>
#include <QStringList>

#include "tracker/file_history.h"

class QFileDialog;
class QWidget;

// Open and save dialogs for songs, samples and instruments. Overwriting is confirmed by the
// caller with its own question, so the save dialog does not ask. Each kind of file opens in
// the folder its last dialog was left in, also after a restart (File_History).
class File_Dialog {
public:
    // The desktop's own dialogs; off, Qt's widget dialogs are used (tests answer those).
    static bool use_native_dialogs;

    // Empty on cancel.
    static QString get_open_file_name(QWidget* parent, const QString& caption, const QString& filter,
                                      File_History::Kind kind = File_History::SONGS);
    // Empty on cancel. A name typed without an extension gets the selected filter's first one.
    static QString get_save_file_name(QWidget* parent, const QString& caption, const QStringList& filters,
                                      File_History::Kind kind = File_History::SONGS);

    // What every dialog of a kind does: open in its last folder; remember_folder() after a choice.
    static void open_in_last_folder(QFileDialog& dialog, File_History::Kind kind);
    static void remember_folder(const QString& chosen_file, File_History::Kind kind);
};
