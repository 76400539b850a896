// Autosave: a modified song is kept in the data folder, written once per change from a snapshot
// the song's later edits do not reach, byte for byte what a native save writes; the song's
// removal follows the musician's save or close; and only runs that no process holds any more
// are offered at start.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/components/audio/sound_driver_manager.h"
#include "support/native_song.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"
#include "tracker/audio_components.h"
#include "tracker/audio_session.h"
#include "tracker/autosave_folder.h"
#include "tracker/autosave_worker.h"
#include "tracker/keyboard_input.h"
#include "tracker/song_autosave.h"
#include "tracker/song_snapshot.h"
#include "tracker/tracker_instance.h"

namespace fs = std::filesystem;

namespace {

// Sets environment variables for one scope, as they were afterwards.
class Scoped_Env {
public:
    void set(const char* name, const std::optional<std::string>& value) {
        const char* old = std::getenv(name);
        saved.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        apply(name, value);
    }
    ~Scoped_Env() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) apply(it->first.c_str(), it->second);
    }

private:
    static void apply(const char* name, const std::optional<std::string>& value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

std::vector<std::string> files_in(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

ino_t inode_of(const std::string& file) {
    struct stat st;
    return stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
}

class Autosave_Test : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.ok());
        Tracker_Instance::init_keyboard();
        Editor::set_default_octave(4);
        build_rich_song(ti.song);
        build_rich_mixer(ti.mixer);
        ti.history.clear();
        ti.history.set_merge_window(std::chrono::milliseconds(0));
        ti.editor.cursor_goto_pattern(3);
    }

    // A note typed into the pattern, as the pattern view types it.
    void type_note(int row, char key) {
        ti.editor.set_cursor(1, row, 0);
        ti.editor.press_key_at_cursor(key);
    }
    // The song as a native save writes it.
    std::string native_save() {
        std::string file = dir.file("native.wm");
        EXPECT_EQ(ti.file_format_manager.save_module(file.c_str()), 0);
        return Scratch_Dir::read(file);
    }
    Autosave_Folder::Record record() const {
        Autosave_Folder::Record r;
        r.original_path = dir.file("song.it");
        r.song_name = "Rich Song";
        r.time = 1765000000;
        r.original_stamp.exists = true;
        r.original_stamp.size = 4321;
        r.original_stamp.inode = 77;
        r.original_stamp.modified_ns = 1765000000123456789LL;
        return r;
    }

    Audio_Components components;  // the effect sources the rich mixer's effects come from
    Keyboard_Input keys;
    Scratch_Dir dir;
    Tracker_Instance ti;
};

}  // namespace

TEST(Autosave_Place, DataFolderFollowsTheBaseDirectoryRules) {
    const struct {
        const char* name;
        std::optional<std::string> data_home;
        std::string expected;
    } cases[] = {
        {"data home set", std::string("/x/data"), "/x/data/wendmoor/autosave"},
        {"data home unset", std::nullopt, "/h/me/.local/share/wendmoor/autosave"},
        {"data home empty", std::string(""), "/h/me/.local/share/wendmoor/autosave"},
        {"data home relative, so ignored", std::string("rel/data"), "/h/me/.local/share/wendmoor/autosave"},
    };
    for (const auto& c : cases) {
        Scoped_Env env;
        env.set("HOME", std::string("/h/me"));
        env.set("XDG_DATA_HOME", c.data_home);
        EXPECT_EQ(Autosave_Folder::default_path(), c.expected) << c.name;
    }
}

