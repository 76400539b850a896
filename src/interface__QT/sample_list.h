#pragma once

#include <QListView>
#include <QStringList>

class Sample_List_Model;

// The list of sample slots: arrows and page keys move through it, Return or a double click
// renames the slot in place, and sample files dropped on a slot are loaded there.
class Sample_List : public QListView {
    Q_OBJECT
public:
    explicit Sample_List(QWidget* parent = nullptr);

    Sample_List_Model* get_model() const { return model; }
    int get_current_slot() const { return currentIndex().isValid() ? currentIndex().row() : -1; }
    void set_current_slot(int slot);

signals:
    void current_slot_changed(int slot);
    // Local files dropped on `slot` (the first goes there, the others to the slots after it).
    void files_dropped(int slot, const QStringList& paths);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void apply_look();
    static QStringList local_files(const QMimeData* mime);
    int slot_at(const QPoint& position) const;

    Sample_List_Model* model;
};
