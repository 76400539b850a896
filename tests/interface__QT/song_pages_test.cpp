// The song-level pages in a real song window: the Variables and channel-default editors
// write the song and what they wrote survives a .wm file; the name is the window's caption;
// the Pattern menu's follow switch is what the pattern view follows.
// The recording mixer emits a sigc++ signal: it comes before Qt's "emit" macro.
#include "support/recording_mixer.h"
#include "support/scratch_dir.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSpinBox>

#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"

#include <cmath>
#include <cstdlib>

#include "common/components/audio/channel_scopes.h"
#include "common/interface__QT/color_theme.h"

#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_int.h"
#include "interface__QT/order_and_defaults_editor.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"
#include "interface__QT/variables_edit.h"

namespace {

class Song_Pages_Test : public Main_Window_Test {};

// What the editors are set to, and where each lands in a song.
struct Int_Field {
    const char* caption;
    int value;
    std::function<int(const Song&)> read;
};
struct Bool_Field {
    const char* caption;
    std::function<bool(const Song&)> read;  // each box is clicked once, away from its default
};
struct Channel_Values {
    int channel, pan, volume;
    bool surround, mute;
};

const std::vector<Int_Field> int_fields = {
    {"Speed", 3, [](const Song& s) { return s.initial_variables.speed; }},
    {"Tempo", 141, [](const Song& s) { return s.initial_variables.tempo; }},
    {"Row Hilight Minor", 8, [](const Song& s) { return s.variables.row_hilight_minor; }},
    {"Row Hilight Major", 32, [](const Song& s) { return s.variables.row_hilight_major; }},
    {"Global Volume", 99, [](const Song& s) { return s.initial_variables.global_volume; }},
    {"Mixing Volume", 60, [](const Song& s) { return s.variables.mixing_volume; }},
    {"Stereo Separation", 70, [](const Song& s) { return s.variables.stereo_separation; }},
    {"Fade-out Scale", 2048, [](const Song& s) { return s.variables.rules.fadeout_scale; }},
    {"Instrument Without Note", 2, [](const Song& s) { return s.variables.rules.instrument_without_note; }},
    {"Global Volume Slide Step", 2, [](const Song& s) { return s.variables.rules.global_volume_slide_step; }},
};
const std::vector<Bool_Field> bool_fields = {
    {"Stereo", [](const Song& s) { return !s.variables.use_stereo; }},
    {"Linear Slides", [](const Song& s) { return !s.variables.rules.use_linear_slides; }},
    {"Old Effects", [](const Song& s) { return s.variables.rules.old_effects; }},
    {"Compatible GXX", [](const Song& s) { return s.variables.rules.compatible_gxx; }},
    {"Empty Order Ends Song", [](const Song& s) { return !s.variables.rules.empty_order_ends_song; }},
    {"Key Off Cuts Without Envelope", [](const Song& s) { return s.variables.rules.key_off_cuts_without_envelope; }},
    {"Pattern Loop Carries Over", [](const Song& s) { return s.variables.rules.pattern_loop_carries_over; }},
    {"Offset Past End Cuts Note", [](const Song& s) { return s.variables.rules.offset_past_end_cuts_note; }},
};
const std::vector<Channel_Values> channel_values = {{0, 0, 40, true, true}, {37, 50, 12, false, true},
                                                    {63, 64, 0, true, false}};

void expect_song_holds_the_edits(const Song& song) {
    EXPECT_EQ(song.variables.name, "Night Drive");
    EXPECT_EQ(song.variables.message, "first line\nsecond line");
    for (const Int_Field& field : int_fields) EXPECT_EQ(field.read(song), field.value) << field.caption;
    for (const Bool_Field& field : bool_fields) EXPECT_TRUE(field.read(song)) << field.caption;
    for (const Channel_Values& c : channel_values) {
        const auto& state = song.initial_variables.channel[c.channel];
        EXPECT_EQ(state.pan, c.pan) << c.channel;
        EXPECT_EQ(state.volume, c.volume) << c.channel;
        EXPECT_EQ(state.surround, c.surround) << c.channel;
        EXPECT_EQ(state.mute, c.mute) << c.channel;
    }
    // Channels nobody touched keep their defaults.
    EXPECT_EQ(song.initial_variables.channel[1].pan, 32);
    EXPECT_EQ(song.initial_variables.channel[1].volume, 64);
}

}  // namespace

