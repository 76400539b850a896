#include "tracker/editor.h"

#include "interface__QT/note_sample_table.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>

#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/note_sample_delegate.h"
#include "interface__QT/note_sample_table_model.h"

namespace {

bool is_clear_key(int key, const QString& text) {
    return key == Qt::Key_Delete || key == Qt::Key_Backspace || text == ".";
}

}  // namespace

Note_Sample_Table::Note_Sample_Table(Note_Sample_Table_Model* model, const Editor* editor, QWidget* parent)
    : QTableView(parent), table_model(model), editor(editor) {
    setProperty(TAKES_TYPING, true);
    setModel(model);
    setItemDelegate(new Note_Sample_Delegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::DoubleClicked);
    setTabKeyNavigation(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    apply_font();
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this,
            &Note_Sample_Table::apply_font);
}

void Note_Sample_Table::apply_font() {
    QFont font = Interface_Preferences::get_singleton_instance().get_orderlist_font();
    setFont(font);
    verticalHeader()->setFont(font);
    QFontMetrics metrics(font);
    verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    verticalHeader()->setMinimumWidth(metrics.horizontalAdvance("C#00") + 8);
    setMinimumWidth(sizeHint().width());
    updateGeometry();
}

// Three short columns: no wider than they need to be, so the layer's editors get the room.
QSize Note_Sample_Table::sizeHint() const {
    QFontMetrics metrics(font());
    int columns = 2 * (metrics.horizontalAdvance("Sample") + 4 * metrics.horizontalAdvance('0'));
    int header = std::max(verticalHeader()->minimumWidth(), verticalHeader()->sizeHint().width());
    int width = header + columns + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
    return QSize(width, QTableView::sizeHint().height());
}

void Note_Sample_Table::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    pending_digit = -1;
    QTableView::currentChanged(current, previous);
}

void Note_Sample_Table::move_down(int row) {
    pending_digit = -1;
    int next = std::min(row + 1, NOTE_COUNT - 1);
    setCurrentIndex(table_model->index(next, currentIndex().column()));
}

bool Note_Sample_Table::type_note(QKeyEvent* event, int row) {
    if (is_clear_key(event->key(), event->text())) {
        table_model->set_note(row, row);
        move_down(row);
        return true;
    }
    if (event->text().size() != 1) return false;
    int note = editor->get_note_from_key(event->text().at(0).toLatin1());
    if (note < 0 || note >= NOTE_COUNT) return false;
    table_model->set_note(row, note);
    move_down(row);
    return true;
}

bool Note_Sample_Table::type_sample(QKeyEvent* event, int row) {
    if (is_clear_key(event->key(), event->text())) {
        table_model->set_sample(row, Note_Sample_Table_Model::NO_SAMPLE);
        move_down(row);
        return true;
    }
    if (event->text().size() != 1 || !event->text().at(0).isDigit()) return false;
    int digit = event->text().at(0).digitValue();
    if (pending_digit < 0) {
        // The first digit alone is already a sample number; a second one makes two digits of it.
        table_model->set_sample(row, digit == 0 ? Note_Sample_Table_Model::NO_SAMPLE : digit - 1);
        pending_digit = digit;
        return true;
    }
    int number = pending_digit * 10 + digit;
    table_model->set_sample(row, number == 0 ? Note_Sample_Table_Model::NO_SAMPLE : number - 1);
    move_down(row);
    return true;
}

void Note_Sample_Table::keyPressEvent(QKeyEvent* event) {
    QModelIndex current = currentIndex();
    bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && event->key() == Qt::Key_Slash) {
        Editor::default_octave_lower();
        return;
    }
    if (plain && event->key() == Qt::Key_Asterisk) {
        Editor::default_octave_raise();
        return;
    }
    if (plain && current.isValid() && state() != EditingState) {
        bool taken = current.column() == Note_Sample_Table_Model::NOTE_COLUMN ? type_note(event, current.row())
                                                                                : type_sample(event, current.row());
        if (taken) return;
    }
    QTableView::keyPressEvent(event);
}
