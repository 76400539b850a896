#include <gtest/gtest.h>

#include "common/components/audio/mutex_lock.h"
#include "support/player_fixture.h"

namespace {

class Player_Core : public Player_Fixture {
protected:
    // Which row each row tick of the next count ticks reads (current_row moves past it).
    std::vector<int> rows_played(int row_ticks) {
        std::vector<int> rows;
        int speed = player.get_speed();
        for (int i = 0; i < row_ticks; i++) {
            int order_before = player.get_current_order();
            (void)order_before;
            rows.push_back(player.get_current_pattern() * 1000 + player.get_current_row());
            ticks(speed);
        }
        return rows;
    }
};

TEST_F(Player_Core, TickLengthFollowsTempoFromTheNextTick) {
    player.play_start_pattern(0);
    EXPECT_EQ(mixer.intervals.back(), 882);  // 2.5 x 44100 / 125
    put(0, 0, effect('T', 0xFA));            // 250 bpm on tick 0
    ticks(1);
    EXPECT_EQ(player.get_tempo(), 250);
    EXPECT_EQ(mixer.intervals.back(), 441);
}

// The tick lengths asked for after each tick: IT sets the tempo on the row's first tick,
// ProTracker (the reference's MOD renders) from its second, or the next row's at speed 1;
// on the song's first row both set it at once.
TEST_F(Player_Core, TempoAfterFirstTickRule) {
    const int at125 = 882, at64 = (int)((float)(44100 * 125.0) / (float)(64 * 50));
    struct Case {
        int speed;
        std::vector<int> it, mod;
    };
    const std::vector<Case> cases = {
        {3, {at125, at125, at125, at64, at64, at64}, {at125, at125, at125, at125, at64, at64}},
        {1, {at125, at64, at64}, {at125, at125, at64}},
    };
    put(0, 1, effect('T', 0x40));
    for (const Case& c : cases) {
        for (bool mod : {false, true}) {
            SCOPED_TRACE(std::to_string(c.speed) + (mod ? " (MOD)" : " (IT)"));
            song.variables.rules.tempo_after_first_tick = mod;
            song.get_initial_variables()->speed = c.speed;
            player.play_start_pattern(0);
            EXPECT_EQ(trace((int)c.it.size(), [&] { return mixer.intervals.back(); }), mod ? c.mod : c.it);
        }
    }
    song.variables.rules.tempo_after_first_tick = true;
    put(0, 0, effect('T', 0x40));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(mixer.intervals.back(), at64);
}

TEST_F(Player_Core, TempoSlidesStayWithinRange) {
    song.get_initial_variables()->tempo = 40;
    player.play_start_pattern(0);
    put(0, 0, effect('T', 0x05));  // down by 5 on each later tick
    ticks(6);
    EXPECT_EQ(player.get_tempo(), 32);
    put(0, 1, effect('T', 0x1F));
    put(0, 2, effect('T', 0x00));  // recalls 1F
    song.get_initial_variables()->tempo = 250;
    player.play_start_pattern(0);
    ticks(6);
    ticks(6);
    EXPECT_EQ(player.get_tempo(), 255);
    EXPECT_EQ(mixer.intervals.back(), (int)((float)(44100 * 125.0) / (float)(255 * 50)));
}

TEST_F(Player_Core, NewNoteStartsVoiceWithSampleVolumePanAndPeriod) {
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(1);
    ASSERT_EQ(mixer.started_on(0).size(), 1u);
    Voice_Control* voice = foreground(0);
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(&voice->get_voice(), mixer.started_on(0)[0]);
    EXPECT_EQ(voice->get_sample(), &song.sample[0]);
    EXPECT_EQ(played_volume(), 48 * 256);  // default mixing volume, everything else full
    EXPECT_EQ(played_pan(), 127);          // initial pan 32
    EXPECT_EQ(played_period(), linear_period(48));
    EXPECT_EQ(voice->get_played_frequency(), 8363u);
    ticks(5);
    EXPECT_EQ(mixer.allocated.size(), 1u);
}

TEST_F(Player_Core, SpeedOneMakesEveryTickARowTick) {
    song.get_initial_variables()->speed = 1;
    put(0, 0, cell(48, 0, 32));
    put(0, 1, effect('D', 0x01));  // normal slide: acts only on later ticks, so never
    put(0, 2, effect('D', 0x2F));  // fine slide: once per row
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(player.get_current_row(), 1);
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].base_volume, 32);
    ticks(1);
    EXPECT_EQ(channel(0).slot[0].base_volume, 34);
    EXPECT_EQ(player.get_current_row(), 3);
}

