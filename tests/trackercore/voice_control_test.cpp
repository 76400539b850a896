#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "support/player_fixture.h"
#include "trackercore/filter_control.h"
#include "trackercore/tables.h"

namespace {

// Replaces the layer's default two-node envelope with the given nodes and enables it.
Envelope& set_nodes(Envelope& envelope, std::initializer_list<std::pair<int, int>> nodes) {
    envelope.reset();
    for (auto [offset, height] : nodes) envelope.add_node_at_offset(offset, height);
    envelope.set_enabled(true);
    return envelope;
}

TEST(Tables, LinearAndOldPeriodsAndFrequencies) {
    EXPECT_EQ(Tables::get_linear_period(96, 0), 6144u);
    EXPECT_EQ(Tables::get_linear_frequency(Tables::get_linear_period(96, 0)), 8363u);
    EXPECT_EQ(Tables::get_linear_frequency(Tables::get_linear_period(120, 0)), 16726u);
    EXPECT_EQ(Tables::get_linear_frequency(6144 - 768), 16726u);  // an octave up doubles
    EXPECT_EQ(Tables::get_linear_period(96, 8), 6140u);
    // Old periods: table entry scaled by 8363/8368 and halved per octave.
    EXPECT_EQ(Tables::get_old_period(0, 0), 27392u * 8363u / 8368u);
    EXPECT_EQ(Tables::get_old_period(24 * 5, 0), ((27392u * 8363u) >> 5) / 8368u);
    EXPECT_EQ(Tables::get_old_frequency(428), 14317456u / 428u);
    EXPECT_EQ(Tables::get_old_frequency(0), 14317456u);
    EXPECT_EQ(get_period(96, 0, true), 6144u);
    EXPECT_EQ(get_frequency(1712, false), 14317456u / 1712u);
}

TEST(Filter_Control, OpenCutoffLeavesTheFilterOff) {
    // {cutoff, resonance, envelope} -> filtering: the top cutoff without resonance and without a
    // filter envelope is open, as an IT instrument with default cutoff 127 and resonance 0 plays.
    const struct { int cutoff, resonance, envelope; bool active; } cases[] = {
        {255, 0, -1, false}, {255, 60, -1, false}, {254, 0, -1, false}, {254, 1, -1, true},
        {253, 0, -1, true},  {254, 0, 64, true},   {100, 0, -1, true},
    };
    for (const auto& c : cases) {
        Filter_Control f;
        f.cutoff = c.cutoff, f.resonance = c.resonance, f.envelope = c.envelope;
        f.recalculate_coheficients(44100.0f);
        EXPECT_EQ(f.is_active(), c.active) << c.cutoff << " " << c.resonance << " " << c.envelope;
    }
    Filter_Control filter;
    filter.cutoff = 100;
    filter.recalculate_coheficients(44100.0f);
    EXPECT_TRUE(filter.is_active());
    EXPECT_GT(filter.a0, 0);
    EXPECT_LT(filter.b1, 0);
    // A low-pass passes DC: the three coefficients sum to unity.
    EXPECT_NEAR(filter.a0 + filter.b0 + filter.b1, 4096, 3);
}

// Gain in dB of the filter's recurrence y = (a0 s + b0 y1 + b1 y2) / 4096 at one frequency.
double filter_gain_db(const Filter_Control& f, double hz) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / 44100.0);
    const std::complex<double> h = (f.a0 / 4096.0) / (1.0 - (f.b0 / 4096.0) * z1 - (f.b1 / 4096.0) * z1 * z1);
    return 20.0 * std::log10(std::abs(h));
}

TEST(Filter_Control, ItFiltersDampAsTheReferencePlays) {
    // {cutoff, resonance, Hz, dB}: IT filters measured on rendered white noise by the reference
    // player; older native songs damped twice as hard (their doubled resonance made up for it).
    const struct { int cutoff, resonance; double hz, it_db, old_db; } cases[] = {
        {128, 0, 600, 0.7, -10.3}, {128, 0, 833, -0.9, -13.0}, {128, 0, 2000, -15.1, -21.9},
        {128, 96, 600, 6.4, NAN},  {128, 96, 1200, -1.4, NAN}, {128, 96, 2000, -13.5, NAN},
    };
    for (const auto& c : cases) {
        for (bool it : {true, false}) {
            if (!it && std::isnan(c.old_db)) continue;
            Filter_Control f;
            f.it_filters = it;
            f.cutoff = c.cutoff, f.resonance = c.resonance;
            f.recalculate_coheficients(44100.0f);
            EXPECT_NEAR(filter_gain_db(f, c.hz), it ? c.it_db : c.old_db, 0.5)
                << c.cutoff << " " << c.resonance << " " << c.hz << (it ? " IT" : " old");
        }
    }
}

