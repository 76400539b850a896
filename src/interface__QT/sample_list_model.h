#pragma once

#include <QAbstractListModel>

#include <vector>

class Song;
class Song_History;

// The song's 99 sample slots as rows: number and name, used and empty slots told apart,
// the name edited in place, and the slots the player is sounding marked. Reads the song
// each time it is asked; refresh() after the song changed elsewhere.
class Sample_List_Model : public QAbstractListModel {
    Q_OBJECT
public:
    explicit Sample_List_Model(QObject* parent = nullptr);

    void set_song(Song* song);
    // Renames become steps of this history.
    void set_history(Song_History* to) { history = to; }
    Song* get_song() const { return song; }
    void refresh();
    void refresh_slot(int slot);
    // One flag per slot; rows whose flag changed are redrawn.
    void set_playing(const std::vector<bool>& playing);
    bool is_playing(int slot) const { return slot >= 0 && slot < (int)playing.size() && playing[slot]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    void sample_renamed(int slot);

private:
    Song* song = nullptr;
    Song_History* history = nullptr;
    std::vector<bool> playing;
};
