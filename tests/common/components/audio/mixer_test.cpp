#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/components/data/audio_thread_log.h"
#include "common/components/audio/effect.h"
#include "common/components/audio/mixer.h"
#include "common/components/audio/voice.h"

namespace {

// Adds a constant to every int it mixes; counts what it was asked to render.
class Constant_Voice : public Voice {
public:
    Constant_Voice(int channel_, int value_, int priority_ = 5) : channel(channel_), value(value_), priority(priority_) {}
    int get_priority() override { return priority; }
    int get_channel() override { return channel; }
    void set_mix_frequency(float hz) override { mix_frequency = hz; }
    void set_preamp(float p) override { preamp = p; }
    void mix(int frames, int* buffer) override {
        for (int i = 0; i < frames * 2; i++) buffer[i] += value;
        mixed_frames += frames;
    }
    bool can_mix() override { return mixable; }

    int channel;
    int value;
    int priority;
    bool mixable = true;
    float mix_frequency = 0;
    float preamp = 0;
    int mixed_frames = 0;
};

// Counts its calls and adds one to each int it processes, so its presence is audible.
class Counting_Effect : public Effect {
public:
    explicit Counting_Effect(int* deleted_ = nullptr, int tag_ = 0) : deleted(deleted_), tag(tag_) {}
    ~Counting_Effect() override {
        if (deleted) (*deleted)++;
    }
    void reset() override {}
    void process_buffer(int* buffer, int frames, bool, int) override {
        calls++;
        for (int i = 0; i < frames * 2; i++) buffer[i] += 1;
        if (order) order->push_back(tag);
    }
    std::string get_display_name() override { return "Counting"; }
    std::string get_name() override { return "counting"; }
    Property_Bridge_List get_properties() override { return {}; }

    int* deleted;
    int tag;
    int calls = 0;
    std::vector<int>* order = nullptr;
};

int left(Mixer& m, int frame) { return m.get_mixdown_buffer_ptr()[frame * 2]; }

std::string captured(void (*body)(Mixer&), Mixer& m) {
    testing::internal::CaptureStdout();
    body(m);
    return testing::internal::GetCapturedStdout();
}

} // namespace

// The clock voice counts rendered frames, so a tick handler sees exactly where it fires:
// each tick runs before its first frame, however the caller cuts its requests.
TEST(Mixer, CallbackFiresExactlyAtTickBoundaries) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice clock(0, 0);
    m.allocate_voice(&clock);
    m.set_process_callback_interval(882);
    std::vector<int> ticks;
    m.process_callback.connect([&] { ticks.push_back(clock.mixed_frames); });

    EXPECT_EQ(m.write_samples(4096), 882);
    ASSERT_EQ(ticks, (std::vector<int>{0}));

    // A driver loop asking for odd block sizes.
    int total = 882;
    for (int block : {700, 700, 4096, 1, 300, 10000}) {
        int remaining = block;
        while (remaining > 0) {
            int n = m.write_samples(remaining);
            ASSERT_GT(n, 0);
            ASSERT_LE(n, 882);
            remaining -= n;
            total += n;
        }
    }
    ASSERT_EQ((int)ticks.size(), (total + 881) / 882);
    for (size_t i = 0; i < ticks.size(); i++) EXPECT_EQ(ticks[i], (int)i * 882);
    // The voices are a whole tick ahead of what was handed out, never more.
    EXPECT_EQ(clock.mixed_frames, (int)ticks.size() * 882);
}

TEST(Mixer, NewTickLengthRestartsTheCount) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice clock(0, 0);
    m.allocate_voice(&clock);
    std::vector<int> ticks;
    // A player alternating tick lengths from inside its tick handler: the length it sets is
    // that of the tick it has just run.
    m.process_callback.connect([&] {
        ticks.push_back(clock.mixed_frames);
        m.set_process_callback_interval(ticks.size() % 2 ? 1000 : 882);
    });
    m.write_samples(100);
    m.set_process_callback_interval(882);  // the first tick runs at once, from here
    for (int i = 0; i < 40; i++) m.write_samples(512);
    ASSERT_GE(ticks.size(), 8u);
    int expect = 100;
    for (size_t i = 0; i < ticks.size(); i++) {
        EXPECT_EQ(ticks[i], expect) << i;
        expect += (i % 2 == 0) ? 1000 : 882;
    }
}

