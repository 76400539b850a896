#pragma once

#include <QStyledItemDelegate>

// Mouse editing of the note/sample table: a list of the 120 notes for the note a row plays,
// a spin box of sample numbers (0 = none) for its sample.
class Note_Sample_Delegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
};
