#pragma once

#include "common/interface__QT/property_editor.h"

class Int_Property_Bridge;
class QSlider;
class QSpinBox;

// A spin box and a slider over the bridge's range.
class Property_Editor_Int : public Property_Editor {
    Q_OBJECT
public:
    explicit Property_Editor_Int(Int_Property_Bridge* bridge, QWidget* parent = nullptr);

    QWidget* get_focus_control() const override;
    QSpinBox* get_spin_box() const { return spin_box; }
    QSlider* get_slider() const { return slider; }

protected:
    bool accepts(Property_Bridge* candidate) const override;
    void show_value(bool force) override;
    void bind_controls() override;

private:
    Int_Property_Bridge* int_bridge() const;
    void value_edited(int value);

    QSpinBox* spin_box;
    QSlider* slider;
    int shown = 0;
};