// A tick longer than a block (very slow tempo, high rate) is cut into equal pieces fixed
// by its length, so each piece ramps the same way whatever the caller asks for.
TEST(Mixer, LongTicksAreRenderedInPiecesOfFixedSize) {
    for (int ask : {256, 4096, 15000}) {
        Mixer m;
        m.set_mix_frequency(192000);
        Constant_Voice clock(0, 0);
        m.allocate_voice(&clock);
        std::vector<int> spans;
        int before = 0;
        m.set_process_callback_interval(37500);  // tempo 32 at 480 kHz
        m.process_callback.connect([&] { spans.push_back(-1); });
        int total = 0;
        while (total < 2 * 37500) {
            total += m.write_samples(ask);
            if (clock.mixed_frames != before) spans.push_back(clock.mixed_frames - before);
            before = clock.mixed_frames;
        }
        EXPECT_EQ(spans, (std::vector<int>{-1, 12500, 12500, 12500, -1, 12500, 12500, 12500})) << ask;
    }
}

TEST(Mixer, BlocksAreCappedAndRenderWithoutCallbackWhenIntervalIsZero) {
    Mixer m;
    m.set_mix_frequency(44100);
    int fired = 0;
    m.process_callback.connect([&] { fired++; });
    EXPECT_EQ(m.write_samples(20000), 15000);
    EXPECT_EQ(fired, 0);
    m.set_process_callback_interval(100);
    EXPECT_EQ(m.write_samples(20000), 100);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(m.write_samples(0), 0);
}

TEST(Mixer, VoicesMixIntoTheirChannelsOnly) {
    Mixer m;
    m.set_mix_frequency(44100);
    m.set_preamp(0.5f);
    Constant_Voice on15(15, 1000), on16(16, 5000), on0(0, 7);
    m.allocate_voice(&on15);
    m.allocate_voice(&on16);
    m.allocate_voice(&on0);
    EXPECT_EQ(on15.mix_frequency, 44100.0f);
    EXPECT_EQ(m.write_samples(64), 64);
    EXPECT_EQ(left(m, 0), 1007);
    EXPECT_EQ(left(m, 63), 1007);
    EXPECT_EQ(on16.mixed_frames, 0);
    EXPECT_EQ(on15.preamp, 0.5f);
    EXPECT_EQ(m.get_active_voices_count(), 2);
    EXPECT_TRUE(m.is_channel_in_use(15));
    EXPECT_TRUE(m.is_channel_in_use(0));
    EXPECT_FALSE(m.is_channel_in_use(1));
    EXPECT_EQ(m.get_channel_buffer_ptr(15)[0], 1000);
    EXPECT_EQ(m.get_channel_buffer_ptr(16), nullptr);
}

TEST(Mixer, VoicesThatCannotMixAdvanceSilently) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice v(2, 1000);
    v.mixable = false;
    m.allocate_voice(&v);
    m.write_samples(100);
    EXPECT_EQ(v.mixed_frames, 100);
    EXPECT_EQ(left(m, 0), 0);
    EXPECT_EQ(m.get_active_voices_count(), 0);
    EXPECT_FALSE(m.is_channel_in_use(2));
}

