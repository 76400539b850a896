#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_dir.h"
#include "tracker/config_handler.h"

namespace {

class ConfigHandlerFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.ok()); }

    ConfigHandler load_text(const std::string& text) {
        Scratch_Dir::write(path, text);
        ConfigHandler config;
        EXPECT_TRUE(config.load_from_text(path));
        return config;
    }

    ConfigHandler round_trip(const ConfigHandler& config) {
        EXPECT_TRUE(config.save_to_text(path));
        ConfigHandler loaded;
        EXPECT_TRUE(loaded.load_from_text(path));
        return loaded;
    }

    Scratch_Dir scratch;
    std::string path = scratch.file("settings");
};

}  // namespace

TEST(ConfigHandler, MissingPropertiesReadAsBlankAndZero) {
    ConfigHandler config;
    config.add_property("Sound Driver", "mix_freq", 44100, "");
    EXPECT_EQ(config.get_int_property("Sound Driver", "mix_freq"), 44100);
    EXPECT_EQ(config.get_str_property("Sound Driver", "mix_freq"), "44100");
    EXPECT_EQ(config.get_int_property("Sound Driver", "mix_stereo"), 0);
    EXPECT_EQ(config.get_str_property("Sound Driver", "mix_stereo"), " ");
    EXPECT_EQ(config.get_str_property("Nowhere", "mix_freq"), " ");
    EXPECT_FALSE(config.property_exists("Nowhere", "mix_freq"));
    EXPECT_FALSE(config.property_exists("Sound Driver", "mix_stereo"));
    EXPECT_TRUE(config.property_exists("Sound Driver", "mix_freq"));
}

TEST(ConfigHandler, NamesAreCaseSensitiveAndAddingAgainReplaces) {
    ConfigHandler config;
    config.add_section("Misc");
    EXPECT_TRUE(config.section_exists("Misc"));
    EXPECT_FALSE(config.section_exists("misc"));
    config.add_property("Misc", "size", "1", "first");
    config.add_property("Misc", "size", "2", "second");
    config.add_property("Misc", "Size", "3", "");
    EXPECT_EQ(config.get_str_property("Misc", "size"), "2");
    EXPECT_EQ(config.get_str_property("Misc", "Size"), "3");
    config.add_section("Misc");  // must not empty an existing section
    EXPECT_TRUE(config.property_exists("Misc", "size"));
}

TEST(ConfigHandler, IntPropertiesConvertLikeAtoiWithoutOverflow) {
    ConfigHandler config;
    config.add_property("S", "neg", -17, "");
    config.add_property("S", "text", "12abc", "");
    config.add_property("S", "word", "abc", "");
    config.add_property("S", "huge", "99999999999999999999", "");
    config.add_property("S", "tiny", "-99999999999999999999", "");
    EXPECT_EQ(config.get_str_property("S", "neg"), "-17");
    EXPECT_EQ(config.get_int_property("S", "neg"), -17);
    EXPECT_EQ(config.get_int_property("S", "text"), 12);
    EXPECT_EQ(config.get_int_property("S", "word"), 0);
    EXPECT_EQ(config.get_int_property("S", "huge"), 2147483647);
    EXPECT_EQ(config.get_int_property("S", "tiny"), -2147483647 - 1);
}

