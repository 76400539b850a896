#pragma once

#include <QAbstractTableModel>

#include "trackercore/instrument.h"

class Mutex_Lock;
class Player_Data;
class Song;

// One layer's note/sample table as 120 rows, one per played note: the note it actually plays
// and the sample slot it plays (shown 1..99, none as ".."). Read straight from the layer;
// every write is made under the player's variables lock, as the audio thread reads the table
// at each note.
class Note_Sample_Table_Model : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NOTE_COLUMN, SAMPLE_COLUMN, COLUMN_COUNT };
    static constexpr int NO_SAMPLE = 255;

    Note_Sample_Table_Model(Song* song, Player_Data* player, QObject* parent = nullptr);

    // Null shows no rows.
    void set_layer(Instrument::Layer* layer);
    Instrument::Layer* get_layer() const { return layer; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // The edit role is the note (0..119), or the sample's number as shown (0 none, 1..99).
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Each is false, changing nothing, outside the table or the value's range.
    bool set_note(int row, int note);
    bool set_sample(int row, int slot);  // 0..98, or NO_SAMPLE
    // Every note plays this sample slot (or none).
    void fill_samples(int slot);
    // Every note plays itself again.
    void reset_notes();
    // Held around every write in place of the player's lock (the page's recording lock).
    void set_lock(Mutex_Lock* to) { lock = to; }
    // The song changed elsewhere: every row is read again.
    void refresh();

private:
    template <class Change> void locked(Change change);

    Song* song;
    Player_Data* player;
    Mutex_Lock* lock = nullptr;
    Instrument::Layer* layer = nullptr;
};
