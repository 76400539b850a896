#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "support/property_test_util.h"
#include "trackercore/song.h"

namespace {

std::unique_ptr<Song> new_song() { return std::make_unique<Song>(); }

void give_sample_data(Sample* sample, const std::string& name) {
    sample->name = name;
    sample->data.set_data_ptr(std::calloc(16, 1), 16, false);
    sample->in_use = true;
}

void put_note(Pattern* pattern, int column, int row, int note, int instrument) {
    Note& cell = pattern->get_note_ref(column, row);
    cell.note = (unsigned char)note;
    cell.instrument = (unsigned char)instrument;
    pattern->get_note_ref(0, 0);
}

}  // namespace

TEST(Song, ResetState) {
    auto song = new_song();
    for (int i = 0; i < Song::MAX_ORDERS; i++) ASSERT_EQ(song->get_order(i), 255);
    EXPECT_EQ(song->get_used_orders_amount(), 0);
    EXPECT_EQ(song->get_patterns_used(), 0);
    EXPECT_EQ(song->get_next_order(0), -1);
    for (int p = 0; p < Song::MAX_PATTERNS; p++) ASSERT_EQ(song->get_pattern(p)->get_length(), 64);
    EXPECT_EQ(song->variables.row_hilight_minor, 4);
    EXPECT_EQ(song->variables.row_hilight_major, 16);
    EXPECT_EQ(song->variables.mixing_volume, 48);
    EXPECT_TRUE(song->variables.rules.use_linear_slides);
    EXPECT_EQ(song->initial_variables.tempo, 125);
    EXPECT_EQ(song->initial_variables.speed, 6);
    EXPECT_EQ(song->initial_variables.channel[63].pan, 32);
}

TEST(Song, ResetDataClearsEverything) {
    auto song = new_song();
    put_note(song->get_pattern(5), 1, 1, 30, 0);
    song->get_pattern(5)->set_length(100);
    give_sample_data(song->get_sample(3), "x");
    song->get_instrument(2)->name = "y";
    song->set_order(0, 5);
    song->variables.name = "song";
    song->initial_variables.channel[7].mute = true;
    song->initial_variables.tempo = 200;
    song->reset_data();
    EXPECT_TRUE(song->get_pattern(5)->is_empty());
    EXPECT_EQ(song->get_pattern(5)->get_length(), 64);
    EXPECT_FALSE(song->get_sample(3)->in_use);
    EXPECT_EQ(song->get_sample(3)->data.get_data_ptr(), nullptr);
    EXPECT_EQ(song->get_instrument(2)->name, "");
    EXPECT_EQ(song->get_order(0), 255);
    EXPECT_EQ(song->variables.name, "");
    EXPECT_FALSE(song->initial_variables.channel[7].mute);
    EXPECT_EQ(song->initial_variables.tempo, 125);
}

TEST(Song, SlotAccessOutOfRangeIsNull) {
    auto song = new_song();
    EXPECT_EQ(song->get_pattern(200), nullptr);
    EXPECT_EQ(song->get_pattern(-1), nullptr);
    EXPECT_NE(song->get_pattern(199), nullptr);
    EXPECT_EQ(song->get_sample(99), nullptr);
    EXPECT_NE(song->get_sample(98), nullptr);
    EXPECT_EQ(song->get_instrument(-1), nullptr);
    EXPECT_EQ(song->get_instrument(99), nullptr);
    song->set_order(255, 3);
    song->set_order(-1, 3);
    EXPECT_EQ(song->get_order(255), 255);
    EXPECT_EQ(song->get_order(-1), 255);
}

TEST(Song, OrderWalkSkipsSeparatorsAndWraps) {
    auto song = new_song();
    song->set_order(0, 5);
    song->set_order(1, 253);
    song->set_order(2, 7);
    EXPECT_EQ(song->get_next_order(0), 2);
    EXPECT_EQ(song->get_next_order(2), 0);
    EXPECT_EQ(song->get_used_orders_amount(), 3);
    song->set_order(1, 254);
    EXPECT_EQ(song->get_next_order(0), 2);
    EXPECT_EQ(song->find_pattern_in_orderlist(7), 2);
    EXPECT_EQ(song->find_pattern_in_orderlist(8), -1);
}

TEST(Song, LonePatternIsFoundAfterAFullTurn) {
    auto song = new_song();
    song->variables.rules.empty_order_ends_song = false;
    song->set_order(9, 0);
    EXPECT_EQ(song->get_next_order(9), 9);
    EXPECT_EQ(song->get_next_order(254), 9);
    EXPECT_EQ(song->get_used_orders_amount(), 0);
}

