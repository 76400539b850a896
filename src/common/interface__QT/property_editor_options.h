#pragma once

#include "common/interface__QT/property_editor.h"

class Options_Property_Bridge;
class QComboBox;

// A choice of the bridge's option texts.
class Property_Editor_Options : public Property_Editor {
    Q_OBJECT
public:
    explicit Property_Editor_Options(Options_Property_Bridge* bridge, QWidget* parent = nullptr);

    QWidget* get_focus_control() const override;
    QComboBox* get_combo_box() const { return combo_box; }

protected:
    bool accepts(Property_Bridge* candidate) const override;
    void show_value(bool force) override;
    void bind_controls() override;

private:
    Options_Property_Bridge* options_bridge() const;
    void chosen(int index);

    QComboBox* combo_box;
    int shown = -1;
};
