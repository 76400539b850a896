#pragma once

#include "common/interface__QT/property_editor.h"

class Bool_Property_Bridge;
class QCheckBox;

// A check box captioned with the bridge's name.
class Property_Editor_Bool : public Property_Editor {
    Q_OBJECT
public:
    explicit Property_Editor_Bool(Bool_Property_Bridge* bridge, QWidget* parent = nullptr);

    QWidget* get_focus_control() const override;
    bool shows_caption() const override { return true; }
    QCheckBox* get_check_box() const { return check_box; }

protected:
    bool accepts(Property_Bridge* candidate) const override;
    void show_value(bool force) override;
    void bind_controls() override;

private:
    Bool_Property_Bridge* bool_bridge() const;
    void toggled(bool checked);

    QCheckBox* check_box;
    bool shown = false;
};
