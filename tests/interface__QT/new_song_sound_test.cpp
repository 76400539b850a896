// A new song, as a musician meets it first: a sample loaded into slot 01 through the sample
// page plays from a note typed in the pattern, and a note that cannot sound says why.
#include <QSpinBox>

#include <cmath>
#include <cstdint>
#include <vector>

#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"
#include "interface__QT/pattern_edit.h"
#include "interface__QT/pattern_edit_widget.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

// A WAV of a steady tone, written by a tracker instance of its own.
std::string write_tone(const Scratch_Dir& dir) {
    Tracker_Instance ti;
    const int frames = 4410;
    auto* block = (std::int16_t*)std::calloc(frames, 2);
    for (int i = 0; i < frames; i++) block[i] = (std::int16_t)(16000 * std::sin(2 * M_PI * 441 * i / 44100.0));
    Sample& sample = ti.song.sample[0];
    sample.data.set_data_ptr(block, frames, true);
    sample.data.set_c5_freq(44100);
    sample.data.set_loop_enabled(true);
    sample.data.set_loop_begin(0);
    sample.data.set_loop_end(frames);
    sample.in_use = true;
    std::string path = dir.file("tone.wav");
    EXPECT_EQ(ti.file_format_manager.save_sample(path.c_str(), 0), 0);
    return path;
}

double rms(const std::vector<std::int16_t>& samples) {
    double sum = 0;
    for (std::int16_t s : samples) sum += (double)s * s;
    return samples.empty() ? 0 : std::sqrt(sum / (double)samples.size());
}

}  // namespace

TEST_F(Main_Window_Test, NewSongPlaysALoadedSampleFromThePatternAndSaysWhyANoteIsSilent) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    const std::string tone = write_tone(dir);
    const struct {
        const char* name;
        bool load;           // the tone into sample 01 through the "Sample" menu
        int instrument;      // set in the page's box before the note, as the user counts; 0 keeps it
        bool audible;
        const char* hint;    // the song window's status bar after the note
    } cases[] = {
        {"a loaded sample plays at once", true, 0, true, "Instrument 01 made: every note plays sample 01"},
        {"nothing loaded", false, 0, false, "Instrument 01 has no sample: load one on the Samples page, F3"},
        {"another instrument", true, 3, false, "Instrument 03 has no sample: load one on the Samples page, F3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MDI_Sub_Window* song_window = window->new_doc();
        Interface* interface = song_window->get_interface();
        Tracker_Instance* tracker = tracker_of(interface);
        auto* patterns = qobject_cast<Pattern_Edit_Widget*>(interface->get_page(Interface::PAGE_PATTERNS));
        ASSERT_NE(patterns, nullptr);
        auto* instrument_box = buddy_of<QSpinBox>(patterns, "Instrument:");
        ASSERT_NE(instrument_box, nullptr);
        EXPECT_EQ(instrument_box->value(), 1) << "a new song starts on instrument 01";

        if (c.load) {
            interface->set_current_page(Interface::PAGE_SAMPLES);
            Modal_Answers answers;
            answers.file(QString::fromStdString(tone));
            item("Sample", MDI_Main_Window::SAMPLE_LOAD)->trigger();
        }
        ASSERT_EQ(tracker->song.sample[0].in_use, c.load);
        if (c.load) {
            EXPECT_EQ(song_window->get_hint_text(), "Instrument 01 made: every note plays sample 01");
        }
        if (c.instrument) instrument_box->setValue(c.instrument);

        interface->set_current_page(Interface::PAGE_PATTERNS);
        QTest::keyClick(patterns->get_pattern_edit(), Qt::Key_Z);  // C-4 on channel 1, row 0
        const Note typed = tracker->song.pattern[0].get_note(0, 0);
        EXPECT_EQ(typed.note, 48);
        EXPECT_EQ(typed.instrument, c.instrument ? c.instrument - 1 : 0);
        EXPECT_EQ(song_window->get_hint_text(), c.hint);

        // The pattern, through the song's own mixer as the sound driver pulls it.
        interface->stop_song();
        interface->play_pattern();
        std::vector<std::int16_t> sound = render_offline(tracker->mixer, 22050, 1024);
        interface->stop_song();
        if (c.audible)
            EXPECT_GT(rms(sound), 100.0);
        else
            EXPECT_EQ(rms(sound), 0.0);
    }
}

// A note previewed on the instrument page says the same, and nothing when it can sound.
TEST_F(Main_Window_Test, InstrumentPagePreviewSaysWhyItIsSilent) {
    MDI_Sub_Window* song_window = window->new_doc();
    Interface* interface = song_window->get_interface();
    build_test_song(tracker_of(interface)->song);  // instruments 01 and 02 play samples
    interface->set_current_page(Interface::PAGE_INSTRUMENTS);
    const struct {
        int instrument;  // zero-based
        const char* hint;
    } cases[] = {
        {0, ""},
        {4, "Instrument 05 has no sample: load one on the Samples page, F3"},
    };
    for (const auto& c : cases) {
        song_window->show_hint(QString());
        interface->set_selected_instrument(c.instrument);
        QTest::keyClick(interface->currentWidget(), Qt::Key_Q);
        EXPECT_EQ(song_window->get_hint_text(), c.hint) << c.instrument;
    }
    interface->stop_song();
}
