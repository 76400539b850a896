// The "Buffers" page while the audio thread plays the song through the disk writer: routing
// and chain edits are heard at once and never race the audio thread (`make tsan-test` runs
// this under ThreadSanitizer), and the level meters follow what the buses carry.
#include <QComboBox>
#include <QListWidget>
#include <QPointF>
#include <QSpinBox>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/interface__QT/audio/level_meter_delegate.h"
#include "interface__QT/buffers_page_test_support.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

// The left channel of a 16-bit stereo WAV as the disk writer wrote it (44-byte header).
std::vector<int> left_channel_of(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int> left;
    for (size_t i = 44; i + 4 <= bytes.size(); i += 4) left.push_back((std::int16_t)(bytes[i] | bytes[i + 1] << 8));
    return left;
}

// The longest run of exact zeros in `frames`, as {first frame, length}.
std::pair<size_t, size_t> longest_silence(const std::vector<int>& frames) {
    std::pair<size_t, size_t> best{0, 0};
    for (size_t i = 0; i < frames.size();) {
        size_t j = i;
        while (j < frames.size() && frames[j] == 0) j++;
        if (j - i > best.second) best = {i, j - i};
        i = j + 1;
    }
    return best;
}

int loudest(const std::vector<int>& frames, size_t from, size_t to) {
    int peak = 0;
    for (size_t i = from; i < std::min(to, frames.size()); i++) peak = std::max(peak, std::abs(frames[i]));
    return peak;
}

}  // namespace

class GuiAudioThreadBuffers : public Buffers_Page_Test {};

TEST_F(GuiAudioThreadBuffers, EditsWhileASongPlaysAreHeardAtOnceAndMetersFollow) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string recording = dir.file("live.wav");
    session->wav_writer_driver.set_disk_writer_file(recording);
    driver_manager.request_buffer_size(256);
    ASSERT_TRUE(session->start_driver(2));
    open_page();
    Song& song = interface->get_tracker()->song;
    build_test_song(song);
    for (int order = 0; order < 20; order++) song.set_order(order, 0);  // twenty seconds of music
    ASSERT_TRUE(session->start_audio_thread());
    interface->play_song();

    // Every voice of the song plays on mixer channel 0: its meter moves, channel 9's does not.
    double channel_0_level = 0;
    for (int wait = 0; wait < 50 && channel_0_level == 0; wait++) {
        QTest::qWait(10);
        channel_0_level = page->get_channel_list()->item(0)->data(Level_Meter_Delegate::LEVELS_ROLE).toPointF().x();
    }
    EXPECT_GT(channel_0_level, 0.3);
    EXPECT_EQ(page->get_channel_list()->item(9)->data(Level_Meter_Delegate::LEVELS_ROLE).toPointF().x(), 0.0);

    // Routing and chains change under the playing song: a bus with an echo fed from channel
    // 0, its send level swept, effects added, moved and removed, then the bus erased again.
    click("New Buffer");
    select(page->get_channel_list(), 0);
    send_to(buffer_name_of(0));
    QSpinBox* send = buddy_of<QSpinBox>(page, "Initial Send:");
    for (int level = 127; level >= 0; level -= 9) {
        send->setValue(level);
        QTest::qWait(3);
    }
    select(page->get_buffer_list(), 0);
    add_effect("echo");
    add_effect("chorus");
    QTest::qWait(30);
    click("Move Up");
    buddy_of<QSpinBox>(page->get_chain_editor()->get_property_editor(), "Voices")->setValue(4);
    QTest::qWait(30);
    click("Remove Effect");
    const int meter_rows_with_bus = page->get_buffer_list()->count();
    QTest::qWait(60);
    double bus_level = page->get_buffer_list()->item(0)->data(Level_Meter_Delegate::LEVELS_ROLE).toPointF().x();
    click("Erase Buffer");
    EXPECT_EQ(meter_rows_with_bus, 1);
    EXPECT_GT(bus_level, 0.0) << "the bus's meter never moved";
    EXPECT_EQ(mixer->get_buffer_count(), 0);
    ASSERT_EQ(mixer->get_channel_output_count(0), 1);

    // Channel 0 through an amplifier at 0 % is silence from the next block on; removing the
    // amplifier brings the song back.
    select(page->get_channel_list(), 0);
    add_effect("amplifier");
    buddy_of<QSpinBox>(page->get_chain_editor()->get_property_editor(), "Amp%")->setValue(0);
    QTest::qWait(400);
    click("Remove Effect");
    QTest::qWait(300);
    interface->stop_song();
    session->stop_audio_thread();
    session->stop_driver();

    std::vector<int> left = left_channel_of(recording);
    ASSERT_GT(left.size(), 44100u / 2);
    auto [silence_start, silence_length] = longest_silence(left);
    EXPECT_GT(silence_length, 44100u * 3 / 10) << "no silence while the amplifier was at 0 %";
    EXPECT_LT(silence_length, 44100u * 6 / 10);
    EXPECT_GT(loudest(left, 0, silence_start), 1000) << "the song was not heard before the edit";
    EXPECT_GT(loudest(left, silence_start + silence_length, left.size()), 1000) << "nor after it";
}
