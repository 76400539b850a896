#pragma once

#include <QTableView>

class Editor;
class Note_Sample_Table_Model;

// The note/sample table of a layer, edited from the keyboard as a tracker edits a pattern:
// in the "Plays" column a note key enters that note at the editing octave, in the "Sample"
// column two digits enter a sample number; both move down a row when the entry is complete.
// Delete, Backspace or "." put a row back (its own note, no sample). The mouse edits a cell
// on a double click.
class Note_Sample_Table : public QTableView {
    Q_OBJECT
public:
    // The widget property that tells the song window to leave typing keys to this view
    // rather than play them.
    static constexpr const char* TAKES_TYPING = "takes_typing";

    Note_Sample_Table(Note_Sample_Table_Model* model, const Editor* editor, QWidget* parent = nullptr);

    Note_Sample_Table_Model* get_model() const { return table_model; }
    // The first digit of a sample number typed so far, or -1.
    int get_pending_digit() const { return pending_digit; }

    QSize sizeHint() const override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    bool type_note(QKeyEvent* event, int row);
    bool type_sample(QKeyEvent* event, int row);
    void move_down(int row);
    void apply_font();

    Note_Sample_Table_Model* table_model;
    const Editor* editor;
    int pending_digit = -1;
};
