#include "tracker/editor.h"
#include "trackercore/song.h"

#include "interface__QT/note_sample_delegate.h"

#include <QComboBox>
#include <QSpinBox>

#include "interface__QT/note_sample_table_model.h"

QWidget* Note_Sample_Delegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                            const QModelIndex& index) const {
    if (index.column() == Note_Sample_Table_Model::NOTE_COLUMN) {
        auto* notes = new QComboBox(parent);
        notes->setAccessibleName(tr("Plays"));
        for (int n = 0; n < NOTE_COUNT; n++) notes->addItem(QString::fromStdString(Editor::get_single_note_string(n)));
        notes->setMaxVisibleItems(24);
        // A choice from the list is the whole edit.
        connect(notes, &QComboBox::activated, this, [this, notes] {
            auto* self = const_cast<Note_Sample_Delegate*>(this);
            emit self->commitData(notes);
            emit self->closeEditor(notes);
        });
        return notes;
    }
    auto* samples = new QSpinBox(parent);
    samples->setAccessibleName(tr("Sample"));
    samples->setRange(0, Song::MAX_SAMPLES);
    samples->setSpecialValueText(tr("None"));
    return samples;
}

void Note_Sample_Delegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    int value = index.data(Qt::EditRole).toInt();
    if (auto* notes = qobject_cast<QComboBox*>(editor)) notes->setCurrentIndex(value);
    if (auto* samples = qobject_cast<QSpinBox*>(editor)) samples->setValue(value);
}

void Note_Sample_Delegate::setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const {
    if (auto* notes = qobject_cast<QComboBox*>(editor)) model->setData(index, notes->currentIndex());
    if (auto* samples = qobject_cast<QSpinBox*>(editor)) {
        samples->interpretText();
        model->setData(index, samples->value());
    }
}