TEST(Mixer, FullPoolStealsTheLowestPriorityVoiceWithATail) {
    Mixer m;
    m.set_mix_frequency(44100);
    std::vector<Constant_Voice> pool;
    pool.reserve(128);
    for (int i = 0; i < 128; i++) pool.emplace_back(0, 0, 6);
    pool[40] = Constant_Voice(3, 1000 * 65536, 2);
    pool[90].priority = 2;  // same priority, later slot: not chosen
    for (Constant_Voice& v : pool) m.allocate_voice(&v);
    EXPECT_EQ(m.get_voice_index(&pool[127]), 127);

    Constant_Voice newcomer(1, 0, 5);
    m.allocate_voice(&newcomer);
    EXPECT_EQ(m.get_voice_index(&newcomer), 40);
    EXPECT_TRUE(pool[40].was_removed_from_mixer());
    const int tail = Mixer::DECLICK_FRAMES;
    EXPECT_EQ(pool[40].mixed_frames, tail);  // rendered into the tail
    EXPECT_EQ(m.get_voice_index(&pool[40]), -1);

    // The tail sounds on channel 3 over the next DECLICK_FRAMES frames, fading from almost unity.
    m.write_samples(tail + 100);
    EXPECT_EQ(left(m, 0), 1000 * ((2 * tail - 1) * 65535 / (2 * tail)));
    EXPECT_LT(left(m, tail / 2), left(m, 0));
    EXPECT_TRUE(m.is_channel_in_use(3));
    EXPECT_GT(left(m, tail - 1), 0);
    EXPECT_EQ(left(m, tail - 1), 1000 * (1 * 65535 / (2 * tail)));
    EXPECT_EQ(left(m, tail), 0);
}

TEST(Mixer, WithNoVoiceBelowSevenSlotZeroIsStolen) {
    Mixer m;
    m.set_mix_frequency(44100);
    std::vector<Constant_Voice> pool(128, Constant_Voice(0, 0, 7));
    for (Constant_Voice& v : pool) m.allocate_voice(&v);
    Constant_Voice newcomer(0, 0);
    m.allocate_voice(&newcomer);
    EXPECT_EQ(m.get_voice_index(&newcomer), 0);
    EXPECT_TRUE(pool[0].was_removed_from_mixer());
    EXPECT_FALSE(pool[1].was_removed_from_mixer());
}

TEST(Mixer, PriorityZeroVoicesLeaveAfterTheBlock) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice v(0, 10, 0);
    m.allocate_voice(&v);
    m.write_samples(32);
    EXPECT_EQ(left(m, 0), 10);
    EXPECT_EQ(m.get_voice_index(&v), -1);
    EXPECT_TRUE(v.was_removed_from_mixer());
}

TEST(Mixer, ReplaceEliminateAndKill) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice a(0, 0), b(0, 0), stranger(0, 0);
    m.allocate_voice(&a);
    m.replace_voice(&a, &b);
    EXPECT_EQ(m.get_voice_index(&b), 0);
    EXPECT_TRUE(a.was_removed_from_mixer());
    Audio_Thread_Log::flush();
    Audio_Thread_Log::forget_repeats();
    testing::internal::CaptureStdout();
    m.replace_voice(&stranger, &a);
    m.eliminate_voice(&stranger);
    EXPECT_GT(Audio_Thread_Log::flush(), 0);  // held back on the audio thread until now
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Error: common/components/audio/mixer.cpp:"), std::string::npos);
    EXPECT_NE(out.find(": Tryin to replace unexisting voice!\n"), std::string::npos);
    EXPECT_NE(out.find(": Tryin to eliminate unexisting voice!\n"), std::string::npos);
    m.on_voice_kill(0);
    EXPECT_EQ(m.get_voice_index(&b), -1);
    EXPECT_FALSE(b.was_removed_from_mixer());
}

TEST(Mixer, SendLevelsScaleTheSignal) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice v(0, 1000 * 65536 + 1234);
    m.allocate_voice(&v);
    m.write_samples(16);
    EXPECT_EQ(left(m, 5), 1000 * 65536 + 1234);  // level 127: exact copy
    m.set_channel_output_send_level(0, 0, 64);
    m.write_samples(16);
    EXPECT_EQ(left(m, 5), 1000 * 33025);
    m.set_channel_output_send_level(0, 0, 0);
    m.write_samples(16);
    EXPECT_EQ(left(m, 5), 0);
    // Two outputs both reach the mixdown.
    m.set_channel_output_send_level(0, 0, 127);
    m.add_channel_output(0);
    m.write_samples(16);
    EXPECT_EQ(left(m, 5), 2 * (1000 * 65536 + 1234));
}

