#include "tracker/instrument_operations.h"
#include "tracker/tracker_instance.h"

#include "interface__QT/instrument_list_model.h"

#include <QColor>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/property_editor_string.h"

Instrument_List_Model::Instrument_List_Model(Tracker_Instance* tracker, QObject* parent)
    : QAbstractTableModel(parent), tracker(tracker) {}

int Instrument_List_Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Song::MAX_INSTRUMENTS;
}

int Instrument_List_Model::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

int Instrument_List_Model::get_name_limit() const {
    return tracker->song.instrument[0].name_prop.get_max_length();
}

QVariant Instrument_List_Model::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Song::MAX_INSTRUMENTS) return {};
    const Instrument& instrument = tracker->song.instrument[index.row()];
    bool name = index.column() == NAME_COLUMN;
    switch (role) {
        case Qt::DisplayRole:
            // Names from modules are often padded with spaces, which would only be elided.
            if (name) return QString::fromStdString(instrument.name).trimmed();
            return QString::asprintf("%02d", index.row() + 1);
        case Qt::EditRole: return name ? QVariant(QString::fromStdString(instrument.name)) : QVariant();
        case Qt::ForegroundRole: {
            const Color_Theme& theme = Color_Theme::get_singleton_instance();
            QColor foreground = theme.get("lists", "foreground");
            if (Instrument_Operations(*tracker).is_used(index.row())) return foreground;
            QColor background = theme.get("lists", "background");
            return QColor((foreground.red() + background.red() * 2) / 3, (foreground.green() + background.green() * 2) / 3,
                          (foreground.blue() + background.blue() * 2) / 3);
        }
        case Qt::AccessibleTextRole:
            return QString("%1 %2").arg(index.row() + 1).arg(QString::fromStdString(instrument.name));
        default: return {};
    }
}

QVariant Instrument_List_Model::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == NUMBER_COLUMN ? tr("#") : tr("Name");
}

bool Instrument_List_Model::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != NAME_COLUMN || role != Qt::EditRole) return false;
    Instrument& instrument = tracker->song.instrument[index.row()];
    Song_History::Step step(&tracker->history, "Rename instrument");
    step.watch_instrument(index.row());
    instrument.name_prop.set(Property_Editor_String::fit_length(value.toString(), get_name_limit()));
    step.commit();
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), COLUMN_COUNT - 1));
    return true;
}

Qt::ItemFlags Instrument_List_Model::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == NAME_COLUMN) flags |= Qt::ItemIsEditable;
    return flags;
}

void Instrument_List_Model::refresh() {
    emit dataChanged(index(0, 0), index(Song::MAX_INSTRUMENTS - 1, COLUMN_COUNT - 1));
}