TEST(Song, FullOrderListCountsAs256) {
    auto song = new_song();
    for (int i = 0; i < Song::MAX_ORDERS; i++) song->set_order(i, (short)(i % 200));
    EXPECT_EQ(song->get_used_orders_amount(), 256);
    EXPECT_EQ(song->get_next_order(254), 0);
}

TEST(Song, PatternsUsedIsHighestNonEmptyPlusOne) {
    auto song = new_song();
    put_note(song->get_pattern(12), 0, 3, 40, 0);
    put_note(song->get_pattern(4), 0, 3, 40, 0);
    EXPECT_EQ(song->get_patterns_used(), 13);
    song->clear_all_patterns();
    EXPECT_EQ(song->get_patterns_used(), 0);
}

TEST(Song, RecreateAllInstrumentsRewritesOnlyUsedSlots) {
    auto song = new_song();
    give_sample_data(song->get_sample(0), "bass");
    give_sample_data(song->get_sample(2), "snare");
    song->get_instrument(1)->name = "kept";
    song->get_instrument(0)->layers[1].sample_table[10] = 50;
    song->recreate_all_instruments();
    Instrument* first = song->get_instrument(0);
    EXPECT_EQ(first->name, "bass");
    for (int n = 0; n < NOTE_COUNT; n++) {
        ASSERT_EQ(first->layers[0].sample_table[n], 0);
        ASSERT_EQ(first->layers[0].note_table[n], n);
    }
    EXPECT_EQ(first->layers[1].sample_table[10], 255);  // the instrument was reset first
    EXPECT_EQ(song->get_instrument(2)->name, "snare");
    EXPECT_EQ(song->get_instrument(2)->layers[0].sample_table[119], 2);
    EXPECT_EQ(song->get_instrument(1)->name, "kept");
}

TEST(Song, InstrumentFromLongSampleNameKeepsTheNameLimit) {
    auto song = new_song();
    give_sample_data(song->get_sample(4), "a sample name of thirty chars");
    song->make_instrument_out_of_sample_at(4, 7);
    EXPECT_EQ(song->get_instrument(7)->name, "a sample name of thirty c");
    EXPECT_EQ(song->get_sample(4)->name, "a sample name of thirty chars");
}

TEST(Song, MakeInstrumentUsesFirstUnusedSlot) {
    auto song = new_song();
    give_sample_data(song->get_sample(0), "a");
    give_sample_data(song->get_sample(1), "b");
    song->make_instrument_out_of_sample_at(0, 0);
    // Instrument 1 points only at an empty sample slot, so it counts as unused.
    song->get_instrument(1)->layers[3].sample_table[5] = 40;
    EXPECT_EQ(song->find_unused_instrument(), 1);
    song->make_instrument_out_of_sample(1);
    EXPECT_EQ(song->get_instrument(1)->name, "b");
    EXPECT_EQ(song->find_unused_instrument(), 2);

    for (int i = 0; i < Song::MAX_INSTRUMENTS; i++) song->make_instrument_out_of_sample_at(0, i);
    EXPECT_EQ(song->find_unused_instrument(), -1);
    song->get_instrument(50)->name = "untouched";
    song->make_instrument_out_of_sample(1);
    EXPECT_EQ(song->get_instrument(50)->name, "untouched");
}

