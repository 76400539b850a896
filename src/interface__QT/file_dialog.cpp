#include "interface__QT/file_dialog.h"

#include <QFileDialog>
#include <QRegularExpression>

bool File_Dialog::use_native_dialogs = true;

namespace {

// "Wendmoor (*.wm)" -> "wm".
QString first_suffix(const QString& filter) {
    QRegularExpressionMatch match = QRegularExpression(R"(\*\.(\w+))").match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

void prepare(QFileDialog& dialog) {
    if (!File_Dialog::use_native_dialogs) dialog.setOption(QFileDialog::DontUseNativeDialog);
}

}  // namespace

void File_Dialog::open_in_last_folder(QFileDialog& dialog, File_History::Kind kind) {
    std::string folder = File_History::get_singleton_instance().get_last_folder(kind);
    if (!folder.empty()) dialog.setDirectory(QString::fromLocal8Bit(folder.c_str()));
}

void File_Dialog::remember_folder(const QString& chosen_file, File_History::Kind kind) {
    if (!chosen_file.isEmpty())
        File_History::get_singleton_instance().set_last_folder_of_file(kind, chosen_file.toLocal8Bit().toStdString());
}

QString File_Dialog::get_open_file_name(QWidget* parent, const QString& caption, const QString& filter,
                                        File_History::Kind kind) {
    QFileDialog dialog(parent, caption, QString(), filter);
    prepare(dialog);
    open_in_last_folder(dialog, kind);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    remember_folder(dialog.selectedFiles().first(), kind);
    return dialog.selectedFiles().first();
}

QString File_Dialog::get_save_file_name(QWidget* parent, const QString& caption, const QStringList& filters,
                                        File_History::Kind kind) {
    QFileDialog dialog(parent, caption);
    prepare(dialog);
    open_in_last_folder(dialog, kind);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.setDefaultSuffix(first_suffix(filters.first()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(first_suffix(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    remember_folder(dialog.selectedFiles().first(), kind);
    return dialog.selectedFiles().first();
}
