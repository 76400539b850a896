#pragma once

#include <QWidget>

class Effect;
class Effect_Chain;
class Effect_Select_Popup;
class Mutex_Lock;
class Property_List_Editor;
class QLabel;
class QListWidget;
class QPushButton;

// One bus's effect chain: the effects in processing order with buttons to add, move and
// remove them, and the parameters of the selected one. Chain changes are made holding the
// lock the audio thread renders under.
class Effect_Chain_Editor : public QWidget {
    Q_OBJECT
public:
    explicit Effect_Chain_Editor(QWidget* parent = nullptr);
    ~Effect_Chain_Editor() override;

    // Shows another chain (null: none, and every button is off). The selected effect stays
    // selected when the new chain holds it at the same place (a bus that moved in memory).
    void set_effect_chain(Effect_Chain* chain);
    Effect_Chain* get_effect_chain() const { return chain; }
    void set_lock(Mutex_Lock* lock);
    // Lists the chain again, keeping the selection where it can.
    void update_chain();
    // Shows no chain; called before the shown chain's effects are deleted.
    void clear();

    void add_effect_slot();
    void move_up_slot();
    void move_down_slot();
    void erase_slot();
    void effect_selected_slot(int index);

    int get_selected_effect() const { return selected; }
    Effect_Select_Popup* get_select_popup() const { return select_popup; }
    Property_List_Editor* get_property_editor() const { return property_editor; }
    QListWidget* get_effect_list() const { return effect_list; }

signals:
    // After an effect was added, moved or removed.
    void chain_edited();

private:
    void show_selected_effect();
    void refresh_buttons();
    Effect* selected_effect() const;

    Effect_Chain* chain = nullptr;
    int selected = -1;
    Effect* shown_effect = nullptr;  // whose parameters the property editor holds
    Mutex_Lock* lock = nullptr;
    bool updating = false;  // the list is being refilled, not clicked

    QListWidget* effect_list;
    QPushButton* add_button;
    QPushButton* up_button;
    QPushButton* down_button;
    QPushButton* erase_button;
    QLabel* parameters_caption;
    Property_List_Editor* property_editor;
    Effect_Select_Popup* select_popup;
};
