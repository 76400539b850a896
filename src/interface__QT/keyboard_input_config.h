#pragma once

#include <QWidget>

#include <vector>

class Key_Entry;
class QGridLayout;
class QTreeWidget;

// The "Keyboard" page, "Tracker Key Bindings": one Key_Entry per binding, in binding order,
// in a scrolling list; below it the fixed keys, which cannot be rebound, for reference.
class Keyboard_Input_Config : public QWidget {
    Q_OBJECT
public:
    static constexpr int COLUMNS = 2;

    explicit Keyboard_Input_Config(QWidget* parent = nullptr);

    // Shows every binding's key; makes the entries first if the bindings were made after
    // the page (the program entry creates them at start).
    void update();

    int get_entry_count() const { return (int)entries.size(); }
    Key_Entry* get_entry(int index) const;
    QTreeWidget* get_fixed_keys() const { return fixed_keys; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rebuild();

    QWidget* list;
    QGridLayout* grid;
    QTreeWidget* fixed_keys;
    std::vector<Key_Entry*> entries;
};