TEST_F(Player_Core, OrdersAtOrAbove200AreSkippedAndASingleOrderLoops) {
    song.variables.rules.empty_order_ends_song = false;
    song.set_order(0, 254);
    song.set_order(1, 253);
    song.set_order(5, 3);
    song.get_pattern(3)->set_length(2);
    player.play_start_song_from_order(1);
    EXPECT_EQ(player.get_current_order(), 5);
    EXPECT_EQ(player.get_current_pattern(), 3);
    ticks(6);
    EXPECT_FALSE(player.reached_end_of_song());
    ticks(6);  // second row read: the order wraps to itself
    EXPECT_TRUE(player.reached_end_of_song());
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_SONG);
    EXPECT_EQ(player.get_current_order(), 5);
}

TEST_F(Player_Core, SongWithoutPatternOrdersDoesNotStart) {
    song.set_order(0, 255);
    player.play_start_song();
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_NOTHING);
}

TEST_F(Player_Core, PatternModeLoopsWithoutReachingTheEnd) {
    song.get_pattern(0)->set_length(2);
    player.play_start_pattern(0);
    ticks(6 * 5);
    EXPECT_FALSE(player.reached_end_of_song());
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_PATTERN);
    EXPECT_EQ(player.get_current_row(), 1);
}

TEST_F(Player_Core, SongEndsWhenOrdersRunOutAfterBreak) {
    song.get_pattern(0)->set_length(4);
    song.set_order(1, 1);
    song.get_pattern(1)->set_length(4);
    put(0, 0, effect('C', 2));
    player.play_start_song();
    ticks(6);
    EXPECT_EQ(player.get_current_pattern(), 1);
    EXPECT_EQ(player.get_current_row(), 2);
    ticks(6);
    EXPECT_EQ(player.get_current_order(), 1);
}

TEST_F(Player_Core, BackwardJumpCountsAsTheSongLooping) {
    song.set_order(1, 1);
    song.get_pattern(0)->set_length(2);
    song.get_pattern(1)->set_length(2);
    put(0, 1, effect('B', 0), 1);
    player.play_start_song();
    ticks(6 * 3);
    EXPECT_FALSE(player.reached_end_of_song());
    ticks(6);  // row 0 of order 0 again
    EXPECT_TRUE(player.reached_end_of_song());
    EXPECT_EQ(player.get_current_order(), 0);
}

TEST_F(Player_Core, ForwardJumpFromLastRowIsNotTheEnd) {
    song.set_order(1, 1);
    song.set_order(2, 2);
    song.get_pattern(0)->set_length(2);
    put(0, 1, effect('B', 1));
    player.play_start_song();
    ticks(6 * 3);
    EXPECT_EQ(player.get_current_order(), 1);
    EXPECT_FALSE(player.reached_end_of_song());
}

TEST_F(Player_Core, BreakOnLastRowGoesToTheNextOrderNotTheOneAfter) {
    song.set_order(1, 1);
    song.set_order(2, 2);
    song.get_pattern(0)->set_length(2);
    put(0, 1, effect('C', 1));
    player.play_start_song();
    ticks(6 * 3);
    EXPECT_EQ(player.get_current_order(), 1);
    EXPECT_EQ(player.get_current_row(), 2);  // row 1 was read
}

