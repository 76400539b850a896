#include "tracker/song_history.h"
#include "trackercore/song.h"

#include "interface__QT/sample_list_model.h"

#include <QColor>

#include "common/interface__QT/color_theme.h"

namespace {

// Empty slots are written half-way between the list's text and its background.
QColor faded(const QColor& foreground, const QColor& background) {
    return QColor((foreground.red() + background.red()) / 2, (foreground.green() + background.green()) / 2,
                  (foreground.blue() + background.blue()) / 2);
}

}  // namespace

Sample_List_Model::Sample_List_Model(QObject* parent) : QAbstractListModel(parent), playing(Song::MAX_SAMPLES) {
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this, &Sample_List_Model::refresh);
}

void Sample_List_Model::set_song(Song* to) {
    beginResetModel();
    song = to;
    playing.assign(Song::MAX_SAMPLES, false);
    endResetModel();
}

void Sample_List_Model::refresh() {
    if (song) emit dataChanged(index(0), index(Song::MAX_SAMPLES - 1));
}

void Sample_List_Model::refresh_slot(int slot) {
    if (song && slot >= 0 && slot < Song::MAX_SAMPLES) emit dataChanged(index(slot), index(slot));
}

void Sample_List_Model::set_playing(const std::vector<bool>& now) {
    for (int slot = 0; slot < Song::MAX_SAMPLES && slot < (int)now.size(); slot++) {
        if (playing[slot] == now[slot]) continue;
        playing[slot] = now[slot];
        refresh_slot(slot);
    }
}

int Sample_List_Model::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !song ? 0 : Song::MAX_SAMPLES;
}

QVariant Sample_List_Model::data(const QModelIndex& index, int role) const {
    Sample* sample = song && index.isValid() ? song->get_sample(index.row()) : nullptr;
    if (!sample) return {};
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    switch (role) {
        case Qt::DisplayRole:
            return QString::asprintf("%02d ", index.row() + 1) + QString::fromStdString(sample->name);
        case Qt::EditRole:
            return QString::fromStdString(sample->name);
        case Qt::ToolTipRole:
            if (!sample->in_use) return tr("Empty slot");
            return QString::asprintf("%s, %i frames, %i Hz", sample->data.is_16bit() ? "16 bits" : "8 bits",
                                     sample->data.get_size(), sample->data.get_c5_freq());
        case Qt::ForegroundRole:
            if (sample->in_use) return theme.get("lists", "foreground");
            return faded(theme.get("lists", "foreground"), theme.get("lists", "background"));
        case Qt::BackgroundRole:
            if (is_playing(index.row())) return theme.get("lists", "being_played");
            return {};
        default:
            return {};
    }
}

bool Sample_List_Model::setData(const QModelIndex& index, const QVariant& value, int role) {
    Sample* sample = song && index.isValid() ? song->get_sample(index.row()) : nullptr;
    if (!sample || role != Qt::EditRole) return false;
    // Through the name's property, which keeps its length limit.
    Song_History::Step step(history, "Rename sample");
    step.watch_sample_settings(index.row());
    sample->name_prop.set(value.toString().toStdString());
    step.commit();
    emit dataChanged(index, index);
    emit sample_renamed(index.row());
    return true;
}

Qt::ItemFlags Sample_List_Model::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDropEnabled;
}