// A loaded sample makes its own-numbered instrument only when that one holds nothing the
// user made: no name, no sample in any layer. Its other settings stay.
TEST(Song, LoadedSampleMakesItsInstrumentOnlyWhenEmpty) {
    const struct {
        const char* name;
        void (*prepare)(Song&);
        bool made;
    } cases[] = {
        {"empty instrument", [](Song&) {}, true},
        {"named instrument", [](Song& s) { s.get_instrument(3)->name = "lead"; }, false},
        {"names an empty slot", [](Song& s) { s.get_instrument(3)->layers[2].sample_table[60] = 40; }, false},
        {"envelope only", [](Song& s) { s.get_instrument(3)->layers[0].volume_envelope.set_enabled(true); }, true},
        {"sample slot unused", [](Song& s) { s.get_sample(3)->reset(true); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto song = new_song();
        give_sample_data(song->get_sample(3), "kick");
        c.prepare(*song);
        const Instrument before = *song->get_instrument(3);
        EXPECT_EQ(song->instrument_plays_a_sample(3), false);
        EXPECT_EQ(song->make_instrument_if_empty(3), c.made);
        const Instrument& after = *song->get_instrument(3);
        if (!c.made) {
            EXPECT_EQ(after.name, before.name);
            for (int l = 0; l < Instrument::LAYERS; l++)
                for (int n = 0; n < NOTE_COUNT; n++)
                    ASSERT_EQ(after.layers[l].sample_table[n], before.layers[l].sample_table[n]) << l << " " << n;
            continue;
        }
        EXPECT_TRUE(song->instrument_plays_a_sample(3));
        EXPECT_EQ(after.name, "kick");
        for (int n = 0; n < NOTE_COUNT; n++) {
            ASSERT_EQ(after.layers[0].sample_table[n], 3) << n;
            ASSERT_EQ(after.layers[0].note_table[n], n) << n;
        }
        EXPECT_EQ(after.layers[0].volume_envelope.is_enabled(), before.layers[0].volume_envelope.is_enabled());
        EXPECT_EQ(song->get_instrument(2)->layers[0].sample_table[60], 255) << "only its own number";
    }
    auto song = new_song();
    EXPECT_FALSE(song->make_instrument_if_empty(-1));
    EXPECT_FALSE(song->make_instrument_if_empty(Song::MAX_SAMPLES));
    EXPECT_FALSE(song->instrument_plays_a_sample(Song::MAX_INSTRUMENTS));
}

TEST(Song, FindUnusedSampleSlot) {
    auto song = new_song();
    EXPECT_EQ(song->find_unused_sample_slot(), 0);
    for (int s = 0; s < 5; s++) give_sample_data(song->get_sample(s), "s");
    EXPECT_EQ(song->find_unused_sample_slot(), 5);
    for (int s = 5; s < Song::MAX_SAMPLES; s++) song->get_sample(s)->in_use = true;
    EXPECT_EQ(song->find_unused_sample_slot(), -1);
}

TEST(Song, ClearUnusedSamplesFollowsAllLayers) {
    auto song = new_song();
    for (int s : {0, 1, 2, 3}) give_sample_data(song->get_sample(s), "s");
    // Instrument 0 reaches sample 1 only through layer 3 on note 60.
    song->get_instrument(0)->layers[3].sample_table[60] = 1;
    // Instrument 5 refers to sample 2 but is never played.
    song->get_instrument(5)->layers[0].sample_table[60] = 2;
    // Instrument 6 plays sample 3, but only with note-off or empty instrument cells.
    song->get_instrument(6)->layers[0].sample_table[60] = 3;
    put_note(song->get_pattern(3), 10, 20, 60, 0);
    put_note(song->get_pattern(3), 11, 21, NOTE_OFF, 6);
    put_note(song->get_pattern(3), 12, 22, 60, EMPTY_FIELD);
    song->clear_unused_samples();
    EXPECT_FALSE(song->get_sample(0)->in_use);
    EXPECT_TRUE(song->get_sample(1)->in_use);
    EXPECT_NE(song->get_sample(1)->data.get_data_ptr(), nullptr);
    EXPECT_FALSE(song->get_sample(2)->in_use);
    EXPECT_EQ(song->get_sample(2)->data.get_data_ptr(), nullptr);
    EXPECT_FALSE(song->get_sample(3)->in_use);
}

TEST(Song, FindSampleInInstrument) {
    auto song = new_song();
    EXPECT_EQ(song->find_sample_in_instrument(7), 7);
    song->get_instrument(4)->layers[2].sample_table[100] = 7;
    song->get_instrument(9)->layers[0].sample_table[0] = 7;
    EXPECT_EQ(song->find_sample_in_instrument(7), 4);
}

TEST(Song, FindFirstSampleInInstrument) {
    auto song = new_song();
    EXPECT_EQ(song->find_first_sample_in_instrument(3), 0);
    song->get_instrument(3)->layers[3].sample_table[10] = 12;
    song->get_instrument(3)->layers[0].sample_table[11] = 13;
    EXPECT_EQ(song->find_first_sample_in_instrument(3), 12);
    EXPECT_EQ(song->find_first_sample_in_instrument(99), 0);
}

TEST(Song, ClearDefaultPannings) {
    auto song = new_song();
    song->get_sample(4)->def_panning_active = true;
    song->get_instrument(8)->layers[2].pan_use_default = true;
    song->clear_default_sample_pannings();
    song->clear_default_instrument_pannings();
    EXPECT_FALSE(song->get_sample(4)->def_panning_active);
    EXPECT_FALSE(song->get_instrument(8)->layers[2].pan_use_default);
}

TEST(Song, ClearAllInstrumentsAndOrders) {
    auto song = new_song();
    song->get_instrument(98)->name = "z";
    song->set_order(100, 1);
    song->clear_all_instruments();
    song->clear_all_orders();
    EXPECT_EQ(song->get_instrument(98)->name, "");
    EXPECT_EQ(song->get_order(100), 255);
}

TEST(SongVariables, PropertiesInCreationOrderAndClamped) {
    auto song = new_song();
    EXPECT_EQ(property_names(song->variables.get_properties()),
              (std::vector<std::string>{"Name", "Message:", "File Name", "Row Hilight Major", "Row Hilight Minor",
                                        "Mixing Volume", "Stereo Separation", "Stereo", "Linear Slides",
                                        "Old Effects", "Compatible GXX", "Fade-out Scale",
                                        "Empty Order Ends Song", "Key Off Cuts Without Envelope",
                                        "Instrument Without Note", "Global Volume Slide Step",
                                        "Pattern Loop Carries Over", "Offset Past End Cuts Note",
                                        "FT2 Modulation", "Note Cut Ends Note", "Portamento Restarts Ended Note",
                                        "Jump Resets Break", "Unmapped Note Cuts",
                                        "Short Cut Declick", "Instrument Restarts Ended Note",
                                        "Instrument Swaps Sample", "Shared Effect Memory", "Tempo After First Tick",
                                        "ProTracker Offset", "ST3 Period Limits", "Loop Start Follows Loop",
                                        "Pattern Loop Shared", "Pattern Change Resets Loop",
                                        "One Pattern Loop At A Time", "FT2 Note Delay", "Envelope End Fades",
                                        "Late Note Delay Plays Next Row", "FT2 Tone Portamento", "IT Filters",
                                        "Sustain Hides Loop", "FT2 Retrigger", "ProTracker Portamento",
                                        "Fast Volume Slides", "Jump Cancels Loop", "Row Repeat Taken",
                                        "Repeats Start On First Tick", "Volume Column Fine Slides Once",
                                        "Arpeggio Runs Through Repeats", "FT2 Effect Memories", "Glissando",
                                        "Amiga Period Table"}));
    EXPECT_EQ(property_names(song->initial_variables.get_properties()),
              (std::vector<std::string>{"Global Volume", "Speed", "Tempo"}));
    EXPECT_EQ(property_names(song->initial_variables.channel[0].get_properties()),
              (std::vector<std::string>{"Pan", "Volume", "Surround", "Mute"}));

    song->variables.name_prop.set(std::string(30, 'n'));
    EXPECT_EQ(song->variables.name.size(), 25u);
    song->variables.message_prop.set(std::string(3000, 'm'));
    EXPECT_EQ(song->variables.message.size(), 3000u);
    song->variables.row_hilight_major_prop.set(0);
    EXPECT_EQ(song->variables.row_hilight_major, 1);
    song->initial_variables.tempo_prop.set(10);
    EXPECT_EQ(song->initial_variables.tempo, 31);
    song->initial_variables.speed_prop.set(0);
    EXPECT_EQ(song->initial_variables.speed, 1);
    song->initial_variables.channel[5].pan_prop.set(65);
    EXPECT_EQ(song->initial_variables.channel[5].pan, 64);
    static_cast<Bool_Property_Bridge*>(song->variables.get_rule_property(1))->set(true);
    EXPECT_TRUE(song->variables.rules.old_effects);
}

TEST(SongVariables, CopiesKeepTheirOwnBridges) {
    auto song = new_song();
    song->variables.name = "tune";
    Song::Song_Variables copy(song->variables);
    EXPECT_EQ(copy.name, "tune");
    expect_bridges_bound_to_own_fields(song->variables.get_properties(), copy.get_properties());

    song->initial_variables.channel[3].volume = 10;
    Song::Initial_Variables initial_copy(song->initial_variables);
    EXPECT_EQ(initial_copy.channel[3].volume, 10);
    expect_bridges_bound_to_own_fields(song->initial_variables.get_properties(), initial_copy.get_properties());
    expect_bridges_bound_to_own_fields(song->initial_variables.channel[3].get_properties(),
                                       initial_copy.channel[3].get_properties());
}
