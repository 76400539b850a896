#include "interface__QT/pattern_resize_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "trackercore/pattern.h"
#include "trackercore/song.h"

Pattern_Resize_Dialog::Pattern_Resize_Dialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Resize pattern"));
    length_spin = new QSpinBox(this);
    length_spin->setRange(1, Pattern::MAX_LENGTH);
    count_spin = new QSpinBox(this);
    count_spin->setRange(1, Song::MAX_PATTERNS);
    auto* length_label = new QLabel(tr("Length:"), this);
    length_label->setBuddy(length_spin);
    auto* count_label = new QLabel(tr("Resize the next:"), this);
    count_label->setBuddy(count_spin);

    auto* grid = new QGridLayout;
    grid->addWidget(length_label, 0, 0);
    grid->addWidget(length_spin, 0, 1);
    grid->addWidget(count_label, 1, 0);
    grid->addWidget(count_spin, 1, 1);
    grid->addWidget(new QLabel(tr(" patterns"), this), 1, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

void Pattern_Resize_Dialog::set_length(int rows) { length_spin->setValue(rows); }
int Pattern_Resize_Dialog::get_length() const { return length_spin->value(); }
void Pattern_Resize_Dialog::set_count(int patterns) { count_spin->setValue(patterns); }
int Pattern_Resize_Dialog::get_count() const { return count_spin->value(); }
