#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/interface.h"
#include "interface__QT/interface_settings.h"

namespace {

class InterfacePage : public ::testing::Test {
protected:
    void TearDown() override {
        Interface::widget_timer_interval = 20;
        preferences.set_use_backing_store(true);
        preferences.set_pattern_edit_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        preferences.set_orderlist_font(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    }

    Interface_Preferences& preferences = Interface_Preferences::get_singleton_instance();
};

}  // namespace

TEST_F(InterfacePage, IntervalBackingStoreAndFontsApplyAtOnce) {
    Interface_Settings page;
    QSignalSpy views(&preferences, &Interface_Preferences::changed);
    QSignalSpy timers(&page, &Interface_Settings::repaint_interval_changed);

    auto* interval = buddy_of<QSpinBox>(&page, "Repaint interval:");
    ASSERT_NE(interval, nullptr);
    EXPECT_EQ(interval->value(), 20);
    interval->setValue(35);
    EXPECT_EQ(Interface::widget_timer_interval, 35);
    ASSERT_EQ(timers.count(), 1);
    EXPECT_EQ(timers.first().at(0).toInt(), 35);
    interval->setValue(100000);
    EXPECT_EQ(Interface::widget_timer_interval, Interface_Settings::MAX_REPAINT_INTERVAL);

    QTest::mouseClick(page.get_backing_store_box(), Qt::LeftButton);
    EXPECT_FALSE(preferences.get_use_backing_store());
    EXPECT_EQ(views.count(), 1);

    QFont chosen("Wendmoor Test Mono", 17);
    bool fixed_pitch_only = false;
    answer_modal<QFontDialog>([&](QFontDialog* dialog) {
        fixed_pitch_only = dialog->testOption(QFontDialog::MonospacedFonts);
        dialog->setCurrentFont(chosen);
        dialog->accept();
    });
    QTest::mouseClick(buddy_of<QPushButton>(&page, "Pattern editor:"), Qt::LeftButton);
    EXPECT_TRUE(fixed_pitch_only);
    EXPECT_EQ(preferences.get_pattern_edit_font().pointSize(), 17);
    EXPECT_EQ(views.count(), 2);
    EXPECT_TRUE(buddy_of<QPushButton>(&page, "Pattern editor:")->text().endsWith(", 17 pt"));

    answer_modal<QFontDialog>([](QFontDialog* dialog) { dialog->reject(); });
    QFont before = preferences.get_orderlist_font();
    QTest::mouseClick(buddy_of<QPushButton>(&page, "Order list and tables:"), Qt::LeftButton);
    EXPECT_EQ(preferences.get_orderlist_font(), before);
    EXPECT_EQ(views.count(), 2);
}
