#pragma once

#include <QStyledItemDelegate>

// Edits an item's text in place in a line field that takes no more than a given number of
// characters, so a name stops growing at its limit instead of being cut afterwards.
class Text_Limit_Delegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    Text_Limit_Delegate(int max_length, QObject* parent = nullptr)
        : QStyledItemDelegate(parent), max_length(max_length) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

private:
    int max_length;
};