TEST_F(Song_Pages_Test, EditorsWriteTheSongAndTheFileKeepsIt) {
    MDI_Sub_Window* song_window = window->new_doc();
    Interface* interface = song_window->get_interface();
    ASSERT_NE(interface->get_variables_lock(), nullptr);

    interface->set_current_page(Interface::PAGE_VARIABLES);
    auto* variables = qobject_cast<Variables_Edit*>(interface->get_page(Interface::PAGE_VARIABLES));
    ASSERT_NE(variables, nullptr);
    auto* name = buddy_of<QLineEdit>(variables, "Name");
    auto* message = buddy_of<QPlainTextEdit>(variables, "Message:");
    ASSERT_TRUE(name && message);
    QTest::keyClicks(name, "Night Drive");
    // The caption follows the name as it is typed, not on the next timer tick, with the
    // mark of a song that has changes.
    EXPECT_EQ(song_window->windowTitle(), "Night Drive *");
    message->setFocus();
    QTest::keyClicks(message, "first line");
    QTest::keyClick(message, Qt::Key_Return);
    QTest::keyClicks(message, "second line");
    for (const Int_Field& field : int_fields) {
        auto* spin = buddy_of<QSpinBox>(variables, field.caption);
        ASSERT_NE(spin, nullptr) << field.caption;
        spin->setValue(field.value);
    }
    for (const Bool_Field& field : bool_fields) {
        auto* box = named<QCheckBox>(variables, field.caption);
        ASSERT_NE(box, nullptr) << field.caption;
        box->click();
    }
    // Edits reach the song under the lock the audio thread takes (the editors' lock holds it).
    auto holds_the_variables_lock = [interface](Mutex_Lock* lock) {
        if (!lock) return false;
        lock->grab();
        bool held = interface->get_variables_lock()->try_grab();
        lock->release();
        if (!held) interface->get_variables_lock()->release();
        return held;
    };
    EXPECT_TRUE(holds_the_variables_lock(variables->get_editor("Tempo")->get_lock()));

    auto* orders = qobject_cast<Order_And_Defaults_Editor*>(interface->get_page(Interface::PAGE_ORDERS));
    ASSERT_NE(orders, nullptr);
    for (const Channel_Values& c : channel_values) {
        const auto* entry = orders->get_defaults()->get_entry(c.channel);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->caption->text(), QString("Channel %1").arg(c.channel + 1));
        EXPECT_EQ(entry->caption->buddy(), entry->pan->get_spin_box());
        entry->pan->get_spin_box()->setValue(c.pan);
        entry->volume->get_spin_box()->setValue(c.volume);
        if (c.surround) entry->surround->get_check_box()->click();
        if (c.mute) entry->mute->get_check_box()->click();
        EXPECT_TRUE(holds_the_variables_lock(entry->mute->get_lock()));
    }
    Song& song = tracker_of(interface)->song;
    expect_song_holds_the_edits(song);

    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string file = dir.file("edited.wm");
    ASSERT_EQ(tracker_of(interface)->file_format_manager.save_module(file.c_str()), 0);
    Tracker_Instance reloaded;
    ASSERT_EQ(reloaded.file_format_manager.load_module(file.c_str()), Loader::SUCCESS);
    expect_song_holds_the_edits(reloaded.song);

    // Opening the file in the window shows what it holds.
    song.reset_data();
    ASSERT_EQ(interface->open_song(QString::fromStdString(file)), Loader::SUCCESS);
    EXPECT_EQ(name->text(), "Night Drive");
    EXPECT_EQ(buddy_of<QSpinBox>(variables, "Tempo")->value(), 141);
    EXPECT_TRUE(orders->get_defaults()->get_entry(37)->mute->get_check_box()->isChecked());
    EXPECT_EQ(orders->get_defaults()->get_entry(63)->pan->get_spin_box()->value(), 64);
}

