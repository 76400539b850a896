#include "common/interface__QT/text_limit_delegate.h"

#include <QLineEdit>

QWidget* Text_Limit_Delegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setMaxLength(max_length);
    return editor;
}
