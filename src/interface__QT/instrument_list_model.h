#pragma once

#include <QAbstractTableModel>

class Tracker_Instance;

// The song's 99 instrument slots as rows of number and name, read straight from the song.
// Names are edited in place within their length limit; slots that play nothing and have no
// name are shown dimmed.
class Instrument_List_Model : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NUMBER_COLUMN, NAME_COLUMN, COLUMN_COUNT };

    explicit Instrument_List_Model(Tracker_Instance* tracker, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The song changed elsewhere: every row is read again.
    void refresh();
    // The name's limit, in bytes of UTF-8.
    int get_name_limit() const;

private:
    Tracker_Instance* tracker;
};
