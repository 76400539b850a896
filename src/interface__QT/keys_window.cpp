#include "interface__QT/keys_window.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "interface__QT/key_list.h"

Keys_Window::Keys_Window(const QMenuBar* menus, QWidget* parent)
    : QDialog(parent), menus(menus), find_field(new QLineEdit(this)), tree(new QTreeWidget(this)) {
    setObjectName("keys_window");
    setWindowTitle("Keys");
    auto* find_label = new QLabel("Find:", this);
    find_label->setBuddy(find_field);
    find_field->setClearButtonEnabled(true);
    find_field->setPlaceholderText("a key or what it does");
    tree->setColumnCount(2);
    tree->setHeaderLabels({"Key", "Action"});
    tree->setRootIsDecorated(true);
    tree->setUniformRowHeights(true);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree->setAccessibleName("Keys");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(find_field, &QLineEdit::textChanged, this, &Keys_Window::filter);

    auto* find_row = new QHBoxLayout;
    find_row->addWidget(find_label);
    find_row->addWidget(find_field, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(find_row);
    layout->addWidget(tree, 1);
    layout->addWidget(buttons);
    // Room for the longest actions and a good part of the list, in the font's own measure,
    // within the screen.
    const int line = fontMetrics().height();
    QSize size(line * 52, line * 40);
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        size = size.boundedTo(screen->availableSize() * 9 / 10);
    resize(size);
    refresh();
}

void Keys_Window::showEvent(QShowEvent* event) {
    refresh();
    QDialog::showEvent(event);
}

void Keys_Window::refresh() {
    tree->clear();
    QTreeWidgetItem* group = nullptr;
    for (const Key_List::Row& row : Key_List::all_keys(menus)) {
        if (!group || group->text(0) != row.group) {
            group = new QTreeWidgetItem(tree, {row.group});
            group->setFirstColumnSpanned(true);
            QFont bold = group->font(0);
            bold.setBold(true);
            group->setFont(0, bold);
        }
        new QTreeWidgetItem(group, {row.keys, row.action});
    }
    tree->expandAll();
    filter(find_field->text());
}

void Keys_Window::filter(const QString& text) {
    for (int g = 0; g < tree->topLevelItemCount(); g++) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        const bool whole_group = group->text(0).contains(text, Qt::CaseInsensitive);
        int shown = 0;
        for (int r = 0; r < group->childCount(); r++) {
            QTreeWidgetItem* row = group->child(r);
            const bool match = whole_group || row->text(0).contains(text, Qt::CaseInsensitive) ||
                               row->text(1).contains(text, Qt::CaseInsensitive);
            row->setHidden(!match);
            shown += match;
        }
        group->setHidden(shown == 0);
    }
}