TEST_F(Autosave_Test, WrittenOnlyWhileModifiedAndOncePerChange) {
    Autosave_Folder folder(dir.file("data/wendmoor/autosave"));
    Autosave_Worker worker;
    Song_Autosave autosave;
    autosave.set_place(&folder, &worker);
    const struct {
        const char* name;
        std::function<void()> action;
        bool written;  // a write was asked for and the file was replaced
        bool exists;
    } steps[] = {
        {"a song nobody touched", [] {}, false, false},
        {"a typed note", [&] { type_note(0, 'q'); }, true, true},
        {"nothing since", [] {}, false, true},
        {"another note", [&] { type_note(1, 'w'); }, true, true},
        {"both undone: the song is as loaded",
         [&] {
             ti.history.undo();
             ti.history.undo();
         },
         false, false},
        {"still as loaded", [] {}, false, false},
        {"one redone", [&] { ti.history.redo(); }, true, true},
        {"saved by the musician",
         [&] {
             native_save();
             ti.history.mark_saved();
             autosave.discard();
         },
         false, false},
        {"an edit after the save", [&] { type_note(2, 'e'); }, true, true},
        {"an edit that cannot be undone (the mixer)", [&] { ti.history.mark_modified(); }, true, true},
    };
    ino_t last = 0;
    for (const auto& step : steps) {
        step.action();
        bool asked = autosave.save_if_changed(ti, nullptr, record());
        worker.wait_idle();
        std::string file = autosave.get_id().empty() ? std::string() : folder.song_file(autosave.get_id());
        bool exists = !file.empty() && fs::exists(file);
        EXPECT_EQ(asked, step.written) << step.name;
        EXPECT_EQ(exists, step.exists) << step.name;
        EXPECT_EQ(exists, fs::exists(folder.record_file(autosave.get_id()))) << step.name << ": the record goes with it";
        EXPECT_EQ(autosave.get_error(), "") << step.name;
        if (!exists) {
            last = 0;
            continue;
        }
        ino_t now = inode_of(file);
        // Every write puts a new file in place; an unchanged file was not written again.
        EXPECT_EQ(now != last, step.written) << step.name;
        last = now;
        if (step.written) {
            EXPECT_EQ(Scratch_Dir::read(file), native_save()) << step.name;
        }
    }
}