TEST(Mixer, OverloadedMixSaturatesInsteadOfWrapping) {
    Mixer m;
    m.set_mix_frequency(44100);
    Constant_Voice a(0, 30000 * 65536), b(1, 30000 * 65536), c(2, -30000 * 65536), d(3, -30000 * 65536);
    m.allocate_voice(&a);
    m.allocate_voice(&b);
    m.write_samples(8);
    EXPECT_EQ(mixer_sample_to_16bit(left(m, 0)), 32767);
    m.eliminate_voice(&a);
    m.eliminate_voice(&b);
    m.write_samples(2000);
    m.allocate_voice(&c);
    m.allocate_voice(&d);
    m.write_samples(8);
    EXPECT_EQ(mixer_sample_to_16bit(left(m, 0)), -32768);
    std::int16_t out[4];
    int in[4] = {INT32_MAX, INT32_MIN, 1000 * 65536 + 65535, -1};
    mixer_buffer_to_16bit(in, out, 4);
    EXPECT_EQ(out[0], 32767);
    EXPECT_EQ(out[1], -32768);
    EXPECT_EQ(out[2], 1000);
    EXPECT_EQ(out[3], -1);
}

TEST(Mixer, BuffersChainDownToTheMixdown) {
    Mixer m;
    m.set_mix_frequency(44100);
    m.add_buffer();
    m.add_buffer();
    m.add_buffer();
    Constant_Voice v(4, 100 * 65536);
    m.allocate_voice(&v);
    m.set_channel_output_buffer_index(4, 0, 2);
    m.set_buffer_output_buffer_index(2, 0, 1);
    m.set_buffer_output_send_level(1, 0, 64);
    auto* fx = new Counting_Effect();
    m.get_buffer_effect_chain(2)->add_effect(fx);
    m.write_samples(10);
    EXPECT_EQ(fx->calls, 1);
    // Channel -> buffer 2 (+1 from its effect) -> buffer 1 -> mixdown at level 64.
    EXPECT_EQ(left(m, 0), ((100 * 65536 + 1) >> 16) * 33025);
    EXPECT_TRUE(m.is_buffer_in_use(1));
    EXPECT_TRUE(m.is_buffer_in_use(2));
    EXPECT_EQ(m.get_active_buffers_count(), 3);  // channel 4 and buffers 1 and 2; buffer 0 idles
    EXPECT_FALSE(m.is_buffer_in_use(0));
}

TEST(Mixer, RemovingABufferRenumbersOutputs) {
    Mixer m;
    m.add_buffer();
    m.add_buffer();
    m.add_buffer();
    m.add_channel_output(0);
    m.add_channel_output(0);
    m.add_channel_output(0);
    m.set_channel_output_buffer_index(0, 0, 1);
    m.set_channel_output_buffer_index(0, 1, 2);
    m.set_channel_output_buffer_index(0, 2, 0);
    // channel 0 output 3 stays at -1
    m.add_buffer_output(2);
    m.set_buffer_output_buffer_index(2, 0, 1);
    m.set_buffer_output_buffer_index(2, 1, 0);
    int deleted = 0;
    m.get_buffer_effect_chain(1)->add_effect(new Counting_Effect(&deleted));
    std::string name2 = m.get_buffer_name(2);

    m.remove_buffer(1);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(m.get_buffer_count(), 2);
    EXPECT_EQ(m.get_buffer_name(1), name2);
    ASSERT_EQ(m.get_channel_output_count(0), 3);
    EXPECT_EQ(m.get_channel_output_buffer_index(0, 0), 1);
    EXPECT_EQ(m.get_channel_output_buffer_index(0, 1), 0);
    EXPECT_EQ(m.get_channel_output_buffer_index(0, 2), -1);
    ASSERT_EQ(m.get_buffer_output_count(1), 1);
    EXPECT_EQ(m.get_buffer_output_buffer_index(1, 0), 0);

    testing::internal::CaptureStdout();
    m.remove_buffer(5);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("common/components/audio/mixer__buffers.cpp:"), std::string::npos);
    EXPECT_NE(out.find(": Attempting to remove unexisting buffer!!\n"), std::string::npos);
    EXPECT_EQ(m.get_buffer_count(), 2);
}

