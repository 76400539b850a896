#pragma once

#include "common/interface__QT/property_editor.h"

class Float_Property_Bridge;
class QDoubleSpinBox;
class QSlider;

// A spin box with decimals and a slider of SLIDER_STEPS steps over the bridge's range.
class Property_Editor_Float : public Property_Editor {
    Q_OBJECT
public:
    static constexpr int SLIDER_STEPS = 1000;

    explicit Property_Editor_Float(Float_Property_Bridge* bridge, QWidget* parent = nullptr);

    QWidget* get_focus_control() const override;
    QDoubleSpinBox* get_spin_box() const { return spin_box; }
    QSlider* get_slider() const { return slider; }

protected:
    bool accepts(Property_Bridge* candidate) const override;
    void show_value(bool force) override;
    void bind_controls() override;

private:
    Float_Property_Bridge* float_bridge() const;
    void spin_box_edited(double value);
    void slider_edited(int step);
    int step_of(float value) const;

    QDoubleSpinBox* spin_box;
    QSlider* slider;
    float shown = 0;
};
