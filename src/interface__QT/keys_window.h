#pragma once

#include <QDialog>

class QLineEdit;
class QMenuBar;
class QTreeWidget;

// Help > "Keys": every key of the song windows, the pattern view, the pages and the menus,
// grouped, with a field that narrows the list to the rows containing its text. The list is
// built from the handlers' own tables (Key_List) each time the window is shown, so rebinding a
// tracker key shows at once.
class Keys_Window : public QDialog {
    Q_OBJECT
public:
    explicit Keys_Window(const QMenuBar* menus, QWidget* parent = nullptr);

    void refresh();
    QTreeWidget* get_tree() const { return tree; }
    QLineEdit* get_find_field() const { return find_field; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void filter(const QString& text);

    const QMenuBar* menus;
    QLineEdit* find_field;
    QTreeWidget* tree;
};
