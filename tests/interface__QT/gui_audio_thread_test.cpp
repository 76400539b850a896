// Four song windows with their timers running while the audio thread plays one of them: the
// windows read only what the player publishes under the info lock, and change the song
// only under the variables lock. Run under ThreadSanitizer by `make tsan-test`.
#include <QRegularExpression>

#include <set>

#include "interface__QT/gui_test_support.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

class GuiAudioThread : public Main_Window_Test {};

TEST_F(GuiAudioThread, SongWindowTimersRunWhileASongPlays) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    session->wav_writer_driver.set_disk_writer_file(dir.file("live.wav"));
    driver_manager.request_buffer_size(256);
    ASSERT_TRUE(session->start_driver(2));
    std::vector<MDI_Sub_Window*> windows;
    for (int i = 0; i < 4; i++) {
        windows.push_back(window->new_doc());
        build_test_song(windows.back()->get_interface()->get_tracker()->song, i);
    }
    ASSERT_TRUE(session->start_audio_thread());
    Interface* playing = windows[0]->get_interface();
    playing->play_song();

    // Rows go by in the status line while the other windows stay idle, the pages change and
    // live notes come and go on a second song.
    std::set<std::string> rows_seen;
    QRegularExpression row(R"(Row (\d+)/16)");
    Interface* live = windows[1]->get_interface();
    live->set_current_page(Interface::PAGE_INSTRUMENTS);
    for (int step = 0; step < 60; step++) {
        QTest::qWait(25);
        QRegularExpressionMatch match = row.match(windows[0]->get_status_text());
        if (match.hasMatch()) rows_seen.insert(match.captured(1).toStdString());
        windows[2]->get_interface()->set_current_page((Interface::Page)(step % Interface::PAGE_COUNT));
        if (step % 10 == 0) QTest::keyPress(live->currentWidget(), 'q');
        if (step % 10 == 5) QTest::keyRelease(live->currentWidget(), 'q');
        if (step == 30) playing->play_pattern();
    }
    live->stop_song();
    playing->stop_song();
    session->stop_audio_thread();
    EXPECT_GE(rows_seen.size(), 8u) << "the status line did not follow the song";
    EXPECT_STREQ(windows[3]->get_status_text(), "Status: Idle.");
}
