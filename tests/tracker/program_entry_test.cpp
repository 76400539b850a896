#include <gtest/gtest.h>

#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/full_disk.h"
#include "support/scratch_dir.h"
#include "tracker/config_handler.h"
#include "tracker/keyboard_input.h"
#include "tracker/program_entry.h"

namespace {

// Runs the entry with HOME pointing at a scratch directory, restoring HOME afterwards.
class ProgramEntryRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.ok());
        if (const char* home = std::getenv("HOME")) saved_home = home;
        setenv("HOME", scratch.path().c_str(), 1);
    }
    void TearDown() override {
        if (saved_home)
            setenv("HOME", saved_home->c_str(), 1);
        else
            unsetenv("HOME");
    }

    int run(std::vector<std::string> arguments, std::string* output = nullptr) {
        arguments.insert(arguments.begin(), "wendmoor_qt");
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        Program_Entry entry(hooks);
        testing::internal::CaptureStdout();
        int status = entry.run(static_cast<int>(arguments.size()), argv.data());
        std::string printed = testing::internal::GetCapturedStdout();
        if (output) *output = printed;
        song_files = entry.get_song_files();
        policy = entry.get_audio_thread_policy();
        priority = entry.get_audio_thread_priority();
        return status;
    }

    std::string settings_file() const { return scratch.file(".wendmoor_QT"); }

    Scratch_Dir scratch;
    std::optional<std::string> saved_home;
    Program_Hooks hooks;
    std::vector<std::string> song_files;
    int policy = -1;
    int priority = -1;
};

}  // namespace

TEST(ProgramEntry, SettingsPathIsInHomeOrTheCurrentDirectory) {
    std::optional<std::string> saved_home;
    if (const char* home = std::getenv("HOME")) saved_home = home;
    setenv("HOME", "/some/home", 1);
    EXPECT_EQ(Program_Entry::get_settings_path(), "/some/home/.wendmoor_QT");
    unsetenv("HOME");
    EXPECT_EQ(Program_Entry::get_settings_path(), "./.wendmoor_QT");
    setenv("HOME", "", 1);
    EXPECT_EQ(Program_Entry::get_settings_path(), "./.wendmoor_QT");
    if (saved_home)
        setenv("HOME", saved_home->c_str(), 1);
    else
        unsetenv("HOME");
}

