#include "common/components/audio/sample_data.h"
#include "tracker/editor.h"
#include "tracker/player_realtime_keyboard.h"
#include "trackercore/file_format_manager.h"

#include "interface__QT/sample_player_fdialog.h"

#include <QAbstractSpinBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>

#include "interface__QT/file_dialog.h"

namespace {

// The file name is typed there: its keys are not notes.
bool is_text_entry(QObject* object) { return qobject_cast<QLineEdit*>(object) || qobject_cast<QAbstractSpinBox*>(object); }

}  // namespace

Sample_Player_FDialog::Sample_Player_FDialog(QWidget* parent) : QFileDialog(parent, "Load Sample", QString(), FILTER) {
    // The dialog's own widgets: the desktop's dialog would not let us hear the highlighted file.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
    setFileMode(QFileDialog::ExistingFile);
    File_Dialog::open_in_last_folder(*this, File_History::SAMPLES);
    connect(this, &QFileDialog::currentChanged, this, &Sample_Player_FDialog::preview_file);
}

Sample_Player_FDialog::~Sample_Player_FDialog() { stop_preview(); }

void Sample_Player_FDialog::set_binds(File_Format_Manager* to_formats, Player_Realtime_Keyboard* to_keyboard,
                                      const Editor* to_editor) {
    stop_preview();
    formats = to_formats;
    keyboard = to_keyboard;
    editor = to_editor;
}

// The keyboard must let go of the data before it is freed.
void Sample_Player_FDialog::stop_preview() {
    held_notes.release_all();
    if (keyboard && previewed) {
        keyboard->sample_stop_all();
        keyboard->sample_set(nullptr);
    }
    previewed.reset();
}

void Sample_Player_FDialog::preview_file(const QString& path) {
    if (!formats) return;
    if (keyboard) keyboard->sample_stop_all();
    if (!QFileInfo(path).isFile()) return;
    QByteArray name = path.toLocal8Bit();
    stop_preview();
    // A file that is no sample simply stays silent.
    previewed.reset(formats->load_sample(name.constData()));
}

void Sample_Player_FDialog::showEvent(QShowEvent* event) {
    // Every child, whichever has the focus, passes its keys by here first.
    for (QWidget* child : findChildren<QWidget*>()) {
        child->removeEventFilter(this);
        child->installEventFilter(this);
    }
    QFileDialog::showEvent(event);
}

void Sample_Player_FDialog::done(int result) {
    stop_preview();
    if (result == QDialog::Accepted && !selectedFiles().isEmpty())
        File_Dialog::remember_folder(selectedFiles().first(), File_History::SAMPLES);
    QFileDialog::done(result);
}

bool Sample_Player_FDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && !is_text_entry(watched) && key_pressed(static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::KeyRelease && key_released(static_cast<QKeyEvent*>(event)) && !is_text_entry(watched))
        return true;
    return QFileDialog::eventFilter(watched, event);
}

bool Sample_Player_FDialog::key_pressed(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (event->key() == Qt::Key_Slash) {
        Editor::default_octave_lower();
        return true;
    }
    if (event->key() == Qt::Key_Asterisk) {
        Editor::default_octave_raise();
        return true;
    }
    if (!previewed || !keyboard || !editor || event->isAutoRepeat() || event->text().size() != 1) return false;
    QChar character = event->text().at(0);
    QChar upper = character.toUpper();
    if (!((upper >= 'A' && upper <= 'Z') || (upper >= '0' && upper <= '9'))) return false;
    int note = editor->get_note_from_key(character.toLatin1());
    if (note < 0 || note >= NOTE_COUNT) return false;
    for (const Held_Notes::Held& held : held_notes.release(event->key())) keyboard->sample_stop_key(held.note);
    keyboard->sample_stop_key(note);
    keyboard->sample_set(previewed.get());
    keyboard->sample_press_key(note);
    held_notes.hold(event->key(), 0, note);
    return true;
}

bool Sample_Player_FDialog::key_released(QKeyEvent* event) {
    if (event->isAutoRepeat() || !keyboard) return false;
    std::vector<Held_Notes::Held> released = held_notes.release(event->key());
    for (const Held_Notes::Held& held : released) keyboard->sample_stop_key(held.note);
    return !released.empty();
}