// A jump and a break on one row go to the jump's order at the break's row, whichever channel
// holds which; where the jump resets the break (MOD, XM) a jump right of the break starts at row 0.
TEST_F(Player_Core, JumpAndBreakOnOneRow) {
    song.set_order(1, 1);
    song.set_order(2, 2);
    struct Case {
        int jump_channel, break_channel;
        bool jump_resets_break;
        int row;
    };
    for (Case c : {Case{0, 1, false, 3}, Case{1, 0, false, 3}, Case{0, 1, true, 3}, Case{1, 0, true, 0}}) {
        SCOPED_TRACE(::testing::Message() << "B in " << c.jump_channel << ", C in " << c.break_channel
                                          << (c.jump_resets_break ? ", B resets C" : ""));
        song.variables.rules.jump_resets_break = c.jump_resets_break;
        song.get_pattern(0)->clear();
        put(c.jump_channel, 0, effect('B', 2));
        put(c.break_channel, 0, effect('C', 3));
        player.play_start_song();
        ticks(7);
        EXPECT_EQ(player.get_current_order(), 2);
        EXPECT_EQ(player.get_current_pattern(), 2);
        EXPECT_EQ(player.get_row_start_row(), c.row);
    }
}

TEST_F(Player_Core, PatternLoopPlaysTheLoopThreeTimes) {
    song.get_pattern(0)->set_length(10);
    put(0, 4, effect('S', 0xB0));
    put(0, 7, effect('S', 0xB2));
    player.play_start_pattern(0);
    std::vector<int> rows;
    for (int i = 0; i < 18; i++) {
        rows.push_back(player.get_current_row());
        ticks(6);
    }
    std::vector<int> expected = {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(rows, expected);
}

// XM carries a pattern loop over: once a loop has jumped back in a pattern, the next pattern
// starts at the row that loop went back to, wherever in the pattern the loop ended. IT and S3M
// carry nothing.
TEST_F(Player_Core, PatternLoopCarryOverFollowsTheSongRule) {
    for (int p = 0; p < 3; p++) {
        song.set_order(p, (short)p);
        song.get_pattern(p)->set_length(6);
    }
    put(0, 2, effect('S', 0xB0), 0);
    put(0, 4, effect('S', 0xB1), 0);
    put(0, 3, effect('S', 0xB0), 1);
    put(0, 5, effect('S', 0xB1), 1);
    const std::vector<int> first = {0, 1, 2, 3, 4, 2, 3, 4, 5};
    std::vector<int> carried = first, plain = first;
    for (int row : {1002, 1003, 1004, 1005, 1003, 1004, 1005, 2003, 2004, 2005}) carried.push_back(row);
    for (int row : {1000, 1001, 1002, 1003, 1004, 1005, 1003, 1004, 1005, 2000, 2001, 2002}) plain.push_back(row);
    song.variables.rules.loop_start_follows_loop = false;
    for (bool carry : {false, true}) {
        SCOPED_TRACE(carry);
        song.variables.rules.pattern_loop_carries_over = carry;
        player.play_start_song();
        const std::vector<int>& expected = carry ? carried : plain;
        EXPECT_EQ(rows_played((int)expected.size()), expected);
    }
}

// A B or a C after the loop's jump starts the next pattern where it names, and the pattern
// after that at row 0: the loop's row is forgotten.
TEST_F(Player_Core, JumpOrBreakAfterALoopForgetsTheCarriedRow) {
    song.set_order(1, 1);
    song.set_order(2, 2);
    song.variables.rules.pattern_loop_carries_over = true;
    song.variables.rules.loop_start_follows_loop = false;
    song.get_pattern(1)->set_length(2);
    for (char letter : {'B', 'C'}) {
        SCOPED_TRACE(letter);
        song.get_pattern(0)->clear();
        put(0, 1, effect('S', 0xB0));
        put(0, 2, effect('S', 0xB1));
        put(1, 3, effect(letter, letter == 'B' ? 1 : 0));
        player.play_start_song();
        EXPECT_EQ(rows_played(9), (std::vector<int>{0, 1, 2, 1, 2, 3, 1000, 1001, 2000}));
    }
}

// Where a finished loop moves the loop start past itself (IT), a later SBx on the same
// channel loops from the row after the first loop; elsewhere it replays the first loop.
TEST_F(Player_Core, FinishedLoopMovesTheLoopStart) {
    song.get_pattern(0)->set_length(8);
    put(0, 3, effect('S', 0xB1));
    put(0, 6, effect('S', 0xB1));
    const std::vector<int> moved = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 4, 5, 6, 7};
    const std::vector<int> kept = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3};
    for (bool follows : {false, true}) {
        SCOPED_TRACE(follows);
        song.variables.rules.loop_start_follows_loop = follows;
        player.play_start_pattern(0);
        EXPECT_EQ(rows_played(15), follows ? moved : kept);
    }
}

