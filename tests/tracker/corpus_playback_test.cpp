#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "common/components/data/audio_thread_log.h"
#include "support/allocation_counter.h"
#include "support/corpus_render.h"
#include "support/shared_dir.h"
#include "tracker/audio_components.h"

#if defined(__SANITIZE_ADDRESS__)
#define WENDMOOR_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define WENDMOOR_TEST_SANITIZED 1
#endif
#endif

namespace {

#ifdef WENDMOOR_TEST_SANITIZED
// The instrumented build is many times slower: low rates keep every row and tick, fewer frames.
const int SONG_RATE = 11025;
const int FEATURE_RATE = 8000;
#else
const int SONG_RATE = 44100;
const int FEATURE_RATE = 22050;
#endif
const double FEATURE_CAP_SECONDS = 120;
const double SONG_CAP_SECONDS = 900;

std::string corpus_dir(const std::string& sub) { return shared_dir() + "/corpus/" + sub; }

std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

bool is_module(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return (char)std::tolower(c); });
    return ext == ".it" || ext == ".xm" || ext == ".s3m";
}

// Every module in a folder renders to its end or the cap; returns how many loaded.
int render_folder(const std::string& sub) {
    const std::string dir = corpus_dir(sub);
    if (!std::filesystem::is_directory(dir)) return -1;
    Audio_Components components;
    int loaded = 0;
    for (const std::string& path : files_in(dir)) {
        if (!is_module(path)) continue;
        SCOPED_TRACE(path);
        Tracker_Instance ti;
        Corpus_Render r = render_corpus_module(ti, path, FEATURE_RATE, FEATURE_CAP_SECONDS);
        if (r.error != Loader::SUCCESS) continue;
        loaded++;
        EXPECT_GT(r.seconds, 0.0);
        EXPECT_LE(r.seconds, FEATURE_CAP_SECONDS + 0.2);
    }
    Audio_Thread_Log::flush();
    return loaded;
}

TEST(Corpus_Playback, EveryFeatureModulePlaysToItsEnd) {
    int loaded = render_folder("features");
    if (loaded < 0) GTEST_SKIP() << "module corpus not found at " << corpus_dir("features");
    EXPECT_GT(loaded, 100);
}

TEST(Corpus_Playback, MalformedModulesThatLoadPlaySafely) {
    int loaded = render_folder("malformed");
    if (loaded < 0) GTEST_SKIP() << "module corpus not found at " << corpus_dir("malformed");
    EXPECT_GT(loaded, 10);
}

struct Song_Case {
    const char* file;
    // Frames at 44100 Hz a widely used reference player renders for the song played once.
    long reference_frames;
};

const Song_Case SONGS[] = {
    {"4th_Symmetriad.it", 11461632},
    {"Fight2.it", 1923650},
    {"JUHO - Ihana paiva.xm", 15401525},
    {"MRHPx-HBTN LUCiFER.xm", 10172226},
    {"ZALZA - Tekilla groove.xm", 2966656},
    {"another life.it", 7789824},
    {"data_jack.s3m", 12563712},
    {"dontyou.xm", 4983552},
    {"grass near the house.xm", 8213184},
    {"inside_out.s3m", 10668672},
    {"mm2flash.s3m", 2350080},
    {"rhino sting.xm", 4889502},
    {"roadblas.xm", 4402944},
    {"xyce-dans_la_rue.xm", 7163904},
};

class Corpus_Song : public testing::TestWithParam<Song_Case> {};

TEST_P(Corpus_Song, SoundsAndEnds) {
    const std::string path = corpus_dir("songs/") + GetParam().file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "module corpus not found at " << path;
    Audio_Components components;
    Tracker_Instance ti;
    Corpus_Render r = render_corpus_module(ti, path, SONG_RATE, SONG_CAP_SECONDS);
    Audio_Thread_Log::flush();
    ASSERT_EQ(r.error, Loader::SUCCESS) << Loader::error_string[r.error];
    EXPECT_TRUE(r.ended) << "still playing after " << r.seconds << " s";
    const double reference_seconds = GetParam().reference_frames / 44100.0;
    EXPECT_NEAR(r.seconds / reference_seconds, 1.0, 0.02) << r.seconds << " s against " << reference_seconds;
    EXPECT_GT(r.seconds, 20.0);
    EXPECT_GT(r.peak, 2000);
    EXPECT_GT(r.loud_seconds, r.seconds / 2) << "mostly silent";
    EXPECT_GT(r.most_voices, 1);
}

std::string song_test_name(const testing::TestParamInfo<Song_Case>& info) {
    std::string name;
    for (const char* c = info.param.file; *c && *c != '.'; c++) name += std::isalnum((unsigned char)*c) ? *c : '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Songs, Corpus_Song, testing::ValuesIn(SONGS), song_test_name);

// A real song, played as the audio thread plays it: the mixer emits its process callback and
// the player's tick runs from it. After a warm-up nothing may reach the heap.
void expect_song_plays_without_allocating(const std::string& file) {
    const std::string path = corpus_dir("songs/") + file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "module corpus not found at " << path;
    Audio_Components components;
    Tracker_Instance ti;
    ASSERT_EQ(ti.file_format_manager.load_module(path.c_str()), Loader::SUCCESS);
    ti.mixer.set_mix_frequency(44100.0f);
    ti.player.play_start_song();
    auto render = [&](double seconds) {
        for (long frames = 0; frames < (long)(seconds * 44100);) frames += ti.mixer.write_samples(512);
    };
    render(5);
    allocation_counter::Scope scope;
    render(40);
    EXPECT_EQ(scope.allocations(), 0);
    EXPECT_GT(ti.player.get_current_order(), 0);
    EXPECT_GT(ti.mixer.get_active_voices_count(), 0);
    ti.player.play_stop();
}

TEST(Corpus_Playback, PlayingAnItSongDoesNotAllocate) { expect_song_plays_without_allocating("another life.it"); }
TEST(Corpus_Playback, PlayingAnXmSongDoesNotAllocate) { expect_song_plays_without_allocating("roadblas.xm"); }
TEST(Corpus_Playback, PlayingAnS3mSongDoesNotAllocate) { expect_song_plays_without_allocating("data_jack.s3m"); }

}  // namespace