TEST(Mixer, BuffersAreNamedFromAProcessWideCounter) {
    Mixer a, b;
    a.add_buffer();
    b.add_buffer();
    a.add_buffer();
    std::string n0 = a.get_buffer_name(0);
    ASSERT_EQ(n0.rfind("Buffer ", 0), 0u);
    int first = std::stoi(n0.substr(7));
    EXPECT_EQ(b.get_buffer_name(0), "Buffer " + std::to_string(first + 1));
    EXPECT_EQ(a.get_buffer_name(1), "Buffer " + std::to_string(first + 2));
    a.set_buffer_name(0, "Reverb bus");
    a.set_buffer_name(9, "ignored");
    EXPECT_EQ(a.get_buffer_name(0), "Reverb bus");
    EXPECT_EQ(a.get_buffer_output_count(0), 1);
    EXPECT_EQ(a.get_buffer_output_send_level(0, 0), 127);
    EXPECT_EQ(a.get_buffer_output_send_control(0, 0), -1);
    EXPECT_EQ(a.get_buffer_output_buffer_index(0, 0), -1);
}

TEST(Mixer, CyclicRoutesAreRefused) {
    Mixer m;
    for (int i = 0; i < 4; i++) m.add_buffer();
    const std::string cyclic =
        ": A buffer cant mix to a higher order one, otherwise cyclic relationships may happen!\n";
    testing::internal::CaptureStdout();
    m.set_buffer_output_buffer_index(2, 0, 2);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(cyclic), std::string::npos);
    testing::internal::CaptureStdout();
    m.set_buffer_output_buffer_index(2, 0, 3);
    out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find(cyclic), std::string::npos);
    EXPECT_EQ(m.get_buffer_output_buffer_index(2, 0), -1);
    for (int target : {1, 0, -1}) {
        testing::internal::CaptureStdout();
        m.set_buffer_output_buffer_index(2, 0, target);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(m.get_buffer_output_buffer_index(2, 0), target);
    }
}

