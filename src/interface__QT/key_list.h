#pragma once

#include <QString>

#include <vector>

class QMenuBar;

// Every key of the program, gathered from the tables its handlers read: the song window's,
// the pattern view's, the order list's and the sample list's, the tracker key bindings and
// the menus' shortcuts. Nothing here is written twice, so the list cannot drift from the keys.
class Key_List {
public:
    struct Row {
        QString group;
        QString keys;  // as the user presses them ("Alt+B", "F5", "z")
        QString action;
    };

    // Every key, grouped; the menus' shortcuts come from the menu bar given (null: none).
    static std::vector<Row> all_keys(const QMenuBar* menus);
    // The keys that cannot be rebound: the song window's and the pattern view's.
    static std::vector<Row> fixed_keys();
    // The fixed key that takes this character before a tracker key could ("Pattern view:
    // Next pattern"), or an empty text.
    static QString fixed_key_of(int character);

    // The text of a key with its modifiers, as menus show it.
    static QString key_text(int modifiers, int key);
};
