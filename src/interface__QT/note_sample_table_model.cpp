#include "common/components/audio/mutex_lock.h"
#include "trackercore/player_data.h"
#include "tracker/editor.h"

#include "interface__QT/note_sample_table_model.h"

Note_Sample_Table_Model::Note_Sample_Table_Model(Song* song, Player_Data* player, QObject* parent)
    : QAbstractTableModel(parent), song(song), player(player) {}

void Note_Sample_Table_Model::set_layer(Instrument::Layer* new_layer) {
    if (new_layer == layer) return refresh();
    beginResetModel();
    layer = new_layer;
    endResetModel();
}

int Note_Sample_Table_Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !layer ? 0 : NOTE_COUNT;
}

int Note_Sample_Table_Model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QVariant Note_Sample_Table_Model::data(const QModelIndex& index, int role) const {
    if (!layer || !index.isValid() || index.row() >= NOTE_COUNT) return {};
    int row = index.row();
    int slot = layer->sample_table[row];
    bool has_sample = slot < Song::MAX_SAMPLES;
    if (index.column() == NOTE_COLUMN) {
        switch (role) {
            case Qt::DisplayRole: return QString::fromStdString(Editor::get_single_note_string(layer->note_table[row]));
            case Qt::EditRole: return (int)layer->note_table[row];
            case Qt::TextAlignmentRole: return (int)Qt::AlignCenter;
            default: return {};
        }
    }
    switch (role) {
        case Qt::DisplayRole: return has_sample ? QString::asprintf("%02d", slot + 1) : QString("..");
        case Qt::EditRole: return has_sample ? slot + 1 : 0;
        case Qt::TextAlignmentRole: return (int)Qt::AlignCenter;
        case Qt::ToolTipRole:
            if (!has_sample) return tr("No sample");
            if (!song->sample[slot].in_use) return tr("Sample %1 (empty)").arg(slot + 1);
            return tr("Sample %1: %2").arg(slot + 1).arg(QString::fromStdString(song->sample[slot].name));
        default: return {};
    }
}

QVariant Note_Sample_Table_Model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return QString::fromStdString(Editor::get_single_note_string(section));
    return section == NOTE_COLUMN ? tr("Plays") : tr("Sample");
}

bool Note_Sample_Table_Model::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || role != Qt::EditRole) return false;
    bool ok = false;
    int number = value.toInt(&ok);
    if (!ok) return false;
    if (index.column() == NOTE_COLUMN) return set_note(index.row(), number);
    return set_sample(index.row(), number == 0 ? NO_SAMPLE : number - 1);
}

Qt::ItemFlags Note_Sample_Table_Model::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) | Qt::ItemIsEditable;
}

template <class Change> void Note_Sample_Table_Model::locked(Change change) {
    if (lock) {
        Mutex_Lock_Guard guard(lock);
        change();
        return;
    }
    player->lock_player_variables();
    change();
    player->unlock_player_variables();
}

bool Note_Sample_Table_Model::set_note(int row, int note) {
    if (!layer || row < 0 || row >= NOTE_COUNT || note < 0 || note >= NOTE_COUNT) return false;
    locked([&] { layer->note_table[row] = (unsigned char)note; });
    emit dataChanged(index(row, NOTE_COLUMN), index(row, NOTE_COLUMN));
    return true;
}

bool Note_Sample_Table_Model::set_sample(int row, int slot) {
    if (!layer || row < 0 || row >= NOTE_COUNT) return false;
    if (slot != NO_SAMPLE && (slot < 0 || slot >= Song::MAX_SAMPLES)) return false;
    locked([&] { layer->sample_table[row] = (unsigned char)slot; });
    emit dataChanged(index(row, SAMPLE_COLUMN), index(row, SAMPLE_COLUMN));
    return true;
}

void Note_Sample_Table_Model::fill_samples(int slot) {
    if (!layer || (slot != NO_SAMPLE && (slot < 0 || slot >= Song::MAX_SAMPLES))) return;
    locked([&] {
        for (unsigned char& entry : layer->sample_table) entry = (unsigned char)slot;
    });
    emit dataChanged(index(0, SAMPLE_COLUMN), index(NOTE_COUNT - 1, SAMPLE_COLUMN));
}

void Note_Sample_Table_Model::reset_notes() {
    if (!layer) return;
    locked([&] {
        for (int n = 0; n < NOTE_COUNT; n++) layer->note_table[n] = (unsigned char)n;
    });
    emit dataChanged(index(0, NOTE_COLUMN), index(NOTE_COUNT - 1, NOTE_COLUMN));
}

void Note_Sample_Table_Model::refresh() {
    if (layer) emit dataChanged(index(0, 0), index(NOTE_COUNT - 1, COLUMN_COUNT - 1));
}