TEST(Mixer, ValidationMessagesChangeNothing) {
    Mixer m;
    m.add_buffer();
    struct Case {
        void (*call)(Mixer&);
        const char* message;
    };
    const Case cases[] = {
        {[](Mixer& x) { x.add_channel_output(16); }, ": Invalid channel index\n"},
        {[](Mixer& x) { x.get_channel_effect_chain(-1); }, ": Invalid channel index\n"},
        {[](Mixer& x) { x.get_buffer_effect_chain(1); }, ": Invalid buffer index\n"},
        {[](Mixer& x) { x.set_channel_output_send_level(0, 1, 10); }, ": Invalid channel output index\n"},
        {[](Mixer& x) { x.set_buffer_output_send_level(0, 3, 10); }, ": Invalid buffer output index\n"},
        {[](Mixer& x) { x.set_channel_output_buffer_index(0, 0, 1); }, ": Wrong buffer index!\n"},
        {[](Mixer& x) { x.set_channel_output_buffer_index(0, 0, -2); }, ": Wrong buffer index!\n"},
        {[](Mixer& x) { x.set_channel_output_send_level(0, 0, 128); }, ": Wrong send level!!\n"},
        {[](Mixer& x) { x.set_buffer_output_send_level(0, 0, -1); }, ": Wrong send level!!\n"},
        {[](Mixer& x) { x.set_channel_output_send_control(0, 0, -2); }, ": Wrong send control!!\n"},
        {[](Mixer& x) { x.set_buffer_output_send_control(0, 0, 128); }, ": Wrong send control!!\n"},
        {[](Mixer& x) { x.remove_channel_output(3, 1); }, ": Invalid channel output index\n"},
    };
    for (const Case& c : cases) {
        std::string out = captured(c.call, m);
        EXPECT_EQ(out.rfind("Error: common/components/audio/mixer__buffers.cpp:", 0), 0u) << c.message;
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
    EXPECT_EQ(m.get_channel_output_count(0), 1);
    EXPECT_EQ(m.get_channel_output_buffer_index(0, 0), -1);
    EXPECT_EQ(m.get_channel_output_send_level(0, 0), 127);
    EXPECT_EQ(m.get_channel_output_send_control(0, 0), -1);
    EXPECT_EQ(m.get_buffer_output_send_level(0, 0), 127);
    EXPECT_EQ(m.get_buffer_output_send_control(0, 0), -1);

    testing::internal::CaptureStdout();
    EXPECT_EQ(m.get_channel_output_count(99), -1);
    EXPECT_EQ(m.get_buffer_output_send_level(0, 7), -1);
    EXPECT_EQ(m.get_buffer_name(3), "");
    testing::internal::GetCapturedStdout();

    m.set_channel_output_send_control(0, 0, 74);
    m.set_channel_output_send_level(0, 0, 0);
    EXPECT_EQ(m.get_channel_output_send_control(0, 0), 74);
    EXPECT_EQ(m.get_channel_output_send_level(0, 0), 0);
    m.remove_channel_output(0, 0);
    EXPECT_EQ(m.get_channel_output_count(0), 0);
}

// A voice asking for the short declick fades out over SHORT_DECLICK_FRAMES, the others over
// DECLICK_FRAMES, both from almost unity down to nothing.
TEST(Mixer, EliminatedVoicesFadeOverTheirDeclick) {
    for (bool short_tail : {false, true}) {
        SCOPED_TRACE(short_tail);
        Mixer m;
        m.set_mix_frequency(44100);
        Constant_Voice v(2, 1000 * 65536);
        v.set_short_declick(short_tail);
        m.allocate_voice(&v);
        m.eliminate_voice(&v);
        const int tail = short_tail ? Mixer::SHORT_DECLICK_FRAMES : Mixer::DECLICK_FRAMES;
        EXPECT_EQ(v.mixed_frames, tail);
        m.write_samples(Mixer::DECLICK_FRAMES + 10);
        EXPECT_EQ(left(m, 0), 1000 * ((2 * tail - 1) * 65535 / (2 * tail)));
        EXPECT_GT(left(m, tail - 1), 0);
        EXPECT_EQ(left(m, tail), 0);
    }
}

TEST(Mixer, IdleBusesStopProcessingAfterThreeSeconds) {
    Mixer m;
    m.set_mix_frequency(1000);  // 100-frame blocks are 100 ms
    auto* fx = new Counting_Effect();
    m.get_channel_effect_chain(6)->add_effect(fx);
    Constant_Voice v(6, 1000);
    m.allocate_voice(&v);
    m.write_samples(100);
    EXPECT_EQ(fx->calls, 1);
    m.eliminate_voice(&v);
    int blocks_with_effect = 0;
    for (int b = 0; b < 50; b++) {
        int before = fx->calls;
        m.write_samples(100);
        if (fx->calls > before) {
            blocks_with_effect++;
            EXPECT_EQ(left(m, 50), 1);  // the effect's output still reaches the mixdown
        } else {
            EXPECT_EQ(left(m, 50), 0);
            EXPECT_FALSE(m.is_channel_in_use(6));
        }
    }
    // Runs for three seconds after the last input (which includes the voice's tail).
    const int tail_blocks = (Mixer::DECLICK_FRAMES + 99) / 100;
    EXPECT_GE(blocks_with_effect, 30 + tail_blocks - 1);
    EXPECT_LE(blocks_with_effect, 30 + tail_blocks + 1);
    // New input wakes it again.
    m.allocate_voice(&v);
    int before = fx->calls;
    m.write_samples(100);
    EXPECT_EQ(fx->calls, before + 1);
}

TEST(Mixer, UntouchedBusesNeverRun) {
    Mixer m;
    m.set_mix_frequency(44100);
    m.add_buffer();
    auto* on_channel = new Counting_Effect();
    auto* on_buffer = new Counting_Effect();
    m.get_channel_effect_chain(9)->add_effect(on_channel);
    m.get_buffer_effect_chain(0)->add_effect(on_buffer);
    for (int b = 0; b < 5; b++) m.write_samples(4410);
    EXPECT_EQ(on_channel->calls, 0);
    EXPECT_EQ(on_buffer->calls, 0);
    EXPECT_EQ(m.get_active_buffers_count(), 0);
    EXPECT_EQ(left(m, 0), 0);
}

namespace {

// Silences the right side, so a meter that mixed up the sides or ran before the effects shows.
class Mute_Right_Effect : public Counting_Effect {
public:
    void process_buffer(int* buffer, int frames, bool, int) override {
        for (int i = 0; i < frames; i++) buffer[2 * i + 1] = 0;
    }
};

}  // namespace

// Meters show each bus after its effects, per side, the loudest sample since the last take;
// switched off they measure nothing, and switching them on forgets what was measured before.
TEST(Mixer, LevelMetersTakeEachBusPeakAfterItsEffects) {
    Mixer m;
    m.set_mix_frequency(44100);
    m.add_buffer();
    m.add_buffer();
    m.set_channel_output_buffer_index(3, 0, 1);
    m.set_buffer_output_buffer_index(1, 0, 0);
    m.get_buffer_effect_chain(1)->add_effect(new Mute_Right_Effect());
    m.set_buffer_output_send_level(1, 0, 64);
    Constant_Voice quiet(3, -2000 * 65536), loud(3, -6000 * 65536, 5);

    m.allocate_voice(&quiet);
    m.write_samples(64);
    EXPECT_EQ(m.take_channel_peak(3).left, 0) << "measured while switched off";

    m.set_level_meters(true);
    m.write_samples(64);
    m.allocate_voice(&loud);  // a louder block, then a quiet one: the peak stays
    m.write_samples(64);
    m.eliminate_voice(&loud);
    m.write_samples(64);
    Peak_Meter::Levels channel = m.take_channel_peak(3);
    EXPECT_NEAR(channel.left, 8000 * 65536, 1);
    EXPECT_NEAR(channel.right, 8000 * 65536, 1);
    Peak_Meter::Levels muted = m.take_buffer_peak(1);
    EXPECT_NEAR(muted.left, 8000 * 65536, 1);
    EXPECT_EQ(muted.right, 0);
    Peak_Meter::Levels sent = m.take_buffer_peak(0);  // level 64 from buffer 1
    EXPECT_NEAR(sent.left, 8000 * 33025, 1);
    EXPECT_EQ(sent.right, 0);

    EXPECT_EQ(m.take_channel_peak(3).left, 0) << "a take starts again from silence";
    EXPECT_EQ(m.take_channel_peak(4).left, 0) << "a bus without signal";
    for (int bad : {-1, 16}) EXPECT_EQ(m.take_channel_peak(bad).left, 0);
    EXPECT_EQ(m.take_buffer_peak(2).left, 0);

    m.write_samples(64);
    m.set_level_meters(false);
    m.set_level_meters(true);
    EXPECT_EQ(m.take_channel_peak(3).left, 0) << "switching on forgets the stale peak";
}

TEST(EffectChain, OwnsOrdersAndRunsItsEffects) {
    int deleted = 0;
    std::vector<int> order;
    {
        Effect_Chain chain;
        for (int tag = 0; tag < 3; tag++) {
            auto* e = new Counting_Effect(&deleted, tag);
            e->order = &order;
            chain.add_effect(e);
        }
        EXPECT_EQ(chain.get_effect_count(), 3);
        EXPECT_EQ(chain.get_effect(3), nullptr);
        EXPECT_EQ(chain.get_effect(-1), nullptr);
        EXPECT_FALSE(chain.move_effect_up(0));
        EXPECT_FALSE(chain.move_effect_down(2));
        EXPECT_FALSE(chain.move_effect_up(3));
        EXPECT_TRUE(chain.move_effect_up(2));    // 0 2 1
        EXPECT_TRUE(chain.move_effect_down(0));  // 2 0 1
        int block[8] = {};
        chain.process_buffer(block, 4, true, 44100);
        EXPECT_EQ(order, (std::vector<int>{2, 0, 1}));
        EXPECT_EQ(block[7], 3);
        EXPECT_FALSE(chain.remove_effect(3));
        EXPECT_TRUE(chain.remove_effect(0));
        EXPECT_EQ(deleted, 1);
        EXPECT_EQ(chain.get_effect_count(), 2);
    }
    EXPECT_EQ(deleted, 3);  // the chain deletes what it still holds
}

TEST(RingBuffer, SizesAndWrapping) {
    Ring_Buffer r;
    r.request_buffer_size(60000);
    EXPECT_EQ(r.get_size(), 65536);
    r.request_buffer_size(65536);
    EXPECT_EQ(r.get_size(), 131072);
    r.request_buffer_size(0);
    r.request_buffer_size(1 << 27);
    EXPECT_EQ(r.get_size(), 131072);

    r.request_buffer_size(5);  // 8 entries
    int src[6] = {1, 2, 3, 4, 5, 6};
    r.advance(6);
    EXPECT_FALSE(r.is_there_data_to_mix());
    r.mix_from_buffer(6, src);  // wraps past the end of the array
    r.mix_from_buffer(2, src);
    EXPECT_EQ(r.get_data_remaining(), 6);
    EXPECT_EQ(r.get_sample(0), 2);
    EXPECT_EQ(r.get_sample(5), 6);
    int dst[4] = {10, 10, 10, 10};
    r.mix_to_buffer(4, dst, true);
    EXPECT_EQ(dst[0], 12);
    EXPECT_EQ(dst[3], 14);
    EXPECT_EQ(r.get_data_remaining(), 2);
    EXPECT_EQ(r.get_sample(4), 0);  // consumed entries were zeroed
    int copy[2];
    r.paste_to_buffer(2, copy, true);
    EXPECT_EQ(copy[0], 5);
    EXPECT_EQ(copy[1], 6);
    EXPECT_FALSE(r.is_there_data_to_mix());
    r.paste_from_buffer(2, src);
    r.paste_from_buffer(2, src);
    EXPECT_EQ(r.get_sample(1), 2);
    r.write_zero(2);
    EXPECT_EQ(r.get_sample(1), 0);
}

// Bus memory comes from the system page by page as it is first written: a block of the longest
// length fills every frame, buses that moved when another was removed keep working, and
// anything nothing played into reads as silence.
TEST(Mixer, LongestBlockFillsEveryFrameAndUntouchedBusesAreSilent) {
    Mixer m;
    m.set_mix_frequency(44100);
    for (int i = 0; i < 3; i++) m.add_buffer();
    m.remove_buffer(0);  // the others move down
    Constant_Voice voice(0, 1 << 20);
    m.allocate_voice(&voice);
    ASSERT_EQ(m.write_samples(Mixer::MAX_BLOCK_FRAMES), Mixer::MAX_BLOCK_FRAMES);
    const int first = left(m, 0);
    EXPECT_NE(first, 0);
    for (int i = 0; i < 2 * Mixer::MAX_BLOCK_FRAMES; i++) {
        ASSERT_EQ(m.get_mixdown_buffer_ptr()[i], first) << "sample " << i;
        ASSERT_EQ(m.get_channel_buffer_ptr(1)[i], 0) << "sample " << i;
        ASSERT_EQ(m.get_buffer_buffer_ptr(1)[i], 0) << "sample " << i;
    }
}
