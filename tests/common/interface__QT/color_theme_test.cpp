#include <gtest/gtest.h>

#include <QSignalSpy>

#include "common/interface__QT/color_theme.h"
#include "tracker/config_handler.h"

namespace {

struct Theme_Reset {
    ~Theme_Reset() { Color_Theme::get_singleton_instance().apply_preset(Color_Theme::DEFAULT_PRESET); }
};

}  // namespace

TEST(ColorTheme, EveryColourOfTheThreeGroupsRoundTripsThroughTheSettings) {
    Theme_Reset reset;
    Color_Theme& theme = Color_Theme::get_singleton_instance();
    ASSERT_EQ(theme.get_entries().size(), 13u + 5u + 12u);
    auto color_of = [](int i) { return QColor(i, 255 - i, (i * 7) % 256); };
    std::vector<Color_Theme::Entry> entries = theme.get_entries();
    for (size_t i = 0; i < entries.size(); ++i) theme.set(entries[i].group, entries[i].name, color_of((int)i));

    ConfigHandler config;
    theme.save_settings(&config);
    EXPECT_EQ(config.get_str_property("Color Theme", "pattern_edit:-_-:background"), "0,255,0");
    theme.apply_preset("default");
    theme.load_settings(&config);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(theme.get(entries[i].group, entries[i].name), color_of((int)i)) << entries[i].name.toStdString();
}

TEST(ColorTheme, MalformedOrMissingValuesKeepTheColourInForce) {
    Theme_Reset reset;
    Color_Theme& theme = Color_Theme::get_singleton_instance();
    QColor before = theme.get("lists", "cursor");
    QSignalSpy changed(&theme, &Color_Theme::colors_changed);
    ConfigHandler config;
    for (const char* value : {"1,2", "1,2,3,4", "a,b,c", "-1,0,0", "0,0,256", " "}) {
        config.add_property("Color Theme", "lists:-_-:cursor", value, "");
        theme.load_settings(&config);
        EXPECT_EQ(theme.get("lists", "cursor"), before) << value;
    }
    EXPECT_EQ(changed.count(), 0);
    config.add_property("Color Theme", "lists:-_-:cursor", " 10, 20 ,30 ", "");
    theme.load_settings(&config);
    EXPECT_EQ(theme.get("lists", "cursor"), QColor(10, 20, 30));
    EXPECT_EQ(changed.count(), 1);
}