TEST_F(Song_Pages_Test, FollowSwitchDecidesWhatThePatternViewFollows) {
    Interface* interface = new_song();
    Tracker_Instance* tracker = tracker_of(interface);
    Recording_Mixer mixer;
    tracker->player.link_to_mixer(&mixer);
    Song& song = tracker->song;
    song.initial_variables.speed = 1;  // a row a tick
    for (int order = 0; order < 8; order++) song.set_order(order, (short)(order + 2));
    for (int pattern = 2; pattern < 10; pattern++) song.pattern[pattern].set_length(16);
    auto* page = qobject_cast<Pattern_Edit_Widget*>(interface->get_page(Interface::PAGE_PATTERNS));
    ASSERT_NE(page, nullptr);
    // F2 from another page brings the pattern view up with the keyboard on it.
    interface->set_current_page(Interface::PAGE_VARIABLES);
    QTest::keyClick(interface->currentWidget(), Qt::Key_F2);
    EXPECT_EQ(interface->get_current_page(), Interface::PAGE_PATTERNS);
    EXPECT_EQ(interface->window()->focusWidget(), static_cast<QWidget*>(page->get_pattern_edit()));

    interface->play_song();
    auto playing_pattern_after = [&](int ticks) {
        mixer.run_ticks(ticks);
        QTest::qWait(3 * Interface::widget_timer_interval);  // the window's timer passes it on
        return tracker->player.get_current_pattern();
    };

    // A new window follows the song; the menu item switches it.
    EXPECT_TRUE(tracker->editor.is_follow_song());
    int followed = playing_pattern_after(20);
    EXPECT_EQ(tracker->editor.get_current_pattern(), followed);
    EXPECT_EQ(page->get_pattern_edit()->get_playing_pattern(), followed);

    item("Pattern", 102)->trigger();
    EXPECT_FALSE(tracker->editor.is_follow_song());
    int playing = playing_pattern_after(32);
    EXPECT_NE(playing, followed);
    EXPECT_EQ(tracker->editor.get_current_pattern(), followed);
    EXPECT_EQ(page->get_pattern_edit()->get_playing_pattern(), playing);  // still marked

    interface->stop_song();
    tracker->player.link_to_mixer(&tracker->mixer);
}

TEST_F(Song_Pages_Test, PatternMenuCommandsShowOnThePageAtOnce) {
    Interface* interface = new_song();
    Tracker_Instance* tracker = tracker_of(interface);
    interface->set_current_page(Interface::PAGE_PATTERNS);
    auto* history = buddy_of<QListWidget>(interface->get_page(Interface::PAGE_PATTERNS), "Undo History:");
    ASSERT_NE(history, nullptr);
    tracker->song.pattern[0].get_note_ref(0, 1).note = 48;
    tracker->song.pattern[0].get_note_ref(0, 1);
    tracker->editor.set_selection(0, 0, 0, 3);

    // No timer tick in between: the menu's command itself brings the page up to date.
    item("Pattern", Editor::SELECTION_RAISE)->trigger();
    EXPECT_EQ(tracker->song.pattern[0].get_note(0, 1).note, 49);
    ASSERT_GE(history->count(), 1);
    EXPECT_EQ(history->item(0)->text(), "0- Raise notes on selection");
    item("Pattern", 100)->trigger();  // undo
    EXPECT_EQ(tracker->song.pattern[0].get_note(0, 1).note, 48);
    EXPECT_EQ(history->item(0)->text(), "0- Redo Raise notes on selection");
}

// While the pattern view shows, the mixer feeds the scopes and the header of the channel that
// sounds draws its wave; the others stay flat. Another page switches the feed off.
TEST_F(Song_Pages_Test, ScopesShowWhichChannelSoundsWhileThePatternViewShows) {
    Interface* interface = new_song();
    Tracker_Instance* tracker = tracker_of(interface);
    Song& song = tracker->song;
    const int frames = 441;
    auto* block = (std::int16_t*)std::calloc(frames, 2);
    for (int i = 0; i < frames; i++) block[i] = (std::int16_t)(20000 * std::sin(2 * M_PI * i / frames));
    song.sample[0].data.set_data_ptr(block, frames, true);
    song.sample[0].data.set_c5_freq(44100);
    song.sample[0].data.set_loop_enabled(true);
    song.sample[0].data.set_loop_end(frames);
    song.sample[0].in_use = true;
    for (int n = 0; n < NOTE_COUNT; n++) song.instrument[0].layers[0].sample_table[n] = 0;
    Note& note = song.pattern[0].get_note_ref(1, 0);
    note.note = 60;
    note.instrument = 0;
    song.pattern[0].get_note(1, 0);
    song.set_order(0, 0);

    auto* page = qobject_cast<Pattern_Edit_Widget*>(interface->get_page(Interface::PAGE_PATTERNS));
    ASSERT_NE(page, nullptr);
    interface->set_current_page(Interface::PAGE_PATTERNS);
    QTest::qWait(3 * Interface::widget_timer_interval);
    ASSERT_TRUE(tracker->mixer.get_channel_scopes());
    ASSERT_NE(tracker->mixer.get_channel_scopes_feed(), nullptr);

    tracker->player.play_start_song();
    for (int rendered = 0; rendered < 22050;) rendered += tracker->mixer.write_samples(1000);  // as the audio thread
    EXPECT_GT(tracker->mixer.get_channel_scopes_feed()->level(1, 100), 0);
    EXPECT_EQ(tracker->mixer.get_channel_scopes_feed()->level(0, 100), 0);
    QTest::qWait(3 * Interface::widget_timer_interval);

    // The scope line of each channel: pixels away from its middle that are not the background.
    Pattern_Edit* view = page->get_pattern_edit();
    QImage image = view->grab().toImage();
    const int char_width = view->get_char_width(), line = view->get_line_height();
    const QColor background = Color_Theme::get_singleton_instance().get("pattern_edit", "hl_maj");
    auto drawn_off_middle = [&](int channel) {
        int count = 0;
        const int x = (Pattern_Edit::ROW_NUMBER_CHARS + channel * Pattern_Edit::CHANNEL_CHARS) * char_width;
        const int middle = Pattern_Edit::SCOPE_LINE * line + line / 2;
        for (int y = Pattern_Edit::SCOPE_LINE * line; y < (Pattern_Edit::SCOPE_LINE + 1) * line; y++)
            for (int px = x + 2; px < x + 12 * char_width; px++)
                if (std::abs(y - middle) > 1 && image.pixelColor(QPoint(px, y) * image.devicePixelRatio()) != background)
                    count++;
        return count;
    };
    EXPECT_GT(drawn_off_middle(1), 20) << "channel 2 shows its wave";
    EXPECT_EQ(drawn_off_middle(0), 0) << "channel 1 is a flat line";
    EXPECT_EQ(drawn_off_middle(2), 0);

    interface->set_current_page(Interface::PAGE_SAMPLES);
    QTest::qWait(3 * Interface::widget_timer_interval);
    EXPECT_FALSE(tracker->mixer.get_channel_scopes()) << "hidden scopes cost the audio thread nothing";
    tracker->player.play_stop();
}