// ST3 keeps one loop for all channels: an SBx on one channel counts down the loop another
// channel started. Every pattern change puts the loop start back at row 0.
TEST_F(Player_Core, SharedPatternLoop) {
    song.set_order(1, 1);
    song.get_pattern(0)->set_length(5);
    song.get_pattern(1)->set_length(4);
    put(1, 1, effect('S', 0xB0), 0);  // shared: the start of channel 0's loop
    put(0, 3, effect('S', 0xB1), 0);
    put(0, 2, effect('S', 0xB1), 1);
    struct Case {
        bool shared, resets;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {false, false, {0, 1, 2, 3, 0, 1, 2, 3, 4, 1000, 1001, 1002, 1000, 1001, 1002, 1003}},
        {true, false, {0, 1, 2, 3, 1, 2, 3, 4, 1000, 1001, 1002, 1001, 1002, 1003}},
        {true, true, {0, 1, 2, 3, 1, 2, 3, 4, 1000, 1001, 1002, 1000, 1001, 1002, 1003}},
    };
    song.variables.rules.loop_start_follows_loop = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "shared " << c.shared << ", resets " << c.resets);
        song.variables.rules.pattern_loop_shared = c.shared;
        song.variables.rules.pattern_change_resets_loop = c.resets;
        player.play_start_song();
        EXPECT_EQ(rows_played((int)c.rows.size()), c.rows);
    }
}

// Where one loop runs at a time (XM), an SBx does not start a loop while another channel's
// loop is counting.
TEST_F(Player_Core, OnePatternLoopAtATime) {
    song.get_pattern(0)->set_length(4);
    put(0, 1, effect('S', 0xB1));
    put(1, 2, effect('S', 0xB1));
    const std::vector<int> each = {0, 1, 0, 1, 2, 0, 1, 0, 1, 2, 3};
    const std::vector<int> one = {0, 1, 0, 1, 2, 0, 1, 2, 3};
    song.variables.rules.loop_start_follows_loop = false;
    for (bool one_at_a_time : {false, true}) {
        SCOPED_TRACE(one_at_a_time);
        song.variables.rules.one_pattern_loop_at_a_time = one_at_a_time;
        player.play_start_pattern(0);
        EXPECT_EQ(rows_played((int)(one_at_a_time ? one : each).size()), one_at_a_time ? one : each);
    }
}

TEST_F(Player_Core, LoopJumpOverridesJumpAndBreakOnItsRow) {
    song.set_order(1, 1);
    put(3, 0, effect('S', 0xB0));
    put(3, 1, effect('S', 0xB1));
    put(1, 1, effect('B', 1));  // left of the loop: ignored while the loop jumps
    put(2, 1, effect('C', 5));
    player.play_start_song();
    ticks(6 * 2);
    EXPECT_EQ(player.get_current_order(), 0);
    EXPECT_EQ(player.get_current_row(), 0);
    ticks(6 * 2);  // the loop is done: now the break wins
    EXPECT_EQ(player.get_current_pattern(), 1);
    EXPECT_EQ(player.get_current_row(), 5);
}

