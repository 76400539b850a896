#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/components/audio/sample_data.h"
#include "trackercore/file_format_manager.h"
#include "trackercore/song.h"

namespace {

// A loader that recognises files by name and answers with a fixed result.
class Fake_Loader : public Loader {
public:
    Fake_Loader(std::string claims, Error result) : claims(std::move(claims)), result(result) {}
    Error load(const char* file, bool) override {
        loaded.push_back(file);
        return result;
    }
    bool test(const char* file) override { return std::string(file).find(claims) != std::string::npos; }
    int get_amount_of_samples() override { return 0; }
    Sample_Data* get_sample_data(int) override { return nullptr; }
    std::string get_sample_name(int) override { return ""; }
    void add_sample_to_song(int, int, bool) override {}
    Error load_sample(const char* file, int) override { return test(file) ? result : FILE_FORMAT_NOT_RECOGNIZED; }
    Sample_Data* load_sample(const char* file) override { return test(file) ? new Sample_Data : nullptr; }
    Error load_samples_from_instrument(const char* file) override {
        return test(file) ? result : FILE_FORMAT_NOT_RECOGNIZED;
    }
    Error load_instrument(const char* file, int) override { return test(file) ? result : FILE_FORMAT_NOT_RECOGNIZED; }
    void transfer_data_to_song() override {
        transferred++;
        song->get_variables()->name = "loaded";
    }
    void free_info(bool free_data) override { freed.push_back(free_data); }

    std::string claims;
    Error result;
    std::vector<std::string> loaded;
    int transferred = 0;
    std::vector<bool> freed;
};

class Fake_Saver : public Saver {
public:
    Fake_Saver(const char* lower, const char* upper, int result) : lower(lower), upper(upper), result(result) {}
    int save(const char* file) override { return has_extension(file, lower, upper) ? result : -2; }
    int save_sample(const char* file, int) override { return has_extension(file, lower, upper) ? result : -2; }
    int save_instrument(const char*, int) override { return -2; }
    const char* lower;
    const char* upper;
    int result;
};

}  // namespace

TEST(FileFormatManager, ErrorTexts) {
    EXPECT_STREQ(Loader::error_string[Loader::SUCCESS], "Success");
    EXPECT_STREQ(Loader::error_string[Loader::FILE_IN_USE], "File Loader in use");
    EXPECT_STREQ(Loader::error_string[Loader::FILE_CANNOT_OPEN], "Cannot open file!");
    EXPECT_STREQ(Loader::error_string[Loader::FILE_ERROR], "File Error");
    EXPECT_STREQ(Loader::error_string[Loader::FILE_FORMAT_NOT_RECOGNIZED], "File Format Not Recognized");
    EXPECT_STREQ(Loader::error_string[Loader::HEADER_CORRUPT], "Header Corrupt");
}

