#include "interface__QT/volume_amplifier_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

Volume_Amplifier_Dialog::Volume_Amplifier_Dialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Volume Amplifier"));
    auto* label = new QLabel(tr("Amplify Volume by:"), this);
    spin = new QSpinBox(this);
    spin->setRange(0, MAX_PERCENT);
    spin->setSuffix(tr("%"));
    label->setBuddy(spin);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(spin);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
}

void Volume_Amplifier_Dialog::set_value(int percent) { spin->setValue(percent); }
int Volume_Amplifier_Dialog::get_value() const { return spin->value(); }

bool Volume_Amplifier_Dialog::ask(QWidget* parent, int* percent) {
    Volume_Amplifier_Dialog dialog(parent);
    dialog.set_value(*percent);
    if (dialog.exec() != QDialog::Accepted) return false;
    *percent = dialog.get_value();
    return true;
}
