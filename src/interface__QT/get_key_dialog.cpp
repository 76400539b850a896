#include "interface__QT/get_key_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int ESCAPE = 27;
constexpr int FIRST_ACCEPTED = 33;  // space and control codes cannot be bound
constexpr int LAST_ACCEPTED = 127;

}  // namespace

GetKeyDialog::GetKeyDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Change Key"));
    setModal(true);
    auto* label = new QLabel(tr("Press a Key"), this);
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(label->fontMetrics().height());
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
}

void GetKeyDialog::keyPressEvent(QKeyEvent* event) {
    QString text = event->text();
    int code = text.size() == 1 ? text.at(0).unicode() : 0;
    if (event->key() == Qt::Key_Escape || code == ESCAPE) {
        reject();
        return;
    }
    if (code >= FIRST_ACCEPTED && code <= LAST_ACCEPTED) {
        key = (char)code;
        accept();
    }
    // Anything else, space included, leaves the dialog waiting.
}
