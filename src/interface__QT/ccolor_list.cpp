#include "interface__QT/ccolor_list.h"

#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "common/interface__QT/color_theme.h"

namespace {

struct Caption {
    const char* group;  // null: any group
    const char* name;
    const char* caption;
};

// The first row that matches the group and the name gives the caption.
constexpr Caption COLOR_CAPTIONS[] = {
    {"sample_edit", "foreground", QT_TRANSLATE_NOOP("CColor_List", "Waveform")},
    {nullptr, "background", QT_TRANSLATE_NOOP("CColor_List", "Background")},
    {nullptr, "foreground", QT_TRANSLATE_NOOP("CColor_List", "Text")},
    {nullptr, "cursor", QT_TRANSLATE_NOOP("CColor_List", "Cursor")},
    {nullptr, "hl_maj", QT_TRANSLATE_NOOP("CColor_List", "Major highlight")},
    {nullptr, "hl_min", QT_TRANSLATE_NOOP("CColor_List", "Minor highlight")},
    {"pattern_edit", "background_selected", QT_TRANSLATE_NOOP("CColor_List", "Selection background")},
    {"pattern_edit", "foreground_selected", QT_TRANSLATE_NOOP("CColor_List", "Selection text")},
    {"pattern_edit", "hl_selected", QT_TRANSLATE_NOOP("CColor_List", "Selection highlight")},
    {nullptr, "sep", QT_TRANSLATE_NOOP("CColor_List", "Column separator")},
    {nullptr, "sep_main", QT_TRANSLATE_NOOP("CColor_List", "Channel separator")},
    {nullptr, "mask", QT_TRANSLATE_NOOP("CColor_List", "Edit mask")},
    {nullptr, "foreground_inactive", QT_TRANSLATE_NOOP("CColor_List", "Inactive text")},
    {nullptr, "played_position", QT_TRANSLATE_NOOP("CColor_List", "Playing position")},
    {nullptr, "being_played", QT_TRANSLATE_NOOP("CColor_List", "Playing entry")},
    {nullptr, "separator", QT_TRANSLATE_NOOP("CColor_List", "Separator")},
    {nullptr, "center", QT_TRANSLATE_NOOP("CColor_List", "Centre line")},
    {nullptr, "loop_background", QT_TRANSLATE_NOOP("CColor_List", "Loop background")},
    {nullptr, "loop_foreground", QT_TRANSLATE_NOOP("CColor_List", "Loop waveform")},
};

constexpr Caption GROUP_CAPTIONS[] = {
    {nullptr, "pattern_edit", QT_TRANSLATE_NOOP("CColor_List", "Pattern Editor")},
    {nullptr, "lists", QT_TRANSLATE_NOOP("CColor_List", "Lists")},
    {nullptr, "sample_edit", QT_TRANSLATE_NOOP("CColor_List", "Sample Editor")},
};

template <size_t N> QString find_caption(const Caption (&table)[N], const QString& group, const QString& name) {
    for (const Caption& caption : table)
        if ((!caption.group || group == caption.group) && name == caption.name)
            return CColor_List::tr(caption.caption);
    return QString();
}

QIcon swatch_icon(const QColor& color, int size) {
    QPixmap pixmap(size * 2, size);
    pixmap.fill(color);
    QPainter painter(&pixmap);
    painter.setPen(QColor(128, 128, 128));
    painter.drawRect(0, 0, pixmap.width() - 1, pixmap.height() - 1);
    return QIcon(pixmap);
}

}  // namespace

QString CColor_List::color_caption(const QString& group, const QString& name) {
    QString caption = find_caption(COLOR_CAPTIONS, group, name);
    if (!caption.isEmpty()) return caption;
    // The sample view's selected range repeats its colours: "Centre line (selected)".
    static const QString SELECTED = "_selected";
    if (name.endsWith(SELECTED)) {
        QString unselected = color_caption(group, name.chopped(SELECTED.size()));
        return tr("%1 (selected)").arg(unselected);
    }
    return name;
}

QString CColor_List::group_caption(const QString& group) {
    QString caption = find_caption(GROUP_CAPTIONS, QString(), group);
    return caption.isEmpty() ? group : caption;
}

CColor_List::CColor_List(QWidget* parent) : QWidget(parent), preset_choice(new QComboBox(this)) {
    Color_Theme& theme = Color_Theme::get_singleton_instance();
    preset_choice->addItems(theme.get_preset_names());
    auto* preset_label = new QLabel(tr("Preset:"), this);
    preset_label->setBuddy(preset_choice);
    auto* apply_button = new QPushButton(tr("Apply Preset"), this);
    auto* preset_row = new QHBoxLayout;
    preset_row->addWidget(preset_label);
    preset_row->addWidget(preset_choice);
    preset_row->addWidget(apply_button);
    preset_row->addStretch(1);

    // The pattern view's colours on the left, the lists' and the sample view's on the right.
    auto* list = new QWidget;
    auto* columns = new QHBoxLayout(list);
    auto* left = new QVBoxLayout;
    auto* right = new QVBoxLayout;
    columns->addLayout(left);
    columns->addLayout(right);
    columns->addStretch(1);
    QFormLayout* form = nullptr;
    QString group;
    int icon_size = fontMetrics().height();
    const std::vector<Color_Theme::Entry>& entries = theme.get_entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!form || entries[i].group != group) {
            group = entries[i].group;
            auto* box = new QGroupBox(group_caption(group), list);
            form = new QFormLayout(box);
            (group == "pattern_edit" ? left : right)->addWidget(box);
        }
        auto* swatch = new QPushButton(list);
        swatch->setIconSize(QSize(icon_size * 2, icon_size));
        QString caption = color_caption(group, entries[i].name);
        swatch->setAccessibleName(group_caption(group) + " " + caption);
        auto* label = new QLabel(caption, list);
        label->setBuddy(swatch);
        form->addRow(label, swatch);
        connect(swatch, &QPushButton::clicked, this, [this, i] { choose_color((int)i); });
        swatches.push_back(swatch);
    }
    left->addStretch(1);
    right->addStretch(1);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setWidget(list);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(preset_row);
    layout->addWidget(scroll, 1);

    connect(apply_button, &QPushButton::clicked, this, &CColor_List::apply_preset);
    connect(&theme, &Color_Theme::colors_changed, this, &CColor_List::refresh);
    refresh();
}

QPushButton* CColor_List::get_swatch(int index) const {
    return index >= 0 && index < (int)swatches.size() ? swatches[index] : nullptr;
}

void CColor_List::refresh() {
    const std::vector<Color_Theme::Entry>& entries = Color_Theme::get_singleton_instance().get_entries();
    int icon_size = fontMetrics().height();
    for (size_t i = 0; i < swatches.size() && i < entries.size(); ++i) {
        swatches[i]->setIcon(swatch_icon(entries[i].color, icon_size));
        swatches[i]->setText(entries[i].color.name());
    }
}

void CColor_List::choose_color(int index) {
    Color_Theme& theme = Color_Theme::get_singleton_instance();
    const Color_Theme::Entry entry = theme.get_entries()[index];
    QColorDialog dialog(entry.color, this);
    dialog.setWindowTitle(tr("%1: %2").arg(group_caption(entry.group), color_caption(entry.group, entry.name)));
    if (dialog.exec() != QDialog::Accepted) return;
    theme.set(entry.group, entry.name, dialog.selectedColor());
}

void CColor_List::apply_preset() {
    Color_Theme::get_singleton_instance().apply_preset(preset_choice->currentText());
}
