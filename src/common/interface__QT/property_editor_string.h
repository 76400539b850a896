#pragma once

#include <string>

#include "common/interface__QT/property_editor.h"

class QLineEdit;
class QPlainTextEdit;
class String_Property_Bridge;

// A one-line or a multi-line text field. The bridge cuts text beyond its maximum length.
class Property_Editor_String : public Property_Editor {
    Q_OBJECT
public:
    enum class Mode { SINGLE_LINE, MULTI_LINE };
    // A bridge with this display preference gets the multi-line field from create().
    static constexpr const char* MULTI_LINE_PREFERENCE = "multiline";

    Property_Editor_String(String_Property_Bridge* bridge, Mode mode, QWidget* parent = nullptr);

    // Bridges count bytes of UTF-8: the text cut by whole characters to fit (-1: no limit).
    static std::string fit_length(QString text, int max_bytes);

    QWidget* get_focus_control() const override;
    QLineEdit* get_line_edit() const { return line_edit; }            // null in MULTI_LINE
    QPlainTextEdit* get_text_edit() const { return text_edit; }       // null in SINGLE_LINE

protected:
    bool accepts(Property_Bridge* candidate) const override;
    void show_value(bool force) override;
    void bind_controls() override;

private:
    String_Property_Bridge* string_bridge() const;
    void text_edited(const QString& text);

    QLineEdit* line_edit = nullptr;
    QPlainTextEdit* text_edit = nullptr;
    std::string shown;
};