TEST(Filter_Control, ItFilterIsOffUntilBelowTheTopAndThenStaysOn) {
    Filter_Control f;
    f.it_filters = true;
    f.cutoff = 254;
    f.envelope = 64;  // the envelope at its top leaves the cutoff at 127
    f.recalculate_coheficients(44100.0f);
    EXPECT_FALSE(f.is_active());
    f.envelope = 40;
    f.recalculate_coheficients(44100.0f);
    EXPECT_TRUE(f.is_active());
    f.envelope = 64;
    f.recalculate_coheficients(44100.0f);
    EXPECT_TRUE(f.is_active());
}

TEST(Filter_Control, EnvelopeScalesCutoffAndIsIdempotent) {
    Filter_Control filter;
    filter.envelope = 32;
    filter.recalculate_coheficients(44100.0f);
    EXPECT_EQ(filter.effective_cutoff, 255 * 127 / 255);
    int a0 = filter.a0;
    filter.recalculate_coheficients(44100.0f);
    EXPECT_EQ(filter.a0, a0);
    filter.envelope = 64;
    filter.recalculate_coheficients(44100.0f);
    EXPECT_EQ(filter.effective_cutoff, 254);  // capped: the envelope always filters
}

TEST(Filter_Control, OutOfRangeSettingsStayInTheTables) {
    Filter_Control filter;
    filter.cutoff = 10;
    filter.resonance = 240;
    filter.recalculate_coheficients(44100.0f);
    Filter_Control held;
    held.cutoff = 10;
    held.resonance = 127;
    held.recalculate_coheficients(44100.0f);
    EXPECT_EQ(filter.a0, held.a0);
    EXPECT_EQ(filter.b0, held.b0);
    filter.recalculate_coheficients(0.0f);
    EXPECT_FALSE(filter.is_active());
}

class Voice_Envelopes : public Player_Fixture {
protected:
    Envelope& volume_envelope(std::initializer_list<std::pair<int, int>> nodes) {
        return set_nodes(song.instrument[0].layers[0].volume_envelope, nodes);
    }
    int envelope_value() { return foreground(0) ? foreground(0)->get_volume_envelope().value : -1; }
};

TEST_F(Voice_Envelopes, NoEnvelopeMeansFullVolume) {
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(envelope_value(), 64);
}

TEST_F(Voice_Envelopes, EnvelopeEndingAtZeroEndsTheVoice) {
    volume_envelope({{0, 64}, {4, 0}});
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    std::vector<int> values = trace(7, [&] { return envelope_value(); });
    // The tick that reaches the zero node silences and ends the voice.
    EXPECT_EQ(values, (std::vector<int>{64, 48, 32, 16, -1, -1, -1}));
    EXPECT_TRUE(mixer.voices.empty());
}

TEST_F(Voice_Envelopes, EnvelopeEndingAboveZeroHoldsAndFades) {
    volume_envelope({{0, 64}, {2, 32}});
    song.instrument[0].layers[0].volume_fadeout = 0;  // fading at rate 0 never ends
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(40);
    ASSERT_NE(foreground(0), nullptr);
    EXPECT_EQ(envelope_value(), 32);
    EXPECT_TRUE(foreground(0)->get_note_off_flags() & NOTE_OFF_FADING);
    EXPECT_EQ(foreground(0)->get_fadeout(), Playback_Rules::FADEOUT_SCALE_IT);
    EXPECT_EQ(played_volume(), 48 * 256 / 2);
}

TEST_F(Voice_Envelopes, LoopRepeats) {
    Envelope& envelope = volume_envelope({{0, 0}, {2, 64}, {4, 0}, {10, 0}});
    envelope.set_loop_enabled(true);
    envelope.set_loop_begin(1);
    envelope.set_loop_end(2);
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    std::vector<int> values = trace(9, [&] { return envelope_value(); });
    // The loop's end node plays, then the position returns to its begin node.
    EXPECT_EQ(values, (std::vector<int>{0, 32, 64, 32, 0, 64, 32, 0, 64}));
}

