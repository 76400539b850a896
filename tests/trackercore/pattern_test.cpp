#include <gtest/gtest.h>

#include "trackercore/pattern.h"

namespace {

Note make_note(int note, int instrument, int volume, int command, int parameter) {
    Note n;
    n.note = (unsigned char)note;
    n.instrument = (unsigned char)instrument;
    n.volume = (unsigned char)volume;
    n.command = (unsigned char)command;
    n.parameter = (unsigned char)parameter;
    return n;
}

// Counts grabs and releases so the tests can see that every call pairs them.
class Counting_Lock : public Mutex_Lock {
public:
    void grab() override { grabs++; held++; }
    bool try_grab() override { grabs++; held++; return false; }
    void release() override { releases++; held--; }
    Mutex_Lock* create_mutex_type() override { return new Counting_Lock; }
    int grabs = 0;
    int releases = 0;
    int held = 0;
};

void write(Pattern& pattern, int column, int row, const Note& note) {
    pattern.get_note_ref(column, row) = note;
    pattern.get_note_ref(0, 0);  // commit the cached cell
}

}  // namespace

TEST(Note, EmptyNoteIsTheFiveEmptyBytes) {
    Note empty;
    EXPECT_EQ(empty, Pattern::empty_note);
    EXPECT_TRUE(empty.is_empty());
    EXPECT_EQ(empty.note, 255);
    EXPECT_EQ(empty.parameter, 0);
    Note lone_parameter;
    lone_parameter.parameter = 1;
    EXPECT_FALSE(lone_parameter.is_empty());
}

TEST(Pattern, NewPatternIsEmpty) {
    Pattern pattern;
    EXPECT_EQ(pattern.get_length(), 64);
    EXPECT_TRUE(pattern.check_for_empty_pattern());
    EXPECT_TRUE(pattern.is_empty());
    EXPECT_EQ(pattern.get_note_count(), 0);
    for (int column = 0; column < 64; column++)
        for (int row = 0; row < 64; row++) ASSERT_EQ(pattern.get_note(column, row), Pattern::empty_note);
}

TEST(Pattern, WriteThenEraseReturnsToEmptyState) {
    Pattern pattern;
    Note c4 = make_note(48, 0, 64, 0, 6);
    write(pattern, 3, 10, c4);
    EXPECT_EQ(pattern.get_note(3, 10), c4);
    EXPECT_EQ(pattern.get_note_count(), 1);
    EXPECT_FALSE(pattern.check_for_empty_pattern());
    EXPECT_FALSE(pattern.is_empty());

    write(pattern, 3, 10, Pattern::empty_note);
    EXPECT_EQ(pattern.get_note_count(), 0);
    EXPECT_TRUE(pattern.is_empty());
    EXPECT_EQ(pattern.get_note(3, 10), Pattern::empty_note);
}

TEST(Pattern, OverwritingACellDoesNotCountTwice) {
    Pattern pattern;
    write(pattern, 1, 1, make_note(10, 1, 255, 255, 0));
    write(pattern, 1, 1, make_note(11, 2, 255, 255, 0));
    EXPECT_EQ(pattern.get_note_count(), 1);
    EXPECT_EQ(pattern.get_note(1, 1).note, 11);
}

TEST(Pattern, FieldWritesThroughTheReference) {
    Pattern pattern;
    pattern.get_note_ref(5, 7).note = 60;
    pattern.get_note_ref(5, 7).instrument = 4;
    pattern.get_note_ref(63, 63);
    Note stored = pattern.get_note(5, 7);
    EXPECT_EQ(stored.note, 60);
    EXPECT_EQ(stored.instrument, 4);
    EXPECT_EQ(pattern.get_note_count(), 1);
}

TEST(Pattern, CachedWriteIsVisibleBeforeCommitButNotCounted) {
    Pattern pattern;
    pattern.get_note_ref(2, 2).note = 30;
    EXPECT_EQ(pattern.get_note(2, 2).note, 30);
    EXPECT_EQ(pattern.get_note_count(), 0);
    EXPECT_TRUE(pattern.check_for_empty_pattern());
}

TEST(Pattern, ClearDropsPendingCachedWrite) {
    Pattern pattern;
    write(pattern, 0, 5, make_note(1, 1, 1, 1, 1));
    pattern.get_note_ref(2, 2).note = 30;
    pattern.clear();
    EXPECT_EQ(pattern.get_note(2, 2), Pattern::empty_note);
    pattern.get_note_ref(0, 0);
    EXPECT_EQ(pattern.get_note(2, 2), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(0, 5), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note_count(), 0);
    EXPECT_TRUE(pattern.is_empty());
    EXPECT_EQ(pattern.get_length(), 64);
}

TEST(Pattern, OutOfRangeReferencePrintsErrorAndDiscardsWrites) {
    Pattern pattern;
    testing::internal::CaptureStdout();
    pattern.get_note_ref(64, 0).note = 12;
    pattern.get_note_ref(0, 64).note = 13;
    pattern.get_note_ref(-1, 3).note = 14;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "Error: trackercore/pattern:156: It wants a note from 64,0\n"
              "Error: trackercore/pattern:156: It wants a note from 0,64\n"
              "Error: trackercore/pattern:156: It wants a note from -1,3\n");
    pattern.get_note_ref(0, 0);
    EXPECT_EQ(pattern.get_note_count(), 0);
    EXPECT_TRUE(pattern.is_empty());
}

