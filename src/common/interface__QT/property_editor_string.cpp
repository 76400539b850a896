#include "common/interface__QT/property_editor_string.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "common/components/data/property_bridge.h"

std::string Property_Editor_String::fit_length(QString text, int max_bytes) {
    std::string value = text.toStdString();
    while (max_bytes >= 0 && (int)value.size() > max_bytes) {
        text.chop(text.size() >= 2 && text.back().isLowSurrogate() ? 2 : 1);
        value = text.toStdString();
    }
    return value;
}

Property_Editor_String::Property_Editor_String(String_Property_Bridge* bridge, Mode mode, QWidget* parent)
    : Property_Editor(bridge, parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (mode == Mode::MULTI_LINE) {
        text_edit = new QPlainTextEdit(this);
        text_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
        text_edit->setTabChangesFocus(true);
        layout->addWidget(text_edit);
        connect(text_edit, &QPlainTextEdit::textChanged, this,
                [this] { text_edited(text_edit->toPlainText()); });
    } else {
        line_edit = new QLineEdit(this);
        layout->addWidget(line_edit);
        connect(line_edit, &QLineEdit::textEdited, this, &Property_Editor_String::text_edited);
    }
    bind_controls();
    show_value(true);
}

QWidget* Property_Editor_String::get_focus_control() const {
    return line_edit ? static_cast<QWidget*>(line_edit) : text_edit;
}

String_Property_Bridge* Property_Editor_String::string_bridge() const {
    return static_cast<String_Property_Bridge*>(get_bridge());
}

bool Property_Editor_String::accepts(Property_Bridge* candidate) const {
    return dynamic_cast<String_Property_Bridge*>(candidate) != nullptr;
}

void Property_Editor_String::bind_controls() {
    String_Property_Bridge* bridge = string_bridge();
    QString caption = QString::fromStdString(bridge->get_name());
    int max_length = bridge->get_max_length();
    QWidget* control = get_focus_control();
    control->setAccessibleName(caption);
    control->setToolTip(max_length >= 0 ? tr("%1 (at most %2 characters)").arg(caption).arg(max_length) : caption);
    // The line edit stops typing at the limit; the bridge cuts whatever arrives longer.
    if (line_edit) line_edit->setMaxLength(max_length >= 0 ? max_length : 32767);
}

void Property_Editor_String::show_value(bool force) {
    std::string value = string_bridge()->get();
    if (!force && value == shown) return;
    shown = value;
    updating = true;
    QString text = QString::fromStdString(value);
    if (line_edit)
        line_edit->setText(text);
    else
        text_edit->setPlainText(text);
    updating = false;
}

void Property_Editor_String::text_edited(const QString& text) {
    if (updating) return;
    std::string value = fit_length(text, string_bridge()->get_max_length());
    // The field already shows the text: putting it back would move the typing cursor to
    // the start of a multi-line field. Only text that was cut is shown again.
    shown = text.toStdString();
    write([this, &value] { string_bridge()->set(value); });
}