// Where a jump cancels the loop (IT), a B right of the looping SBx takes the song to its order
// and the loop's count stays set, so the next SB1 on that channel jumps once more; a B left of
// the SBx, or any B without the rule, waits for the loop to finish.
TEST_F(Player_Core, JumpRightOfLoopCancelsIt) {
    song.set_order(1, 1);
    song.get_pattern(0)->set_length(4);
    song.get_pattern(1)->set_length(4);
    put(1, 1, effect('S', 0xB0));
    put(1, 2, effect('S', 0xB2));
    put(1, 2, effect('S', 0xB1), 1);
    const std::vector<int> loop_wins = {0, 1, 2, 1, 2, 1, 2, 1000, 1001, 1002, 1003};
    const std::vector<int> cancelled = {0, 1, 2, 1000, 1001, 1002, 1001, 1002, 1003};
    struct Case {
        int jump_channel;
        bool cancels;
        const std::vector<int>& rows;
    };
    for (const Case& c : {Case{0, true, loop_wins}, Case{2, false, loop_wins}, Case{2, true, cancelled}}) {
        SCOPED_TRACE(::testing::Message() << "B in " << c.jump_channel << (c.cancels ? ", cancels" : ""));
        song.variables.rules.jump_cancels_loop = c.cancels;
        put(0, 2, Note{}, 0);
        put(2, 2, Note{}, 0);
        put(c.jump_channel, 2, effect('B', 1));
        player.play_start_song();
        EXPECT_EQ(rows_played((int)c.rows.size()), c.rows);
    }
}

TEST_F(Player_Core, LoopOnLastRowUndoesTheMoveToTheNextOrder) {
    song.set_order(1, 1);
    song.get_pattern(0)->set_length(3);
    put(0, 1, effect('S', 0xB0));
    put(0, 2, effect('S', 0xB1));
    player.play_start_song();
    ticks(6 * 3);
    EXPECT_EQ(player.get_current_order(), 0);
    EXPECT_EQ(player.get_current_row(), 1);
}

TEST_F(Player_Core, RowDelayAddsTicksAndRowRepeatReplaysWithoutStriking) {
    put(0, 0, effect('S', 0x63));
    player.play_start_pattern(0);
    ticks(6 + 3);
    EXPECT_EQ(player.get_current_row(), 1);
    ticks(1);
    EXPECT_EQ(player.get_current_row(), 2);  // row 1 read after 9 ticks

    put(0, 0, cell(48, 0, 10, 'D', 0x10));  // +1 volume on each later tick
    put(1, 0, effect('S', 0xE2));
    player.play_start_pattern(0);
    ticks(6 * 3);
    EXPECT_EQ(mixer.started_on(mixer.tick - 18).size(), 1u);
    EXPECT_EQ(player.get_current_row(), 1);  // still repeating row 0
    EXPECT_EQ(channel(0).slot[0].base_volume, 10 + 5 * 3);
    size_t voices_started = mixer.allocated.size();
    ticks(1);
    EXPECT_EQ(player.get_current_row(), 2);
    EXPECT_EQ(mixer.allocated.size(), voices_started);
}

// Two SEx on one row: IT takes the first, S3M the first non-zero, XM and MOD the last, even SE0.
TEST_F(Player_Core, SeveralRowRepeatsOnOneRow) {
    using R = Playback_Rules;
    struct Case {
        int left, right, taken, repeats;
    };
    const Case cases[] = {
        {2, 1, R::ROW_REPEAT_FIRST, 2},          {0, 2, R::ROW_REPEAT_FIRST, 0},
        {2, 0, R::ROW_REPEAT_FIRST, 2},          {2, 1, R::ROW_REPEAT_FIRST_NON_ZERO, 2},
        {0, 2, R::ROW_REPEAT_FIRST_NON_ZERO, 2}, {2, 0, R::ROW_REPEAT_FIRST_NON_ZERO, 2},
        {2, 1, R::ROW_REPEAT_LAST, 1},           {0, 2, R::ROW_REPEAT_LAST, 2},
        {2, 0, R::ROW_REPEAT_LAST, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "SE" << c.left << " SE" << c.right << ", rule " << c.taken);
        song.variables.rules.row_repeat_taken = c.taken;
        put(1, 0, effect('S', 0xE0 | c.left));
        put(2, 0, effect('S', 0xE0 | c.right));
        player.play_start_pattern(0);
        int ticks_on_row_0 = 0;
        for (int i = 0; i < 60; i++) {
            ticks(1);
            if (player.get_row_start_row() != 0) break;
            ticks_on_row_0++;
        }
        EXPECT_EQ(ticks_on_row_0, 6 * (1 + c.repeats));
    }
}

