// The keys every song window takes before its pages, and the status line of a song window
// while its song really plays through the driver manager and the audio thread.
#include <QRegularExpression>

#include "interface__QT/gui_test_support.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

void press(Interface* song_window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(song_window->currentWidget(), (Qt::Key)key, modifiers);
}

}  // namespace

TEST_F(Main_Window_Test, PlayKeysAndPageKeysActOnTheSongWindow) {
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    build_test_song(tracker->song);
    tracker->song.set_order(1, 2);
    tracker->song.get_pattern(2)->set_length(32);
    tracker->editor.set_cursor(0, 8, 0);

    Player_Data::Play_Status status;
    auto play_state = [&] {
        tracker->player.get_play_status(status);
        return QString("%1 %2 %3 %4").arg(status.play_mode).arg(status.order).arg(status.pattern).arg(status.row);
    };
    const struct {
        std::function<void()> before;
        int key;
        Qt::KeyboardModifiers modifiers;
        const char* state;  // mode, order, pattern, row
    } keys[] = {
        {[] {}, Qt::Key_F5, Qt::NoModifier, "2 0 0 0"},
        {[] {}, Qt::Key_F8, Qt::NoModifier, "0 0 0 0"},
        {[] {}, Qt::Key_F6, Qt::NoModifier, "1 0 0 0"},
        {[] {}, Qt::Key_F7, Qt::NoModifier, "2 0 0 8"},        // the pattern is in the order list
        {[&] { tracker->editor.cursor_goto_pattern(2); }, Qt::Key_F7, Qt::NoModifier, "2 1 2 8"},
        {[&] { tracker->editor.cursor_goto_pattern(5); }, Qt::Key_F7, Qt::NoModifier, "1 0 5 8"},  // alone
        {[] {}, Qt::Key_F7, Qt::ControlModifier, "1 0 5 8"},   // the editor's mark, not ours
        {[] {}, Qt::Key_F8, Qt::NoModifier, "0 0 0 0"},
    };
    for (const auto& k : keys) {
        k.before();
        press(song_window, k.key, k.modifiers);
        EXPECT_EQ(play_state(), k.state) << QKeySequence(k.key | k.modifiers).toString().toStdString();
    }

    const std::pair<int, Interface::Page> pages[] = {
        {Qt::Key_F3, Interface::PAGE_SAMPLES},     {Qt::Key_F4, Interface::PAGE_INSTRUMENTS},
        {Qt::Key_F11, Interface::PAGE_ORDERS},     {Qt::Key_F12, Interface::PAGE_VARIABLES},
        {Qt::Key_F2, Interface::PAGE_PATTERNS},
    };
    for (auto [key, page] : pages) {
        press(song_window, key);
        EXPECT_EQ(song_window->get_current_page(), page) << Interface::page_titles[page];
    }
    // The buffers page has no key of its own: Ctrl+PageDown and Ctrl+PageUp step through all.
    press(song_window, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(song_window->get_current_page(), Interface::PAGE_BUFFERS);
    press(song_window, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(song_window->get_current_page(), Interface::PAGE_PATTERNS);

    Editor::set_default_octave(4);
    press(song_window, Qt::Key_Asterisk);
    EXPECT_EQ(Editor::get_default_octave(), 5);
    for (int i = 0; i < 7; i++) press(song_window, Qt::Key_Slash);
    EXPECT_EQ(Editor::get_default_octave(), 0);
    Editor::set_default_octave(4);
}

TEST_F(Main_Window_Test, LetterKeysPlayTheSelectedSampleOrInstrumentLive) {
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    build_test_song(tracker->song);
    Player_Realtime_Keyboard& keyboard = tracker->keyboard;
    auto key = [&](QEvent::Type type, char c) {
        if (type == QEvent::KeyPress)
            QTest::keyPress(song_window->currentWidget(), c);
        else
            QTest::keyRelease(song_window->currentWidget(), c);
    };

    // On the patterns page the keys are the page's.
    key(QEvent::KeyPress, 'q');
    EXPECT_EQ(keyboard.get_latest_key(), -1);
    EXPECT_FALSE(keyboard.is_key_down(60));

    // Samples page: "q" at octave 4 previews sample 1 (index 0) at C-5.
    song_window->set_current_page(Interface::PAGE_SAMPLES);
    key(QEvent::KeyPress, 'q');
    EXPECT_EQ(keyboard.get_latest_key(), 60);
    EXPECT_EQ(keyboard.sample_get(), &tracker->song.sample[0].data);
    key(QEvent::KeyRelease, 'q');
    tracker->player.play_stop();
    song_window->stop_song();

    // Instruments page: the selected instrument, through a live channel; release stops it.
    song_window->set_current_page(Interface::PAGE_INSTRUMENTS);
    song_window->set_selected_instrument(1);
    key(QEvent::KeyPress, 'w');  // D-5
    EXPECT_TRUE(keyboard.is_key_down(62));
    EXPECT_EQ(keyboard.get_channel_note(0), 62);
    EXPECT_EQ(keyboard.instrument_get(), 1);
    key(QEvent::KeyRelease, 'w');
    EXPECT_FALSE(keyboard.is_key_down(62));
    EXPECT_EQ(keyboard.get_channel_note(0), -1);

    // Auto-repeated presses play nothing new.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier, "e", true);
    QApplication::sendEvent(song_window->currentWidget(), &repeat);
    EXPECT_FALSE(keyboard.is_key_down(64));
    song_window->stop_song();
}

TEST_F(Main_Window_Test, StatusLineFollowsTheSongPlayingThroughTheAudioThread) {
    // The texts for each state.
    char text[MDI_Sub_Window::STATUS_TEXT_SIZE];
    const struct {
        int mode, order, used, pattern, row, length, voices, buffers;
        const char* expected;
    } texts[] = {
        {2, 3, 12, 7, 21, 64, 9, 4, "Status: Playing, Order: 3/12, Pattern 7, Row 21/64, 9 Voices, 4 Buffers."},
        {1, 0, 12, 7, 5, 32, 2, 1, "Status: Playing, Pattern 7, Row 5/32, 2 Voices, 1 Buffers."},
        {0, 0, 12, 7, 5, 32, 3, 2, "Status: Active, 3 Voices, 2 Buffers."},
        {0, 0, 12, 7, 5, 32, 0, 2, "Status: Idle, 2 Buffers."},
        {0, 0, 12, 7, 5, 32, 0, 0, "Status: Idle."},
    };
    for (const auto& t : texts) {
        MDI_Sub_Window::format_status(text, t.mode, t.order, t.used, t.pattern, t.row, t.length, t.voices, t.buffers);
        EXPECT_STREQ(text, t.expected);
    }

    // Live: the disk writer paces the audio thread like a sound card.
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    session->wav_writer_driver.set_disk_writer_file(dir.file("live.wav"));
    driver_manager.request_buffer_size(512);
    ASSERT_TRUE(session->start_driver(2));
    MDI_Sub_Window* song_window = window->new_doc();
    Interface* editor = song_window->get_interface();
    build_test_song(tracker_of(editor)->song);
    ASSERT_TRUE(session->start_audio_thread());

    auto status_becomes = [&](const QString& pattern) {
        QRegularExpression expression("^" + pattern + "$");
        return QTest::qWaitFor([&] { return expression.match(song_window->get_status_text()).hasMatch(); }, 5000);
    };
    EXPECT_TRUE(status_becomes(R"(Status: Idle\.)")) << song_window->get_status_text();
    press(editor, Qt::Key_F5);
    EXPECT_TRUE(status_becomes(R"(Status: Playing, Order: 0/1, Pattern 0, Row ([1-9]|1[0-5])/16, [1-9]\d* Voices, [1-9]\d* Buffers\.)"))
        << song_window->get_status_text();
    press(editor, Qt::Key_F6);
    EXPECT_TRUE(status_becomes(R"(Status: Playing, Pattern 0, Row ([1-9]|1[0-5])/16, [1-9]\d* Voices, [1-9]\d* Buffers\.)"))
        << song_window->get_status_text();
    press(editor, Qt::Key_F8);
    EXPECT_TRUE(status_becomes(R"(Status: Idle\.)")) << song_window->get_status_text();
    // A live note with the song stopped: voices sound, nothing plays.
    editor->set_current_page(Interface::PAGE_INSTRUMENTS);
    QTest::keyPress(editor->currentWidget(), Qt::Key_Q, Qt::NoModifier);
    EXPECT_TRUE(status_becomes(R"(Status: Active, 1 Voices, 1 Buffers\.)")) << song_window->get_status_text();
    press(editor, Qt::Key_F8);
    EXPECT_TRUE(status_becomes(R"(Status: Idle\.)")) << song_window->get_status_text();
    // The driver really played: the file grew.
    session->stop_audio_thread();
    session->stop_driver();
    EXPECT_GT(Scratch_Dir::read(dir.file("live.wav")).size(), 44u + 44100u);
}

// On the Samples and Instruments pages a live note lasts while its key is held: its release
// stops it even when the octave or the page changed in between; a repeat's release does not.
TEST_F(Main_Window_Test, LiveNotesOfTheSampleAndInstrumentPagesStopOnRelease) {
    Interface* song_window = new_song();
    Tracker_Instance* tracker = tracker_of(song_window);
    build_test_song(tracker->song);
    Player_Realtime_Keyboard& keyboard = tracker->keyboard;
    const struct {
        const char* name;
        Interface::Page page;
        std::function<void()> meanwhile;
        bool auto_repeat_release;
        bool sounding_after;
    } cases[] = {
        {"sample", Interface::PAGE_SAMPLES, [] {}, false, false},
        {"sample, octave raised meanwhile", Interface::PAGE_SAMPLES, [] { Editor::default_octave_raise(); }, false,
         false},
        {"sample, auto-repeated release", Interface::PAGE_SAMPLES, [] {}, true, true},
        {"instrument", Interface::PAGE_INSTRUMENTS, [] {}, false, false},
        {"instrument, page changed meanwhile", Interface::PAGE_INSTRUMENTS,
         [&] { song_window->set_current_page(Interface::PAGE_VARIABLES); }, false, false},
        {"instrument, auto-repeated release", Interface::PAGE_INSTRUMENTS, [] {}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Editor::set_default_octave(4);
        song_window->set_current_page(c.page);
        QTest::keyPress(song_window->currentWidget(), 'q');
        auto sounding = [&] {
            return c.page == Interface::PAGE_SAMPLES ? keyboard.sample_get() != nullptr
                                                     : keyboard.get_channel_note(0) == 60;
        };
        ASSERT_TRUE(sounding());
        c.meanwhile();
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Q, Qt::NoModifier, "q", c.auto_repeat_release);
        QApplication::sendEvent(song_window->currentWidget(), &release);
        EXPECT_EQ(sounding(), c.sounding_after);
        song_window->stop_song();
    }
    Editor::set_default_octave(4);
}
