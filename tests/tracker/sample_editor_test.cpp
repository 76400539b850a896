#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tracker/sample_editor.h"
#include "trackercore/sample.h"

// Records the order of the calls that bracket a destructive edit.
class Fake_Players : public Sample_Edit_Players {
public:
    void sample_stop_all() override { calls.push_back("stop preview"); }
    void lock_player_variables() override { calls.push_back("lock"); }
    void erase_voices_using_sample(Sample* sample) override {
        calls.push_back("erase");
        erased = sample;
    }
    void unlock_player_variables() override { calls.push_back("unlock"); }

    std::vector<std::string> calls;
    Sample* erased = nullptr;
};

class Sample_Editor_Test : public ::testing::Test {
protected:
    void SetUp() override {
        sample.data.set_data_ptr(std::malloc(100 * 2), 100, true);
        for (int i = 0; i < 100; i++) sample.data.set_sample(i, i / 1024.0f);
        sample.data.set_loop_enabled(true);
        sample.data.set_loop_begin(50);
        sample.data.set_loop_end(80);
        sample.in_use = true;
        editor.set_sample(&sample);
        editor.link_to_players(&players);
        editor.data_modification_begin.connect([this] { players.calls.push_back("modify"); });
        editor.data_modification_end.connect([this] { players.calls.push_back("modified"); });
    }
    void select(int a, int b) {
        editor.get_selection()->set_point_1(a);
        editor.get_selection()->set_point_2(b);
        editor.get_selection()->set_active(true);
    }
    static int index_of(const Sample_Editor& editor, const std::string& name) {
        for (int i = 0; i < editor.get_effect_count(); i++)
            if (editor.get_effect(i)->get_name() == name) return i;
        return -1;
    }

    Sample sample;
    Fake_Players players;
    Sample_Editor editor;
};

TEST_F(Sample_Editor_Test, ListsTheElevenEffectsInOrder) {
    const char* names[] = {"Reverse", "Pre-Loop Cut", "Post-Loop Cut", "Selection -> Loop", "Center",
                           "Amp/Normalize", "Toggle Signed/Unsigned", "Toggle 16/8bits", "C5 Tuner",
                           "Fade In", "Fade Out"};
    ASSERT_EQ(editor.get_effect_count(), 11);
    for (int i = 0; i < 11; i++) EXPECT_EQ(editor.get_effect(i)->get_name(), names[i]);
    EXPECT_EQ(editor.get_effect(11), nullptr);
}

TEST_F(Sample_Editor_Test, DestructiveEffectIsBracketed) {
    editor.apply_effect(index_of(editor, "Toggle 16/8bits"));
    EXPECT_EQ(players.calls,
              (std::vector<std::string>{"stop preview", "lock", "erase", "modify", "modified", "unlock"}));
    EXPECT_EQ(players.erased, &sample);
    EXPECT_FALSE(sample.data.is_16bit());

    players.calls.clear();
    // In-place effects keep the voices but change nothing while the audio thread reads.
    editor.apply_effect(index_of(editor, "Reverse"));
    EXPECT_EQ(players.calls, (std::vector<std::string>{"lock", "modify", "modified", "unlock"}));
}

TEST_F(Sample_Editor_Test, RangeIsTheSelectionOrTheWholeSample) {
    int normalize = index_of(editor, "Amp/Normalize");
    Property_Bridge_List params = editor.select_effect(normalize);
    ASSERT_EQ(params.size(), 1u);
    EXPECT_EQ(static_cast<Int_Property_Bridge*>(params[0])->get(), (int)(100 / (99 / 1024.0f)));
    select(0, 31);
    editor.select_effect(normalize);
    EXPECT_EQ(static_cast<Int_Property_Bridge*>(params[0])->get(), (int)(100 / (31 / 1024.0f)));
    editor.apply_effect(index_of(editor, "Selection -> Loop"));
    EXPECT_EQ(sample.data.get_loop_begin(), 0);
    EXPECT_EQ(sample.data.get_loop_end(), 31);

    Sample empty;
    editor.set_sample(&empty);
    players.calls.clear();
    editor.apply_effect(index_of(editor, "Toggle 16/8bits"));
    EXPECT_TRUE(players.calls.empty());
}

TEST_F(Sample_Editor_Test, CopyTakesTheFramesBeforeTheEnd) {
    select(10, 20);
    editor.frame_copy();
    ASSERT_EQ(editor.get_frame_clipboard().size(), 10u);
    EXPECT_EQ(editor.get_frame_clipboard()[0], 10 / 1024.0f);
    EXPECT_EQ(editor.get_frame_clipboard()[9], 19 / 1024.0f);
    EXPECT_EQ(sample.data.get_size(), 100);
}

TEST_F(Sample_Editor_Test, CutAndPasteMoveTheLoop) {
    select(10, 20);
    editor.frame_cut();
    EXPECT_EQ(sample.data.get_size(), 90);
    EXPECT_EQ(sample.data.get_loop_begin(), 40);
    EXPECT_EQ(sample.data.get_loop_end(), 70);
    EXPECT_EQ(sample.data.get_sample(10), 20 / 1024.0f);
    EXPECT_FALSE(editor.get_selection()->is_active());
    EXPECT_EQ(players.calls,
              (std::vector<std::string>{"stop preview", "lock", "erase", "modify", "modified", "unlock"}));

    select(0, 0);
    editor.frame_paste();
    EXPECT_EQ(sample.data.get_size(), 100);
    EXPECT_EQ(sample.data.get_sample(0), 10 / 1024.0f);
    EXPECT_EQ(sample.data.get_sample(10), 0.0f);
    EXPECT_EQ(sample.data.get_loop_begin(), 50);
    EXPECT_EQ(sample.data.get_loop_end(), 80);
    EXPECT_TRUE(editor.get_selection()->is_active());
}

TEST_F(Sample_Editor_Test, CutMovesLoopPointsInsideTheRangeToItsBegin) {
    select(45, 60);
    editor.frame_cut();
    EXPECT_EQ(sample.data.get_loop_begin(), 45);
    EXPECT_EQ(sample.data.get_loop_end(), 65);
}

TEST_F(Sample_Editor_Test, PasteAtTheEndAndWithoutSelection) {
    select(0, 3);
    editor.frame_copy();
    select(100, 100);
    editor.frame_paste();
    EXPECT_EQ(sample.data.get_size(), 103);
    EXPECT_EQ(sample.data.get_sample(102), 2 / 1024.0f);
    EXPECT_EQ(sample.data.get_loop_end(), 80);

    editor.get_selection()->set_active(false);
    editor.frame_paste();
    editor.frame_cut();
    EXPECT_EQ(sample.data.get_size(), 103);

    editor.frame_clipboard_clear();
    select(0, 0);
    editor.frame_paste();
    EXPECT_EQ(sample.data.get_size(), 103);
}

TEST_F(Sample_Editor_Test, WithoutPlayersNothingIsCalled) {
    editor.link_to_players(nullptr);
    select(0, 50);
    editor.frame_cut();
    EXPECT_EQ(sample.data.get_size(), 50);
}