TEST_F(Autosave_Test, IsTheSongAsTakenEvenWhenEditedBeforeTheWorkerWrites) {
    type_note(0, 'q');
    std::string before = native_save();
    Song_Snapshot snapshot(ti.song, &ti.mixer, nullptr);
    // The musician goes on while the worker is still busy: none of it reaches the autosave.
    type_note(5, 'w');
    ti.song.get_sample(0)->data.set_sample(10, 0.5f);
    ti.song.get_variables()->name = "changed later";
    ti.mixer.set_buffer_name(0, "renamed later");
    std::string file = dir.file("snapshot.wm");
    std::string why;
    ASSERT_EQ(snapshot.save(file, &why), 0) << why;
    EXPECT_EQ(Scratch_Dir::read(file), before);

    // And it loads back as the song it was.
    Tracker_Instance loaded;
    ASSERT_EQ(loaded.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    std::string again = dir.file("again.wm");
    ASSERT_EQ(loaded.file_format_manager.save_module(again.c_str()), 0);
    EXPECT_EQ(Scratch_Dir::read(again), before);
}

TEST_F(Autosave_Test, RecordKeepsWhereTheSongCameFrom) {
    const struct {
        const char* name;
        std::string path;
        std::string song;
    } cases[] = {
        {"plain", "/home/me/songs/tune.it", "Tune"},
        {"never saved", "", "New Song"},
        {"line breaks and backslashes", "/tmp/odd\nname\\with=signs.xm", "two\nlines \\ here"},
    };
    for (const auto& c : cases) {
        Autosave_Folder::Record written = record();
        written.original_path = c.path;
        written.song_name = c.song;
        std::string file = dir.file("record.txt");
        std::string why;
        ASSERT_TRUE(Autosave_Folder::write_record(file, written, &why)) << why;
        Autosave_Folder::Record read;
        ASSERT_TRUE(Autosave_Folder::read_record(file, &read)) << c.name;
        EXPECT_EQ(read.original_path, c.path) << c.name;
        EXPECT_EQ(read.song_name, c.song) << c.name;
        EXPECT_EQ(read.time, written.time) << c.name;
        EXPECT_EQ(read.original_stamp, written.original_stamp) << c.name;
    }
}

TEST_F(Autosave_Test, OfferedOnlyWhenNoRunningInstanceHoldsIt) {
    std::string path = dir.file("autosave");
    std::string song_file;
    auto crashed_run = [&] {
        // A run that autosaved and then ended without closing its song.
        Autosave_Folder run(path);
        std::string id = run.new_id();
        EXPECT_FALSE(id.empty());
        song_file = run.song_file(id);
        EXPECT_EQ(Song_Snapshot(ti.song, &ti.mixer, nullptr).save(song_file), 0);
        EXPECT_TRUE(Autosave_Folder::write_record(run.record_file(id), record(), nullptr));
        Autosave_Folder other(path);
        EXPECT_TRUE(other.find_left_behind().empty()) << "a running instance's autosave is not offered";
    };
    const struct {
        const char* answer;
        bool files_left;
        bool offered_next_time;
    } cases[] = {
        {"Restore", true, false},  // adopted: this run's own now
        {"Discard", false, false},
        {"Keep for later", true, true},
    };
    for (const auto& c : cases) {
        crashed_run();
        std::optional<Autosave_Folder> starting(std::in_place, path);
        std::vector<Autosave_Folder::Left_Behind> left = starting->find_left_behind();
        ASSERT_EQ(left.size(), 1u) << c.answer;
        EXPECT_EQ(left[0].song_file, song_file) << c.answer;
        EXPECT_EQ(left[0].record.original_path, record().original_path) << c.answer;
        EXPECT_EQ(left[0].record.song_name, "Rich Song") << c.answer;
        EXPECT_EQ(left[0].record.original_stamp, record().original_stamp) << c.answer;
        {
            Autosave_Folder meanwhile(path);
            EXPECT_TRUE(meanwhile.find_left_behind().empty()) << c.answer << ": offered by one instance at a time";
        }
        const std::string answer = c.answer;
        if (answer == "Restore") {
            std::string adopted = starting->adopt(left[0]);
            ASSERT_FALSE(adopted.empty());
            EXPECT_TRUE(fs::exists(starting->song_file(adopted)));
            EXPECT_TRUE(fs::exists(starting->record_file(adopted)));
            EXPECT_FALSE(fs::exists(song_file));
        } else if (answer == "Discard") {
            starting->discard(left[0]);
        }
        starting->release_left_behind();
        EXPECT_EQ(!files_in(path).empty(), c.files_left) << c.answer;
        {
            Autosave_Folder next(path);
            EXPECT_EQ(next.find_left_behind().size(), c.offered_next_time ? 1u : 0u) << c.answer;
        }
        // The run that took it in ends without closing the song: it is offered again then.
        starting.reset();
        if (answer == "Restore") {
            Autosave_Folder next(path);
            EXPECT_EQ(next.find_left_behind().size(), 1u) << "an adopted autosave outlives a crash too";
        }
        fs::remove_all(path);
    }
}

TEST_F(Autosave_Test, StrangeFilesInTheFolderAreNeitherOfferedNorWaitedOn) {
    std::string path = dir.file("autosave");
    fs::create_directories(path);
    std::string song = native_save();
    const struct {
        const char* name;
        std::function<void()> plant;
        size_t offered;
        const char* song_name;  // of the one offered
    } cases[] = {
        {"a pipe named like an autosave", [&] { ASSERT_EQ(mkfifo((path + "/9.1-1.wm").c_str(), 0600), 0); }, 0, ""},
        {"a link named like an autosave",
         [&] {
             Scratch_Dir::write(dir.file("elsewhere.wm"), song);
             fs::create_symlink(dir.file("elsewhere.wm"), path + "/9.1-1.wm");
         },
         0, ""},
        {"a song that belongs to no run", [&] { Scratch_Dir::write(path + "/song.wm", song); }, 0, ""},
        {"a song without its record",
         [&] { Scratch_Dir::write(path + "/9.1-1.wm", song); }, 1, ""},
        {"a record that is not one",
         [&] {
             Scratch_Dir::write(path + "/9.1-1.wm", song);
             Scratch_Dir::write(path + "/9.1-1.txt", "name=Impostor\n");
         },
         1, ""},
        {"a record too large to be one",
         [&] {
             Scratch_Dir::write(path + "/9.1-1.wm", song);
             Scratch_Dir::write(path + "/9.1-1.txt",
                                "WENDMOOR_AUTOSAVE 1\nname=Big\n" + std::string(Autosave_Folder::MAX_RECORD_BYTES, 'x'));
         },
         1, ""},
        {"a record with numbers that are not",
         [&] {
             Scratch_Dir::write(path + "/9.1-1.wm", song);
             Scratch_Dir::write(path + "/9.1-1.txt",
                                "WENDMOOR_AUTOSAVE 1\nname=Odd\ntime=soon\noriginal_size=-99\noriginal_modified_ns=x\n");
         },
         1, "Odd"},
    };
    for (const auto& c : cases) {
        c.plant();
        Autosave_Folder starting(path);
        std::vector<Autosave_Folder::Left_Behind> left = starting.find_left_behind();
        ASSERT_EQ(left.size(), c.offered) << c.name;
        if (c.offered) {
            EXPECT_EQ(left[0].record.song_name, c.song_name) << c.name;
            EXPECT_FALSE(left[0].record.original_stamp.is_known()) << c.name;
            EXPECT_GT(left[0].record.time, 0) << c.name;
        }
        starting.release_left_behind();
        fs::remove_all(path);
        fs::create_directories(path);
    }
}

TEST_F(Autosave_Test, UnwritableFolderIsReportedAndNothingElseChanges) {
    Scratch_Dir::write(dir.file("not_a_folder"), "x");
    Autosave_Folder folder(dir.file("not_a_folder/autosave"));
    Autosave_Worker worker;
    Song_Autosave autosave;
    autosave.set_place(&folder, &worker);
    type_note(0, 'q');
    EXPECT_FALSE(autosave.save_if_changed(ti, nullptr, record()));
    worker.wait_idle();
    EXPECT_NE(autosave.get_error().find("not_a_folder"), std::string::npos) << autosave.get_error();
    EXPECT_TRUE(ti.history.is_modified());
    EXPECT_EQ(Scratch_Dir::read(dir.file("not_a_folder")), "x");
}

// Autosaves taken and written while the audio thread plays the song through a bus with effects:
// under ThreadSanitizer (make tsan-test) a race of the snapshot or the worker with the audio
// thread shows; in every build each autosave is the song as it was when it was taken.
TEST(Autosave_Audio_Thread_Race, SnapshotsAndWritesWhilePlaying) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    Audio_Session session;
    Tracker_Instance ti;
    build_test_song(ti.song);
    {
        ti.mixer.add_buffer();
        ti.mixer.get_buffer_effect_chain(0)->add_effect(
            session.effect_source_manager().instantiate_effect_by_name("freeverb"));
        ti.mixer.set_channel_output_buffer_index(1, 0, 0);
    }
    driver_manager.request_buffer_size(512);
    session.wav_writer_driver.set_real_time(false);
    session.wav_writer_driver.set_disk_writer_file(dir.file("race.wav"));
    ASSERT_TRUE(session.start_driver(2));
    session.add_song(ti);
    ti.player.play_start_song();
    ASSERT_TRUE(session.start_audio_thread());

    Autosave_Folder folder(dir.file("autosave"));
    Autosave_Worker worker;
    Song_Autosave autosave;
    autosave.set_place(&folder, &worker);
    Mutex_Lock* variables = driver_manager.get_variables_lock();
    Pattern* pattern = ti.song.get_pattern(0);
    for (int i = 0; i < 12; i++) {
        {
            Song_History::Step step(&ti.history, "typed note");
            step.watch_pattern(0);
            Pattern::Edit_Scope edit;
            pattern->get_note_ref(i % 3, (i * 5) % 16).note = (unsigned char)(40 + i);
        }
        ASSERT_TRUE(autosave.save_if_changed(ti, variables, Autosave_Folder::Record()));
        std::string expected = dir.file("expected.wm");
        ASSERT_EQ(ti.file_format_manager.save_module(expected.c_str()), 0);
        // The next edit comes while the worker writes.
        if (i % 2 == 0) continue;
        worker.wait_idle();
        EXPECT_EQ(Scratch_Dir::read(folder.song_file(autosave.get_id())), Scratch_Dir::read(expected)) << i;
    }
    worker.wait_idle();
    session.stop_audio_thread();
    session.stop_driver();
    session.remove_song(ti);
}
