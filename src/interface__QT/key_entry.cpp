#include "interface__QT/key_entry.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "interface__QT/get_key_dialog.h"
#include "interface__QT/key_list.h"
#include "interface__QT/message_boxes.h"
#include "tracker/keyboard_input.h"

Key_Entry::Key_Entry(int index, QWidget* parent)
    : QWidget(parent), index(index), caption(new QLabel(this)), key_field(new QLineEdit(this)),
      set_button(new QPushButton(tr("Set"), this)) {
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    QString name = keys ? QString::fromStdString(keys->get_key_bind(index).caption) : QString();
    caption->setText(name);
    caption->setBuddy(key_field);
    key_field->setReadOnly(true);
    key_field->setAlignment(Qt::AlignCenter);
    // Room for one character, measured in the field's own font, the same in every entry.
    key_field->setFixedWidth(key_field->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 3);
    set_button->setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    set_button->setAccessibleName(tr("Set %1").arg(name));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption, 1);
    layout->addWidget(key_field);
    layout->addWidget(set_button);
    connect(set_button, &QPushButton::clicked, this, &Key_Entry::keybind_change_request);
    update();
}

void Key_Entry::update() {
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    int key = keys ? keys->get_key_bind_key_nocase(index) : -1;
    key_field->setText(key > 0 ? QString(QChar(key)) : QString());
}

void Key_Entry::keybind_change_request() {
    GetKeyDialog dialog(this);
    dialog.exec();
    Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
    const int key = (unsigned char)dialog.get_key();
    // 0 is Escape: the old key stays.
    if (!keys || key <= ' ' || keys->find_key_bind(key) == index) return;
    const QString shown = QString(QChar(key)).toLower();
    const QString fixed = Key_List::fixed_key_of(key);
    if (!fixed.isEmpty()) {
        Message_Boxes::tell(this, QMessageBox::Warning, "Key Taken",
                            QString("\"%1\" is a fixed key (%2).\nChoose another key.").arg(shown, fixed), "Ok");
        return;
    }
    const int other = keys->find_key_bind(key, index);
    if (other >= 0) {
        const QString other_caption = QString::fromStdString(keys->get_key_bind(other).caption);
        if (!Message_Boxes::ask(this, QMessageBox::Question, "Key Taken",
                                QString("\"%1\" is already bound to \"%2\".\nSwap the keys of the two?")
                                    .arg(shown, other_caption),
                                "Swap", "Cancel"))
            return;
        keys->set_key_bind_key(other, (char)keys->get_key_bind_key(index));
    }
    keys->set_key_bind_key(index, (char)key);
    update();
    if (other >= 0) emit bindings_changed();
}