TEST(Pattern, OutOfRangeReadsAreEmpty) {
    Pattern pattern;
    write(pattern, 0, 0, make_note(1, 1, 1, 1, 1));
    EXPECT_EQ(pattern.get_note(64, 0), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(-1, 0), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(0, 64), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(0, -1), Pattern::empty_note);
}

TEST(Pattern, SetLengthIgnoresOutOfRange) {
    Pattern pattern;
    pattern.set_length(0);
    EXPECT_EQ(pattern.get_length(), 64);
    pattern.set_length(257);
    EXPECT_EQ(pattern.get_length(), 64);
    pattern.set_length(-1);
    EXPECT_EQ(pattern.get_length(), 64);
    pattern.set_length(256);
    EXPECT_EQ(pattern.get_length(), 256);
    pattern.get_note_ref(63, 255).note = 60;
    pattern.get_note_ref(0, 0);
    EXPECT_EQ(pattern.get_note(63, 255).note, 60);
    pattern.set_length(1);
    EXPECT_EQ(pattern.get_length(), 1);
}

TEST(Pattern, ShrinkAndGrowDropsTheCutRows) {
    Pattern pattern;
    write(pattern, 0, 10, make_note(1, 1, 1, 1, 1));
    write(pattern, 7, 40, make_note(2, 2, 2, 2, 2));
    write(pattern, 63, 63, make_note(3, 3, 3, 3, 3));
    ASSERT_EQ(pattern.get_note_count(), 3);
    pattern.set_length(32);
    EXPECT_EQ(pattern.get_note_count(), 1);
    pattern.set_length(64);
    EXPECT_EQ(pattern.get_note(7, 40), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(63, 63), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note(0, 10).note, 1);

    pattern.set_length(5);
    EXPECT_EQ(pattern.get_note_count(), 0);
    EXPECT_TRUE(pattern.is_empty());
}

TEST(Pattern, ShrinkDropsPendingWritePastTheEnd) {
    Pattern pattern;
    pattern.get_note_ref(0, 50).note = 5;
    pattern.set_length(32);
    pattern.set_length(64);
    pattern.get_note_ref(0, 0);
    EXPECT_EQ(pattern.get_note(0, 50), Pattern::empty_note);
    EXPECT_EQ(pattern.get_note_count(), 0);
}

TEST(Pattern, LoneParameterIsStoredAndCounted) {
    Pattern pattern;
    write(pattern, 4, 4, make_note(255, 255, 255, 255, 9));
    EXPECT_EQ(pattern.get_note_count(), 1);
    EXPECT_FALSE(pattern.check_for_empty_pattern());
    EXPECT_EQ(pattern.get_note(4, 4).parameter, 9);
}

TEST(Pattern, CopiesAreIndependent) {
    Pattern original;
    write(original, 1, 1, make_note(20, 0, 255, 255, 0));
    Pattern copy = original;
    write(copy, 1, 1, make_note(21, 0, 255, 255, 0));
    write(copy, 2, 2, make_note(22, 0, 255, 255, 0));
    EXPECT_EQ(original.get_note(1, 1).note, 20);
    EXPECT_EQ(original.get_note_count(), 1);
    EXPECT_EQ(copy.get_note_count(), 2);
}

TEST(Pattern, EveryLockedCallGrabsAndReleases) {
    Counting_Lock lock;
    Pattern::data_lock = &lock;
    Pattern pattern;
    pattern.get_note_ref(0, 0).note = 1;
    pattern.get_note(0, 0);
    pattern.get_note_ref(99, 0);  // error path still releases
    pattern.set_length(10);
    pattern.clear();
    pattern.get_length();
    pattern.get_note_count();
    Pattern::data_lock = nullptr;
    EXPECT_EQ(lock.grabs, 5);
    EXPECT_EQ(lock.releases, 5);
    EXPECT_EQ(lock.held, 0);
}

// An edit through get_note_ref writes into the pattern's cache after the call has returned;
// the scope keeps the lock across that write, and the calls inside it do not take it again.
TEST(Pattern, EditScopeHoldsTheLockAcrossTheWrite) {
    Counting_Lock lock;
    Pattern::data_lock = &lock;
    Pattern pattern;
    {
        Pattern::Edit_Scope edit;
        EXPECT_EQ(lock.held, 1);
        pattern.get_note_ref(3, 4).note = 50;
        EXPECT_EQ(lock.held, 1);
        {
            Pattern::Edit_Scope nested;
            EXPECT_EQ(pattern.get_note(3, 4).note, 50);
        }
        EXPECT_EQ(lock.held, 1);
    }
    EXPECT_EQ(lock.held, 0);
    EXPECT_EQ(lock.grabs, 1);
    EXPECT_EQ(lock.releases, 1);
    // Outside any scope every call takes the lock itself again.
    EXPECT_EQ(pattern.get_note(3, 4).note, 50);
    EXPECT_EQ(lock.grabs, 2);
    Pattern::data_lock = nullptr;
    Pattern::Edit_Scope without_lock;  // no lock installed: nothing to take
    pattern.get_note_ref(3, 4).note = 51;
    EXPECT_EQ(pattern.get_note(3, 4).note, 51);
}