TEST_F(Player_Core, PlayNoteWhileStoppedGetsOneRowOfEffects) {
    player.play_note(0, cell(48, 0, EMPTY_FIELD, 'H', 0x88), false);
    std::vector<int> periods = trace(8, [&] { return played_period(); });
    EXPECT_EQ(periods[0], linear_period(48));  // position 0: no offset yet
    EXPECT_NE(periods[1], linear_period(48));
    EXPECT_EQ(periods[6], linear_period(48));  // after six ticks the pitch holds
    EXPECT_EQ(periods[7], linear_period(48));
}

// Channels nothing has reached yet are left out of the tick's work: a cell typed into a far
// column during play, an effect there, and a note played on the last channel must still act.
TEST_F(Player_Core, FarChannelsActOnceTheyGetSomething) {
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(6);
    EXPECT_EQ(player.get_voice_list().size(), 1u);
    put(40, 1, cell(50, 0));
    put(20, 2, effect('V', 0x20));
    ticks(6);
    EXPECT_NE(player.read_channel(40).slot[0].voice, nullptr);
    EXPECT_EQ(player.get_voice_list().size(), 2u);
    ticks(6);
    EXPECT_EQ(player.get_global_volume(), 0x20);
    player.play_note(63, cell(52, 0), false);
    ticks(1);
    EXPECT_NE(player.read_channel(63).slot[0].voice, nullptr);
    EXPECT_EQ(player.get_voice_list().size(), 3u);
}

TEST_F(Player_Core, StopDeletesEveryVoiceAtOnce) {
    put(0, 0, cell(48, 0));
    put(1, 0, cell(50, 0));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(mixer.voices.size(), 2u);
    player.play_stop();
    EXPECT_TRUE(mixer.voices.empty());
    EXPECT_TRUE(player.get_voice_list().empty());
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_NOTHING);
}

TEST_F(Player_Core, StartTakesChannelStateFromInitialVariables) {
    song.get_initial_variables()->channel[3].pan = 64;
    song.get_initial_variables()->channel[4].surround = true;
    song.get_initial_variables()->channel[5].volume = 20;
    put(0, 0, effect('V', 0x20));
    put(5, 0, effect('M', 0x30));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(player.get_global_volume(), 0x20);
    EXPECT_EQ(channel(5).channel_volume, 0x30);
    player.play_start_pattern(0);
    EXPECT_EQ(player.get_global_volume(), 128);
    EXPECT_EQ(channel(3).channel_pan, 255);
    EXPECT_EQ(channel(4).channel_pan, 512);
    EXPECT_EQ(channel(5).channel_volume, 20);
}

TEST_F(Player_Core, NextAndPreviousOrderWrapOverPatternOrders) {
    song.variables.rules.empty_order_ends_song = false;
    song.set_order(1, 255);
    song.set_order(2, 2);
    song.set_order(3, 3);
    player.play_start_song();
    player.goto_next_order();
    EXPECT_EQ(player.get_current_order(), 2);
    player.goto_previous_order();
    EXPECT_EQ(player.get_current_order(), 0);
    player.goto_previous_order();
    EXPECT_EQ(player.get_current_order(), 3);
    EXPECT_EQ(player.get_current_pattern(), 3);
    EXPECT_EQ(player.get_current_row(), 0);
}

