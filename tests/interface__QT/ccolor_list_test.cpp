#include <gtest/gtest.h>

#include <QColorDialog>
#include <QComboBox>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include "common/interface__QT/color_theme.h"
#include "interface__QT/ccolor_list.h"
#include "interface__QT/gui_test_util.h"

namespace {

class ColorsPage : public ::testing::Test {
protected:
    void TearDown() override { theme.apply_preset(Color_Theme::DEFAULT_PRESET); }

    Color_Theme& theme = Color_Theme::get_singleton_instance();
    CColor_List page;
};

}  // namespace

TEST_F(ColorsPage, EveryColourHasANamedSwatchEditedWithTheColourDialogAtOnce) {
    const std::vector<Color_Theme::Entry>& entries = theme.get_entries();
    QSet<QString> names;
    int center = -1;
    for (int i = 0; i < (int)entries.size(); ++i) {
        QString caption = CColor_List::color_caption(entries[i].group, entries[i].name);
        EXPECT_EQ(buddy_of<QPushButton>(&page, caption) != nullptr, true) << caption.toStdString();
        EXPECT_EQ(page.get_swatch(i)->text(), entries[i].color.name());
        names.insert(page.get_swatch(i)->accessibleName());
        if (entries[i].group == "sample_edit" && entries[i].name == "center") center = i;
    }
    EXPECT_EQ(names.size(), (qsizetype)entries.size()) << "two colours share a name";

    QSignalSpy changed(&theme, &Color_Theme::colors_changed);
    QString title;
    answer_modal<QColorDialog>([&](QColorDialog* dialog) {
        title = dialog->windowTitle();
        dialog->setCurrentColor(QColor(200, 10, 20));
        dialog->accept();
    });
    QTest::mouseClick(page.get_swatch(center), Qt::LeftButton);
    EXPECT_EQ(title, "Sample Editor: Centre line");
    EXPECT_EQ(theme.get("sample_edit", "center"), QColor(200, 10, 20));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(page.get_swatch(center)->text(), "#c80a14");

    answer_modal<QColorDialog>([](QColorDialog* dialog) {
        dialog->setCurrentColor(Qt::white);
        dialog->reject();
    });
    QTest::mouseClick(page.get_swatch(center), Qt::LeftButton);
    EXPECT_EQ(theme.get("sample_edit", "center"), QColor(200, 10, 20));
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(ColorsPage, PresetsApplyWholeReadableThemesAndDefaultRestoresTheBuiltIn) {
    std::vector<Color_Theme::Entry> built_in = theme.get_entries();
    QComboBox* presets = page.get_preset_choice();
    ASSERT_EQ(presets->itemText(0), "default");
    ASSERT_GE(presets->count(), 3);
    QSignalSpy changed(&theme, &Color_Theme::colors_changed);
    QSet<QRgb> backgrounds;
    for (int i = presets->count() - 1; i >= 0; --i) {
        presets->setCurrentIndex(i);
        QTest::mouseClick(named<QPushButton>(&page, "Apply Preset"), Qt::LeftButton);
        QColor background = theme.get("pattern_edit", "background");
        QColor text = theme.get("pattern_edit", "foreground");
        EXPECT_GT(std::abs(text.lightness() - background.lightness()), 100) << presets->itemText(i).toStdString();
        EXPECT_EQ(page.get_swatch(0)->text(), background.name());
        backgrounds.insert(background.rgb());
    }
    EXPECT_EQ(changed.count(), presets->count());
    EXPECT_EQ(backgrounds.size(), presets->count());
    for (size_t i = 0; i < built_in.size(); ++i) EXPECT_EQ(theme.get_entries()[i].color, built_in[i].color);
}