TEST(FileFormatManager, EmptyListsRecogniseNothing) {
    Song song;
    File_Format_Manager m;
    m.set_song(&song);
    EXPECT_EQ(m.load_module("a.it"), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(m.load_sample("a.its", 0), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(m.load_instrument("a.iti", 0), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(m.load_sample("a.its"), nullptr);
    EXPECT_EQ(m.load_sample_library("a.iti"), nullptr);
    EXPECT_EQ(m.check_file_in_loaders("a.it"), nullptr);
    EXPECT_EQ(m.save_module("a.it"), -2);
    EXPECT_EQ(m.save_sample("a.is", 0), -2);
    EXPECT_EQ(m.save_instrument("a.ii", 0), -2);
}

TEST(FileFormatManager, LoadModuleTriesInOrderAndTransfersOnSuccess) {
    Song song;
    song.set_order(0, 7);
    File_Format_Manager m;
    m.set_song(&song);
    Fake_Loader broken("mod", Loader::HEADER_CORRUPT), good("mod", Loader::SUCCESS), other("xx", Loader::SUCCESS);
    m.register_loader(&other);
    m.register_loader(&broken);
    m.register_loader(&good);
    EXPECT_EQ(broken.get_song(), &song);
    EXPECT_EQ(m.load_module("file.mod"), Loader::SUCCESS);
    EXPECT_TRUE(other.loaded.empty());
    EXPECT_EQ(broken.loaded.size(), 1u);
    EXPECT_EQ(good.transferred, 1);
    ASSERT_EQ(good.freed.size(), 1u);
    EXPECT_FALSE(good.freed[0]);  // the song owns the PCM data now
    EXPECT_EQ(song.get_order(0), 255);  // reset before the transfer
    EXPECT_EQ(song.get_variables()->name, "loaded");
}

TEST(FileFormatManager, FailedLoadReportsFirstRecognisingLoaderAndKeepsSong) {
    Song song;
    song.set_order(0, 7);
    File_Format_Manager m;
    m.set_song(&song);
    Fake_Loader truncated("it", Loader::HEADER_CORRUPT), later("it", Loader::FILE_ERROR), other("xm", Loader::SUCCESS);
    m.register_loader(&truncated);
    m.register_loader(&later);
    m.register_loader(&other);
    EXPECT_EQ(m.load_module("broken.it"), Loader::HEADER_CORRUPT);
    EXPECT_EQ(song.get_order(0), 7);
    EXPECT_EQ(m.load_module("nothing.abc"), Loader::FILE_FORMAT_NOT_RECOGNIZED);
    EXPECT_EQ(m.check_file_in_loaders("broken.it"), nullptr);
    EXPECT_EQ(m.check_file_in_loaders("a.xm"), &other);
    EXPECT_EQ(other.transferred, 0);  // checking stages only
}

TEST(FileFormatManager, SampleAndInstrumentLoadsAskEveryLoader) {
    Song song;
    File_Format_Manager m;
    m.set_song(&song);
    Fake_Loader a("its", Loader::FILE_ERROR), b("its", Loader::SUCCESS);
    m.register_loader(&a);
    m.register_loader(&b);
    EXPECT_EQ(m.load_sample("x.its", 3), Loader::SUCCESS);
    EXPECT_EQ(m.load_instrument("x.its", 3), Loader::SUCCESS);
    EXPECT_EQ(m.load_sample_library("x.its"), &b);
    EXPECT_EQ(m.load_sample_library("x.wav"), nullptr);
    Sample_Data* preview = m.load_sample("x.its");
    EXPECT_NE(preview, nullptr);
    delete preview;
}

TEST(FileFormatManager, SaversChosenByExtension) {
    Song song;
    File_Format_Manager m;
    m.set_song(&song);
    Fake_Saver wav(".wav", ".WAV", 0), raw(".raw", ".RAW", -1);
    m.register_saver(&wav);
    m.register_saver(&raw);
    EXPECT_EQ(m.save_sample("beep.wav", 0), 0);
    EXPECT_EQ(m.save_sample("beep.WAV", 0), 0);
    EXPECT_EQ(m.save_sample("beep.Wav", 0), -2);
    EXPECT_EQ(m.save_sample(".wav", 0), -2);  // nothing but the extension
    EXPECT_EQ(m.save_sample("beep.raw", 0), -1);
    EXPECT_EQ(m.save_instrument("beep.wav", 0), -2);
}

TEST(FileFormatManager, RegisteringWithoutSongWarns) {
    File_Format_Manager m;
    Fake_Loader l("x", Loader::SUCCESS);
    Fake_Saver s(".x", ".X", 0);
    testing::internal::CaptureStdout();
    m.register_loader(&l);
    m.register_saver(&s);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Trying to link a loader when we dont have a song!"), std::string::npos);
    EXPECT_NE(out.find("Trying to link a saver when we dont have a song!"), std::string::npos);
    EXPECT_EQ(m.get_loaders().size(), 1u);
    EXPECT_EQ(m.get_savers().size(), 1u);
}
