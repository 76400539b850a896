#include "interface__QT/sample_list.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

#include "common/interface__QT/color_theme.h"
#include "common/interface__QT/interface_preferences.h"
#include "interface__QT/sample_list_model.h"

Sample_List::Sample_List(QWidget* parent) : QListView(parent), model(new Sample_List_Model(this)) {
    setModel(model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    setUniformItemSizes(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setAccessibleName(tr("Samples"));
    apply_look();
    connect(&Color_Theme::get_singleton_instance(), &Color_Theme::colors_changed, this, &Sample_List::apply_look);
    connect(&Interface_Preferences::get_singleton_instance(), &Interface_Preferences::changed, this,
            &Sample_List::apply_look);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now) { emit current_slot_changed(now.isValid() ? now.row() : -1); });
    // Selected another way (assistive technology selects without moving the cursor), the
    // cursor follows, and with it the page.
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this](const QItemSelection& now) {
        if (!now.indexes().isEmpty() && now.indexes().first() != currentIndex()) setCurrentIndex(now.indexes().first());
    });
}

void Sample_List::apply_look() {
    const Color_Theme& theme = Color_Theme::get_singleton_instance();
    QPalette colors = palette();
    colors.setColor(QPalette::Base, theme.get("lists", "background"));
    colors.setColor(QPalette::Text, theme.get("lists", "foreground"));
    colors.setColor(QPalette::Highlight, theme.get("lists", "cursor"));
    colors.setColor(QPalette::HighlightedText, theme.get("lists", "background"));
    setPalette(colors);
    setFont(Interface_Preferences::get_singleton_instance().get_orderlist_font());
    // Room for the number and most of a name.
    setMinimumWidth(fontMetrics().averageCharWidth() * 24 + verticalScrollBar()->sizeHint().width());
}

void Sample_List::set_current_slot(int slot) {
    QModelIndex index = model->index(slot);
    if (!index.isValid() || index == currentIndex()) return;
    setCurrentIndex(index);
    scrollTo(index);
}

void Sample_List::keyPressEvent(QKeyEvent* event) {
    bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState &&
        currentIndex().isValid()) {
        edit(currentIndex());
        return;
    }
    QListView::keyPressEvent(event);
}

QStringList Sample_List::local_files(const QMimeData* mime) {
    QStringList paths;
    if (!mime || !mime->hasUrls()) return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    return paths;
}

int Sample_List::slot_at(const QPoint& position) const {
    QModelIndex index = indexAt(position);
    return index.isValid() ? index.row() : get_current_slot();
}

void Sample_List::dragEnterEvent(QDragEnterEvent* event) {
    if (local_files(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
}

void Sample_List::dragMoveEvent(QDragMoveEvent* event) {
    int slot = slot_at(event->position().toPoint());
    if (slot < 0 || local_files(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    // Shows where the file will go.
    setCurrentIndex(model->index(slot));
    event->acceptProposedAction();
}

void Sample_List::dropEvent(QDropEvent* event) {
    QStringList paths = local_files(event->mimeData());
    int slot = slot_at(event->position().toPoint());
    if (paths.isEmpty() || slot < 0) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit files_dropped(slot, paths);
}