// "Play As" sets every rule as the chosen tracker plays, as one step that undo takes back, and
// names the format the rules are closest to once a switch is changed by hand.
TEST_F(Song_Pages_Test, PlayAsSetsEveryRuleOfAFormat) {
    Interface* interface = new_song();
    Song& song = tracker_of(interface)->song;
    interface->set_current_page(Interface::PAGE_VARIABLES);
    auto* variables = qobject_cast<Variables_Edit*>(interface->get_page(Interface::PAGE_VARIABLES));
    auto* play_as = buddy_of<QComboBox>(variables, "Play As");
    ASSERT_NE(play_as, nullptr);
    EXPECT_EQ(play_as->currentText(), "Impulse Tracker");

    const int xm = play_as->findText("FastTracker 2");
    ASSERT_GE(xm, 0);
    play_as->setCurrentIndex(xm);
    emit play_as->activated(xm);
    EXPECT_EQ(song.variables.rules, Playback_Rules::of_format(Playback_Rules::Format::XM));
    auto* key_off = named<QCheckBox>(variables, "Key Off Cuts Without Envelope");
    ASSERT_NE(key_off, nullptr);
    EXPECT_TRUE(key_off->isChecked());
    EXPECT_TRUE(tracker_of(interface)->history.is_modified());

    key_off->click();
    EXPECT_FALSE(song.variables.rules.key_off_cuts_without_envelope);
    EXPECT_EQ(play_as->currentText(), "FastTracker 2, 1 rule changed");
    // Picking the line that names no format changes nothing.
    emit play_as->activated(0);
    EXPECT_FALSE(song.variables.rules.key_off_cuts_without_envelope);

    interface->undo();
    interface->undo();
    EXPECT_EQ(song.variables.rules, Playback_Rules::native());
    EXPECT_EQ(play_as->currentText(), "Impulse Tracker");
    EXPECT_FALSE(key_off->isChecked());

    // An IT song without instruments takes a rule from that; it still plays as IT does.
    song.variables.rules.unmapped_note_cuts = true;
    interface->set_current_page(Interface::PAGE_PATTERNS);
    interface->set_current_page(Interface::PAGE_VARIABLES);
    EXPECT_EQ(play_as->currentText(), "Impulse Tracker");
    song.variables.rules.key_off_cuts_without_envelope = true;
    interface->set_current_page(Interface::PAGE_PATTERNS);
    interface->set_current_page(Interface::PAGE_VARIABLES);
    EXPECT_EQ(play_as->currentText(), "Impulse Tracker, 1 rule changed");
    emit play_as->activated(play_as->findText("Impulse Tracker"));
    EXPECT_FALSE(song.variables.rules.key_off_cuts_without_envelope);
    EXPECT_TRUE(song.variables.rules.unmapped_note_cuts);
}
