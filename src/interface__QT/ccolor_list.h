#pragma once

#include <QWidget>

#include <vector>

class QComboBox;
class QPushButton;

// The "Colors" page: every colour of the theme, grouped by the view that paints it, each
// changed with a colour dialog, and the presets. Changes apply at once (Color_Theme).
class CColor_List : public QWidget {
    Q_OBJECT
public:
    explicit CColor_List(QWidget* parent = nullptr);

    // The caption shown for a colour, e.g. "Major highlight" for "hl_maj".
    static QString color_caption(const QString& group, const QString& name);
    static QString group_caption(const QString& group);

    // Shows the theme's colours on the swatches.
    void refresh();
    // One swatch per colour, in the theme's order.
    QPushButton* get_swatch(int index) const;
    QComboBox* get_preset_choice() const { return preset_choice; }

private:
    void choose_color(int index);
    void apply_preset();

    QComboBox* preset_choice;
    std::vector<QPushButton*> swatches;
};
