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

QString File_Dialog::get_open_file_name(QWidget* parent, const QString& caption, const QString& filter) {
    QFileDialog dialog(parent, caption, QString(), filter);
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString File_Dialog::get_save_file_name(QWidget* parent, const QString& caption, const QStringList& filters) {
    QFileDialog dialog(parent, caption);
    prepare(dialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(filters);
    if (!filters.isEmpty()) dialog.setDefaultSuffix(first_suffix(filters.first()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString& filter) { dialog.setDefaultSuffix(first_suffix(filter)); });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}
