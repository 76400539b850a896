#pragma once

#include <QDialog>

class Effect;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Select Effect": every effect of every effect source, grouped by source and narrowed by a
// search over the names, since a system can have hundreds of plug-ins.
class Effect_Select_Popup : public QDialog {
    Q_OBJECT
public:
    explicit Effect_Select_Popup(QWidget* parent = nullptr);

    // Lists the sources' effects again when they changed since the last time; run() does it.
    void fill();
    // Shows the dialog; true when the user chose an effect with "Ok".
    bool run();
    // A new instance of the chosen effect (the caller owns it); null when none is chosen or
    // its source could not make it.
    Effect* create_selected_effect() const;

    // Chooses the effect whose identifier is `name`; false, and nothing chosen, if none has it.
    bool select_effect(const QString& name);
    // Shows only effects whose name contains the text (any case), choosing the first shown
    // when the chosen one is hidden.
    void set_filter(const QString& text);
    int get_shown_effect_count() const;

    QLineEdit* get_search_line() const { return search; }
    QTreeWidget* get_tree() const { return tree; }

private:
    static int effect_total();
    QTreeWidgetItem* chosen_item() const;
    void current_changed();

    QLineEdit* search;
    QTreeWidget* tree;
    QPushButton* ok_button;
    int filled_total = -1;
};