// IT: the first empty order ends the list, and the orders hidden behind it never play.
TEST_F(Player_Core, EmptyOrderEndsTheListOnlyUnderItsRule) {
    song.get_pattern(0)->set_length(1);
    song.set_order(1, 254);
    song.set_order(2, 255);
    song.set_order(3, 0);
    for (bool ends : {false, true}) {
        SCOPED_TRACE(ends);
        song.variables.rules.empty_order_ends_song = ends;
        player.play_start_song();
        ticks(6);  // row 0 of order 0, then the next order is chosen
        EXPECT_EQ(player.get_current_order(), ends ? 0 : 3);
        EXPECT_TRUE(ends == (bool)player.reached_end_of_song());
        player.play_stop();
    }
    song.set_order(0, 255);  // with the rule an empty first order is an empty song
    player.play_start_song_from_order(3);
    ticks(6);  // the last row plays whole
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_SONG);
    ticks(1);
    EXPECT_EQ(player.get_play_mode(), Player_Data::PLAY_NOTHING);
    EXPECT_TRUE(player.reached_end_of_song());
}

TEST_F(Player_Core, MutedChannelPlaysSilentlyUnlessIgnoringMute) {
    song.get_initial_variables()->channel[0].mute = true;
    put(0, 0, cell(48, 0));
    player.play_start_pattern(0);
    ticks(1);
    EXPECT_EQ(played_volume(), 0);
    player.play_note(0, cell(50, 0), true);
    ticks(1);
    EXPECT_GT(played_volume(), 0);
}

class Counting_Lock : public Mutex_Lock {
public:
    void grab() override { grabs++; held = true; }
    bool try_grab() override {
        if (held) return true;
        grabs++;
        held = true;
        return false;
    }
    void release() override { held = false; }
    Mutex_Lock* create_mutex_type() override { return new Counting_Lock; }
    int grabs = 0;
    bool held = false;
};

TEST_F(Player_Core, VoiceStatusIsPublishedUnderTheInfoLock) {
    Counting_Lock info;
    player.set_info_lock(&info);
    put(0, 0, cell(48, 0));
    put(1, 0, cell(60, 0, EMPTY_FIELD, 'X', 0));
    player.play_start_pattern(0);
    ticks(1);
    std::vector<Player_Data::VoiceStatusInfo> status;
    player.get_voice_status_info(status);
    ASSERT_EQ(status.size(), 2u);
    EXPECT_EQ(status[0].sample, &song.sample[0]);
    EXPECT_EQ(status[0].frequency, 8363);
    EXPECT_EQ(status[1].frequency, 16726);
    EXPECT_EQ(status[1].pan, 0);
    EXPECT_EQ(status[0].volume_envelope_pos, 0);
    EXPECT_GE(info.grabs, 2);
    // The position and the voice count go out with the list.
    Player_Data::Play_Status position;
    player.get_play_status(position);
    EXPECT_EQ(position.play_mode, Player_Data::PLAY_PATTERN);
    EXPECT_EQ(position.row, 1);
    EXPECT_EQ(position.voices, 2);

    // While the interface holds the lock, the tick does not wait for it.
    player.play_stop();
    info.held = true;
    ticks(1);
    info.held = false;
    player.get_voice_status_info(status);
    EXPECT_EQ(status.size(), 2u);
    ticks(1);
    player.get_voice_status_info(status);
    EXPECT_TRUE(status.empty());
}

TEST_F(Player_Core, NothingPlaysWithoutSongOrMixer) {
    Player_Data lonely;
    lonely.link_to_song(&song);
    lonely.play_start_song();
    EXPECT_EQ(lonely.get_play_mode(), Player_Data::PLAY_NOTHING);
    lonely.handle_tick();
    EXPECT_TRUE(lonely.get_voice_list().empty());
}

TEST_F(Player_Core, EraseVoicesUsingSampleRemovesOnlyThose) {
    make_sample(1, 100, true);
    make_instrument(1, 1);
    put(0, 0, cell(48, 0));
    put(1, 0, cell(48, 1));
    player.play_start_pattern(0);
    ticks(1);
    player.erase_voices_using_sample(&song.sample[0]);
    ASSERT_EQ(player.get_voice_list().size(), 1u);
    EXPECT_EQ(player.get_voice_list()[0]->get_sample(), &song.sample[1]);
    EXPECT_EQ(foreground(0), nullptr);
}

}  // namespace