TEST_F(Voice_Envelopes, SustainLoopHoldsUntilNoteOff) {
    Envelope& envelope = volume_envelope({{0, 64}, {2, 48}, {3, 40}, {5, 0}});
    envelope.set_sustain_loop_enabled(true);
    envelope.set_sustain_loop_begin(1);
    envelope.set_sustain_loop_end(2);
    put(0, 0, cell(48, 0));
    put(0, 1, cell(NOTE_OFF));
    player.play_start_pattern(0);
    std::vector<int> held = trace(6, [&] { return envelope_value(); });
    EXPECT_EQ(held, (std::vector<int>{64, 56, 48, 40, 48, 40}));
    std::vector<int> released = trace(4, [&] { return envelope_value(); });
    EXPECT_EQ(released, (std::vector<int>{48, 40, 20, -1}));
    EXPECT_EQ(voices_on(0), 0);
}

// A held key passes a plain loop by on its way to a sustain loop after it (IT); released, the
// envelope goes back to the plain loop from where it stands. FT2 keeps to the plain loop. Values
// from the reference's traces of tests/data/behaviour/it_envelope_sustain_after_loop.it.
TEST_F(Voice_Envelopes, SustainLoopHidesAnEarlierLoopWhileHeld) {
    Envelope& envelope = volume_envelope({{0, 64}, {4, 48}, {8, 32}, {12, 16}, {20, 0}});
    envelope.set_loop_enabled(true);
    envelope.set_loop_begin(0);
    envelope.set_loop_end(1);
    envelope.set_sustain_loop_enabled(true);
    envelope.set_sustain_loop_begin(2);
    envelope.set_sustain_loop_end(3);
    put(0, 0, cell(48, 0));
    put(0, 14, cell(NOTE_OFF));
    song.get_initial_variables()->speed = 1;
    for (bool hides : {true, false}) {
        SCOPED_TRACE(hides);
        song.variables.rules.sustain_hides_loop = hides;
        player.play_start_pattern(0);
        std::vector<int> values = trace(18, [&] { return envelope_value(); });
        EXPECT_EQ(values, hides ? (std::vector<int>{64, 60, 56, 52, 48, 44, 40, 36, 32, 28, 24, 20, 16, 32, 28, 64,
                                                     60, 56})
                                : (std::vector<int>{64, 60, 56, 52, 48, 64, 60, 56, 52, 48, 64, 60, 56, 52, 48, 64,
                                                     60, 56}));
        player.play_stop();
    }
}

// S77 pauses the volume envelope where it stands, its value held, and S78 lets it go on from
// there; an envelope the instrument has off plays at full height. Values from the reference's
// traces of tests/data/behaviour/it_envelope_switch.it.
TEST_F(Voice_Envelopes, SwitchingAnEnvelopeOffPausesIt) {
    Envelope& envelope = volume_envelope({{0, 64}, {16, 16}});
    put(0, 0, cell(48, 0));
    put(0, 1, effect('S', 0x77));
    put(0, 2, effect('S', 0x78));
    for (bool instrument_on : {true, false}) {
        SCOPED_TRACE(instrument_on);
        envelope.set_enabled(instrument_on);
        player.play_start_pattern(0);
        std::vector<int> values = trace(18, [&] { return envelope_value(); });
        EXPECT_EQ(values, instrument_on ? (std::vector<int>{64, 61, 58, 55, 52, 49, 49, 49, 49, 49, 49, 49, 46, 43, 40,
                                                             37, 34, 31})
                                        : (std::vector<int>{64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 64, 61, 58,
                                                             55, 52, 49}));
        player.play_stop();
    }
}

TEST_F(Voice_Envelopes, PanEnvelopeSwingIsLimitedByTheNearerEdge) {
    set_nodes(song.instrument[0].layers[0].panning_envelope, {{0, 32}, {1, 32}});
    song.get_initial_variables()->channel[0].pan = 48;  // 191
    put(0, 0, cell(48, 0));
    put(1, 0, cell(48, 0));
    song.get_initial_variables()->channel[1].surround = true;
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(played_pan(0), 255);  // 191 + 32 x 65 / 32
    EXPECT_EQ(played_pan(1), 512);
    song.variables.use_stereo = false;
    ticks(1);
    EXPECT_EQ(played_pan(0), 128);
    EXPECT_EQ(played_pan(1), 128);
}