TEST(ConfigHandler, CheckedIntReadsTakeOnlyWholeNumbersInRange) {
    const struct {
        const char* text;
        bool taken;
        int value;
    } cases[] = {
        {"44100", true, 44100}, {" 8 ", true, 8},   {"-3", false, 7},   {"12abc", false, 7},
        {"abc", false, 7},      {"", false, 7},     {" ", false, 7},    {"99999999999999999999", false, 7},
        {"100001", false, 7},   {"0x10", false, 7}, {"100000", true, 100000},
    };
    for (const auto& c : cases) {
        ConfigHandler config;
        config.add_property("S", "k", c.text, "");
        int value = 7;
        EXPECT_EQ(config.read_int_property("S", "k", 0, 100000, &value), c.taken) << '"' << c.text << '"';
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
    ConfigHandler empty;
    int value = 7;
    EXPECT_FALSE(empty.read_int_property("S", "k", 0, 10, &value));
    EXPECT_EQ(value, 7);
}

TEST(ConfigHandler, RemoveTrailingSpaceStripsOnlyBlanksAtBothEnds) {
    std::string text = "  some value \t  ";
    ConfigHandler::remove_trailing_space(&text);
    EXPECT_EQ(text, "some value \t");
    std::string blanks = "    ";
    ConfigHandler::remove_trailing_space(&blanks);
    EXPECT_EQ(blanks, "");
}

TEST(ConfigHandler, BinaryFilePlaceholdersReportAsDocumented) {
    ConfigHandler config;
    EXPECT_TRUE(config.save_to_file("/nonexistent/dir/file"));
    EXPECT_FALSE(config.load_from_file("/nonexistent/dir/file"));
}

TEST_F(ConfigHandlerFile, WritesHeaderSectionsCommentsAndProperties) {
    ConfigHandler config;
    config.set_header_check("WENDMOOR_CONFIG");
    config.add_property("Resampler", "resampler_index", 1, "0 Raw, 1 Linear");
    config.add_property("Resampler", "plain", "x", "");
    ASSERT_TRUE(config.save_to_text(path));
    EXPECT_EQ(Scratch_Dir::read(path),
              "[WENDMOOR_CONFIG]\n\n"
              "\n\n[Resampler]\n\n"
              "plain = x\n"
              "; 0 Raw, 1 Linear\n"
              "resampler_index = 1\n");
}

TEST_F(ConfigHandlerFile, HeaderComesBackAsEmptySectionAndIsNotVerified) {
    ConfigHandler config;
    config.set_header_check("WENDMOOR_CONFIG");
    config.add_property("Sound Driver", "mix_freq", 44100, "Sampling Rate (in HZ)");
    ConfigHandler loaded = round_trip(config);
    EXPECT_TRUE(loaded.section_exists("WENDMOOR_CONFIG"));
    EXPECT_EQ(loaded.get_int_property("Sound Driver", "mix_freq"), 44100);

    ConfigHandler checked;
    checked.set_header_check("SOMETHING_ELSE");
    EXPECT_TRUE(checked.load_from_text(path));
    EXPECT_EQ(checked.get_int_property("Sound Driver", "mix_freq"), 44100);
}

TEST_F(ConfigHandlerFile, ReadsSectionsBlanksAndComments) {
    ConfigHandler config = load_text(
        "[A]\nx = 1\n"
        "\n\t  [Sound Driver]  \r\n"
        "  key   =   some value  ;note\r\n"
        "mix_freq = 44100\n"
        "; a whole comment line = ignored\n"
        "no equals sign here\n"
        "eq = a=b=c\n"
        "empty =\n");
    EXPECT_EQ(config.get_str_property("A", "x"), "1");
    EXPECT_EQ(config.get_str_property("Sound Driver", "key"), "some value");
    EXPECT_EQ(config.get_int_property("Sound Driver", "mix_freq"), 44100);
    EXPECT_EQ(config.get_str_property("Sound Driver", "eq"), "a=b=c");
    EXPECT_TRUE(config.property_exists("Sound Driver", "empty"));
    EXPECT_EQ(config.get_str_property("Sound Driver", "empty"), "");
    EXPECT_FALSE(config.property_exists("Sound Driver", "; a whole comment line"));
    EXPECT_FALSE(config.property_exists("Sound Driver", "no equals sign here"));
}

TEST_F(ConfigHandlerFile, PropertyBeforeAnySectionLandsInTheEmptySection) {
    ConfigHandler config = load_text("orphan = 5\n[B]\ny = 2\n[]\nz = 3\n");
    EXPECT_EQ(config.get_int_property("", "orphan"), 5);
    EXPECT_EQ(config.get_int_property("", "z"), 3);
    EXPECT_EQ(config.get_int_property("B", "y"), 2);
    EXPECT_FALSE(config.property_exists("B", "orphan"));
}

TEST_F(ConfigHandlerFile, LastLineWithoutLineEndIsRead) {
    ConfigHandler config = load_text("[A]\nx = 1");
    EXPECT_EQ(config.get_str_property("A", "x"), "1");
    ConfigHandler section_only = load_text("[A]\nx = 1\n[Last]");
    EXPECT_TRUE(section_only.section_exists("Last"));
}

TEST_F(ConfigHandlerFile, LoadingMergesIntoExistingContents) {
    ConfigHandler config;
    config.add_property("A", "kept", "yes", "");
    config.add_property("A", "x", "old", "");
    Scratch_Dir::write(path, "[A]\nx = new\n");
    ASSERT_TRUE(config.load_from_text(path));
    EXPECT_EQ(config.get_str_property("A", "kept"), "yes");
    EXPECT_EQ(config.get_str_property("A", "x"), "new");
}

TEST_F(ConfigHandlerFile, HostileValuesSurviveSaveAndLoad) {
    const std::vector<std::string> values = {
        "a;b;c;;",
        ";",
        "line one\nline two\nline three",
        "cr\rand\r\nboth",
        "C:\\dir\\new;name\\",
        "\\;",
        "\\\\n",
        "a = b = c",
        "[not a section]",
        "inner  blanks\tand tab",
        std::string(100000, 'v') + ";tail",
    };
    ConfigHandler config;
    for (size_t i = 0; i < values.size(); ++i)
        config.add_property("Hostile", "v" + std::to_string(i), values[i], "comment " + std::to_string(i));
    ConfigHandler loaded = round_trip(config);
    for (size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(loaded.get_str_property("Hostile", "v" + std::to_string(i)), values[i]) << "value " << i;
}

TEST_F(ConfigHandlerFile, BlanksAtTheEndsOfAValueAreNotKept) {
    ConfigHandler config;
    config.add_property("S", "padded", "  Courier  ", "");
    ConfigHandler loaded = round_trip(config);
    EXPECT_EQ(loaded.get_str_property("S", "padded"), "Courier");
}

TEST_F(ConfigHandlerFile, LongLinesAreReadWhole) {
    std::string name(2000, 'n');
    std::string value(70000, 'x');
    ConfigHandler config = load_text("[" + std::string(600, 's') + "]\n" + name + " = " + value + "\nafter = 1\n");
    EXPECT_EQ(config.get_str_property(std::string(600, 's'), name), value);
    EXPECT_EQ(config.get_int_property(std::string(600, 's'), "after"), 1);
}

TEST_F(ConfigHandlerFile, ReadsValuesEscapedOnlyAtTheFirstOccurrence) {
    // Older files escaped only the first ";" and the first line break, and no backslashes.
    ConfigHandler config = load_text(
        "[Old]\n"
        "semi = a\\;b\n"
        "two = a\\;b;c\n"
        "nl = one\\ntwo\n"
        "path = /home/x\\dir\n"
        "trailing = ends\\\n");
    EXPECT_EQ(config.get_str_property("Old", "semi"), "a;b");
    EXPECT_EQ(config.get_str_property("Old", "two"), "a;b");
    EXPECT_EQ(config.get_str_property("Old", "nl"), "one\ntwo");
    EXPECT_EQ(config.get_str_property("Old", "path"), "/home/x\\dir");
    EXPECT_EQ(config.get_str_property("Old", "trailing"), "ends\\");
}

TEST_F(ConfigHandlerFile, UnopenableFilesFail) {
    ConfigHandler config;
    config.add_property("A", "x", "1", "");
    EXPECT_FALSE(config.load_from_text(scratch.file("missing")));
    EXPECT_FALSE(config.save_to_text(scratch.file("no/such/dir")));
    EXPECT_EQ(config.get_str_property("A", "x"), "1");
}

TEST_F(ConfigHandlerFile, BinaryGarbageIsSkippedWithoutHarm) {
    std::string garbage = "[A]\n";
    for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 37 + 11) & 0xFF);
    garbage += "\n[B]\nx = 1\n";
    ConfigHandler config = load_text(garbage);
    EXPECT_EQ(config.get_int_property("B", "x"), 1);
}