TEST(ProgramEntry, AudioThreadEndsOnQuitRequest) {
    quit_request = 0;
    thread_finished = 0;
    std::thread audio(audio_thread_cbk, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(thread_finished, 0);
    quit_request = 1;
    audio.join();
    EXPECT_EQ(thread_finished, 1);
}

TEST_F(ProgramEntryRun, FirstRunWarnsAndWritesTheSettingsFileAtExit) {
    std::string output;
    EXPECT_EQ(run({}, &output), 0);
    std::string path = settings_file();
    EXPECT_EQ(output, "Warning, config file not found at " + path + ". One will be created on exit!\n" +
                          "Saving settings to " + path + "\n");
    std::string written = Scratch_Dir::read(path);
    EXPECT_EQ(written.rfind("[WENDMOOR_CONFIG]\n\n", 0), 0u) << written;
    EXPECT_NE(written.find("\n\n[Tracker Keys]\n\n"), std::string::npos) << written;
    EXPECT_NE(written.find("KEY_NOTE_OFF = 96\n"), std::string::npos) << written;
    EXPECT_TRUE(song_files.empty());
}

TEST_F(ProgramEntryRun, StoredPreferencesComeBackOnTheNextRun) {
    hooks.save_settings = [](ConfigHandler* config) {
        config->add_property("Resampler", "resampler_index", 1, "0 Raw, 1 Linear");
        config->add_property("Misc Interface", "pattern_edit_font_family", "Mono; Bold", "");
    };
    run({});
    std::optional<int> resampler;
    std::optional<std::string> font;
    hooks.load_settings = [&](ConfigHandler* config) {
        resampler = config->get_int_property("Resampler", "resampler_index");
        font = config->get_str_property("Misc Interface", "pattern_edit_font_family");
    };
    std::string output;
    EXPECT_EQ(run({}, &output), 0);
    EXPECT_EQ(output.find("Warning"), std::string::npos) << output;
    ASSERT_TRUE(resampler && font);
    EXPECT_EQ(*resampler, 1);
    EXPECT_EQ(*font, "Mono; Bold");
}

TEST_F(ProgramEntryRun, SongsOpenInOrderAndDashArgumentsAreSongs) {
    std::vector<std::string> opened;
    hooks.open_song = [&](const std::string& path) { opened.push_back(path); };
    EXPECT_EQ(run({"a.it", "-weird.xm", "--schedfifo=no", "b.wm"}), 0);
    std::vector<std::string> expected = {"a.it", "-weird.xm", "--schedfifo=no", "b.wm"};
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(song_files, expected);
}

TEST_F(ProgramEntryRun, HelpOpensEarlierSongsThenStopsWithoutSaving) {
    std::vector<std::string> opened;
    bool loop_ran = false;
    hooks.open_song = [&](const std::string& path) { opened.push_back(path); };
    hooks.run_event_loop = [&] {
        loop_ran = true;
        return 0;
    };
    std::string output;
    EXPECT_EQ(run({"first.it", "--help", "second.it"}, &output), 255);
    EXPECT_EQ(opened, std::vector<std::string>{"first.it"});
    EXPECT_FALSE(loop_ran);
    EXPECT_NE(output.find("Usage: wendmoor_qt [flags] [songs]\nFlags:\n"
                          "\t--schedfifo runs at schedfifo priority (suid root needed)\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find("Saving settings"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(settings_file()));
}

TEST_F(ProgramEntryRun, AudioThreadRunsDuringTheEventLoopAndStopsAfter) {
    std::optional<int> finished_during_loop;
    hooks.run_event_loop = [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        finished_during_loop = thread_finished.load();
        return 7;
    };
    EXPECT_EQ(run({}), 7);
    ASSERT_TRUE(finished_during_loop.has_value());
    EXPECT_EQ(*finished_during_loop, 0);
    EXPECT_EQ(quit_request, 1);
    EXPECT_EQ(thread_finished, 1);
    EXPECT_EQ(policy, SCHED_RR);
    EXPECT_EQ(priority, sched_get_priority_max(SCHED_RR));
}

TEST_F(ProgramEntryRun, SchedFifoWarnsAndStillRunsWithoutPrivileges) {
    std::string output;
    EXPECT_EQ(run({"--schedfifo", "song.it"}, &output), 0);
    EXPECT_NE(output.find("Warning, running in SCHEDFIFO mode!\n"), std::string::npos) << output;
    EXPECT_EQ(policy, SCHED_FIFO);
    EXPECT_EQ(priority, sched_get_priority_max(SCHED_FIFO));
    EXPECT_EQ(song_files, std::vector<std::string>{"song.it"});
    EXPECT_EQ(thread_finished, 1);
}

TEST_F(ProgramEntryRun, UnwritableSettingsFileIsReportedAtExit) {
    // A home that is a plain file: nothing can be made inside it.
    Scratch_Dir::write(scratch.file("not_a_dir"), "");
    setenv("HOME", scratch.file("not_a_dir").c_str(), 1);
    std::string output;
    EXPECT_EQ(run({}, &output), 1);
    EXPECT_NE(output.find("Error: tracker/program_entry:"), std::string::npos) << output;
    EXPECT_NE(output.find("could not write the settings file " + scratch.file("not_a_dir/.wendmoor_QT") +
                          ": Not a directory"),
              std::string::npos)
        << output;
}

#ifdef WENDMOOR_QT_PATH
namespace {

// Runs the program with HOME set to the scratch directory, on the offscreen platform; with
// `stop`, ends it with SIGTERM once it is running. Returns its exit status.
int run_program(const Scratch_Dir& scratch, const std::string& arguments, std::string* output, bool stop) {
    std::string log = scratch.file("program.log");
    std::string command = "HOME='" + scratch.path() + "' QT_QPA_PLATFORM=offscreen '" WENDMOOR_QT_PATH "' " +
                          arguments + " >'" + log + "' 2>&1 & pid=$!; ";
    // Stopped once it has read its settings, which it does with its signal handlers in place.
    if (stop)
        command += "for i in $(seq 300); do grep -q 'config file' '" + log + "' && break; sleep 0.1; done; "
                   "kill -TERM $pid; ";
    command += "wait $pid";
    int status = std::system(command.c_str());
    *output = Scratch_Dir::read(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Help ends the program before any window shows; SIGTERM (a desktop logging out) ends the
// event loop like Quit and still stores the settings.
TEST(ProgramEntryBinary, HelpExitsWith255AndTerminationWritesSettings) {
    Scratch_Dir scratch;
    ASSERT_TRUE(scratch.ok());
    std::string output;
    EXPECT_EQ(run_program(scratch, "--help", &output, false), 255);
    EXPECT_NE(output.find("Usage: wendmoor_qt [flags] [songs]"), std::string::npos) << output;
    EXPECT_FALSE(std::filesystem::exists(scratch.file(".wendmoor_QT")));

    EXPECT_EQ(run_program(scratch, "", &output, true), 0);
    EXPECT_NE(output.find("Saving settings to " + scratch.file(".wendmoor_QT")), std::string::npos) << output;
    EXPECT_TRUE(std::filesystem::exists(scratch.file(".wendmoor_QT")));
}
#endif

TEST_F(ProgramEntryRun, KeyBindingsAreStoredAndComeBack) {
    // A run rebinds "Note Off" while the event loop is up; the next run starts with it.
    hooks.run_event_loop = [] {
        Keyboard_Input* keys = Keyboard_Input::get_singleton_instance();
        EXPECT_EQ(keys->get_key_bind_count(), 37);
        keys->set_key_bind_key(1, '/');
        return 0;
    };
    run({});
    int note_off_key = -1;
    hooks.run_event_loop = [&] {
        note_off_key = Keyboard_Input::get_singleton_instance()->get_key_bind_key(1);
        return 0;
    };
    run({});
    EXPECT_EQ(note_off_key, '/');
    ConfigHandler stored;
    ASSERT_TRUE(stored.load_from_text(settings_file()));
    EXPECT_TRUE(stored.section_exists("Tracker Keys"));
}

TEST_F(ProgramEntryRun, FullDiskKeepsTheOldSettingsFile) {
    std::filesystem::create_directory(scratch.file("disk"));
    Full_Disk disk(scratch.file("disk"));
    if (!disk.ok()) GTEST_SKIP() << disk.why();
    setenv("HOME", scratch.file("disk").c_str(), 1);
    const std::string path = disk.file(".wendmoor_QT");
    const std::string old = "[WENDMOOR_CONFIG]\n\n[Tracker Keys]\nKEY_NOTE_OFF = 96\n\n[Sound Driver]\nmix_freq = 48000\n";
    Scratch_Dir::write(path, old);
    ASSERT_TRUE(disk.fill());
    std::string output;
    EXPECT_EQ(run({}, &output), 1);
    EXPECT_NE(output.find("could not write the settings file " + path + ": No space left on device"), std::string::npos)
        << output;
    EXPECT_EQ(Scratch_Dir::read(path), old);
    EXPECT_EQ(disk.entries(), std::vector<std::string>{".wendmoor_QT"});
}

TEST_F(ProgramEntryRun, SettingsNoOwnerWroteGoBackAsTheyWereRead) {
    Scratch_Dir::write(settings_file(),
                       "[WENDMOOR_CONFIG]\n\n"
                       "[Sound Driver]\nmix_freq = 48000\naudio_driver_index = 1\n"
                       "[Color Theme]\npattern_edit:-_-:background = 1,2,3\n"
                       "[Misc Interface]\nrepaint_interval = 20\nfuture_option = on ; from a newer version\n"
                       "[Tracker Keys]\nKEY_NOTE_OFF = 96\nKEY_FROM_A_NEWER_VERSION = 7\n"
                       "[Plug-in Presets]\nlast = Hall \\; big\n");
    // Only the interface page and the key bindings are there in this run.
    hooks.save_settings = [](ConfigHandler* config) { config->add_property("Misc Interface", "repaint_interval", 30, ""); };
    hooks.run_event_loop = [] {
        Keyboard_Input::get_singleton_instance()->set_key_bind_key(1, '/');
        return 0;
    };
    EXPECT_EQ(run({}), 0);

    ConfigHandler stored;
    ASSERT_TRUE(stored.load_from_text(settings_file()));
    struct Expected {
        const char* section;
        const char* key;
        std::string value;
    } expected[] = {
        {"Sound Driver", "mix_freq", "48000"},
        {"Sound Driver", "audio_driver_index", "1"},
        {"Color Theme", "pattern_edit:-_-:background", "1,2,3"},
        {"Misc Interface", "repaint_interval", "30"},  // the owner's value wins
        {"Misc Interface", "future_option", "on"},
        {"Tracker Keys", "KEY_NOTE_OFF", std::to_string('/')},
        {"Tracker Keys", "KEY_FROM_A_NEWER_VERSION", "7"},
        {"Plug-in Presets", "last", "Hall ; big"},
    };
    for (const Expected& e : expected) {
        EXPECT_TRUE(stored.property_exists(e.section, e.key)) << e.section << " / " << e.key;
        EXPECT_EQ(stored.get_str_property(e.section, e.key), e.value) << e.section << " / " << e.key;
    }
    std::string text = Scratch_Dir::read(settings_file());
    EXPECT_EQ(text.find("[WENDMOOR_CONFIG]", 1), std::string::npos) << "the header is written once\n" << text;
}

TEST_F(ProgramEntryRun, UnusableSettingsFilesStartWithDefaultsAndAreKept) {
    const std::string path = settings_file();
    const std::string big = "[Tracker Keys]\nKEY_NOTE_OFF = 47\n" + std::string(2 << 20, '\n');
    using Type = std::filesystem::file_type;
    const std::string write_only = "[Tracker Keys]\nKEY_NOTE_OFF = 47\n";
    struct Case {
        const char* name;
        std::function<bool()> make;
        const char* reason;
        Type type;  // what is still there afterwards
        std::string contents;  // of a regular file, unchanged
    } cases[] = {
        {"larger than 1 MiB", [&] { Scratch_Dir::write(path, big); return true; }, "larger than 1024 KiB", Type::regular, big},
        {"link to /dev/zero", [&] { return symlink("/dev/zero", path.c_str()) == 0; }, "not a regular file", Type::symlink, ""},
        {"pipe", [&] { return mkfifo(path.c_str(), 0600) == 0; }, "not a regular file", Type::fifo, ""},
        // Unreadable, even to root, which this test may run as.
        {"write-only", [&] { Scratch_Dir::write(path, write_only); return chmod(path.c_str(), 0200) == 0; },
         "Permission denied", Type::regular, write_only},
    };
    const int default_note_off = 96;
    for (const Case& c : cases) {
        std::filesystem::remove(path);
        ASSERT_TRUE(c.make()) << c.name;
        int key_during_run = 0;
        hooks.run_event_loop = [&] {
            key_during_run = Keyboard_Input::get_singleton_instance()->get_key_bind_key(1);
            return 0;
        };
        std::string output;
        EXPECT_EQ(run({}, &output), 0) << c.name;
        EXPECT_NE(output.find("Warning, settings file " + path + " cannot be read (" + c.reason +
                              "). Starting with default settings; the file will be left as it is.\n"),
                  std::string::npos)
            << c.name << ": " << output;
        EXPECT_NE(output.find("Settings not saved: " + path), std::string::npos) << c.name << ": " << output;
        EXPECT_EQ(key_during_run, default_note_off) << c.name;
        EXPECT_EQ(std::filesystem::symlink_status(path).type(), c.type) << c.name;
        if (c.type == Type::regular) {
            chmod(path.c_str(), 0600);
            EXPECT_EQ(Scratch_Dir::read(path), c.contents) << c.name;
        }
    }
}