TEST_F(Voice_Envelopes, PitchEnvelopeShiftsByNotesAndHoldsPeriodAboveZero) {
    set_nodes(song.instrument[0].layers[0].pitch_envelope, {{0, 24}, {1, 24}});  // 12 semitones up
    put(0, 0, cell(48, 0));
    put(1, 0, cell(119, 0, EMPTY_FIELD, 'F', 0x7F));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(played_period(0), linear_period(60));
    EXPECT_EQ(foreground(0)->get_played_frequency(), 16726u);
    ticks(5);  // channel 1 slid far past the top; the shifted period stays positive
    EXPECT_EQ(played_period(1), 1);
}

TEST_F(Voice_Envelopes, PitchEnvelopeAsFilterAtItsTop) {
    // Older native songs always filter under a filter envelope; IT leaves the top cutoff open.
    for (bool it : {false, true}) {
        song.variables.rules.it_filters = it;
        Instrument::Layer& layer = song.instrument[0].layers[0];
        set_nodes(layer.pitch_envelope, {{0, 32}, {1, 32}});
        layer.pitch_use_as_filter = true;
        put(0, 0, cell(48, 0));
        player.play_start_pattern(0);
        ticks(1);
        EXPECT_EQ(foreground(0)->get_filter().effective_cutoff, 254);
        EXPECT_EQ(foreground(0)->get_filter().is_active(), !it);
        EXPECT_EQ(played_period(0), linear_period(48));
    }
}

// An XM instrument's auto-vibrato (square, depth 8) as the loader stores it: swept in over 4 ticks,
// or at once with sweep 0, the period moving by (64 x depth x 256 x tick / sweep) >> 14 as XM does.
TEST_F(Voice_Envelopes, XmAutoVibratoReachesItsDepthOverTheSweep) {
    Sample& sample = song.sample[0];
    sample.vibrato_type = 1;
    sample.vibrato_depth = 8 * 4;
    sample.vibrato_rate = 0;  // hold the phase: the square stays at +64
    put(0, 0, cell(48, 0));
    const int base = linear_period(48);
    for (auto [speed, offsets] : {std::pair{2048, std::vector<int>{2, 4, 6, 8, 8}},
                                  std::pair{8192, std::vector<int>{8, 8, 8, 8, 8}}}) {
        SCOPED_TRACE(speed);
        sample.vibrato_speed = speed;
        player.play_start_pattern(0);
        std::vector<int> shift = trace(5, [&] { return base - played_period(); });
        EXPECT_EQ(shift, offsets);
        player.play_stop();
    }
}

TEST_F(Voice_Envelopes, AutoVibratoSweepsInAndDoesNotDriftInTheBackground) {
    Sample& sample = song.sample[0];
    sample.vibrato_type = 1;  // square: +64 / -64
    sample.vibrato_depth = 4;
    sample.vibrato_speed = 64;
    sample.vibrato_rate = 128;
    song.instrument[0].layers[0].nna_type = NNA_CONTINUE;
    put(0, 0, cell(48, 0));
    put(0, 1, cell(60, 0));
    player.play_start_pattern(0);
    std::vector<int> periods = trace(6, [&] { return played_period(); });
    const int base = linear_period(48);
    // Depth factor grows by 64 a tick up to 4 x 256; the square flips every tick.
    EXPECT_EQ(periods[0], base - ((64 * 64) >> 16));
    EXPECT_EQ(periods[1], base - ((-64 * 128) >> 16));
    EXPECT_EQ(periods[5], base - ((-64 * 384) >> 16));
    Voice_Control* first = foreground(0);
    ticks(6 * 8);
    int low = first->get_played_period(), high = low;
    for (int i = 0; i < 8; i++) {
        ticks(1);
        low = std::min(low, first->get_played_period());
        high = std::max(high, first->get_played_period());
    }
    EXPECT_GE(low, base - 4);
    EXPECT_LE(high, base + 4);
}

TEST_F(Voice_Envelopes, MissingSampleDataEndsTheVoice) {
    make_instrument(1, 5);  // slot 5 holds no data
    put(0, 0, cell(48, 1));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(voices_on(0), 0);
    EXPECT_TRUE(mixer.voices.empty());
}

TEST_F(Voice_Envelopes, OldPeriodsGiveAmigaFrequencies) {
    song.variables.rules.use_linear_slides = false;
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(1);
    int period = (int)Tables::get_old_period(96, 0);
    EXPECT_EQ(played_period(), period);
    EXPECT_EQ(foreground(0)->get_played_frequency(), 14317456u / (unsigned)period);
}

}  // namespace
