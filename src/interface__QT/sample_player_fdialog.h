#pragma once

#include <QFileDialog>

#include <memory>

#include "interface__QT/held_notes.h"

class Editor;
class File_Format_Manager;
class Player_Realtime_Keyboard;
class Sample_Data;

// The sample file dialog: the file last highlighted is loaded on its own (not into the song),
// and the letter and digit keys play it on the live keyboard, while held, so it can be heard
// before it is chosen. "/" and "*" lower and raise the octave. Keys typed into the file name stay there.
class Sample_Player_FDialog : public QFileDialog {
    Q_OBJECT
public:
    static constexpr const char* FILTER = "Sample Files (*.ws *.WS *.is *.IS *.wav *.WAV)";

    explicit Sample_Player_FDialog(QWidget* parent = nullptr);
    ~Sample_Player_FDialog() override;

    void set_binds(File_Format_Manager* formats, Player_Realtime_Keyboard* keyboard, const Editor* editor);
    // What a highlight does: loads the file for previewing (directories are skipped).
    void preview_file(const QString& path);
    Sample_Data* get_previewed() const { return previewed.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    bool key_pressed(QKeyEvent* event);
    bool key_released(QKeyEvent* event);
    void stop_preview();

    File_Format_Manager* formats = nullptr;
    Player_Realtime_Keyboard* keyboard = nullptr;
    const Editor* editor = nullptr;
    std::unique_ptr<Sample_Data> previewed;
    Held_Notes held_notes;  // a note stops when its key goes up
};
