#pragma once

#include <QWidget>

#include <functional>
#include <vector>

class Mutex_Lock;
class Property_Bridge;
class Property_Editor;
class QComboBox;
class QFormLayout;
class QGroupBox;
class Song;

// The "Variables" page: the song's name and message, speed and tempo, row highlights,
// mixing and compatibility switches, each a property editor bound to the song.
class Variables_Edit : public QWidget {
    Q_OBJECT
public:
    explicit Variables_Edit(QWidget* parent = nullptr);

    // Binds every editor to the song's variables (again after a load).
    void set_song(Song* song);
    void set_variables_lock(Mutex_Lock* lock);

    // The editor bound to the property with this caption ("Name", "Tempo", ...), or null.
    Property_Editor* get_editor(const QString& caption) const;

signals:
    // Nothing on this page changes what the instrument list shows; kept for the pages that
    // listen to it.
    void update_instrument_list_needed();
    void song_name_changed();
    // The pattern view draws its highlights from these.
    void row_hilights_changed();

protected:
    void showEvent(QShowEvent* event) override;

private:
    using Bridge_Of = std::function<Property_Bridge*(Song&)>;
    struct Binding {
        Property_Editor* editor;
        Bridge_Of bridge_of;
    };
    void build(Song* song);
    QGroupBox* add_group(const QString& title, QFormLayout** form);
    void add_editor(QFormLayout* form, Song* song, const Bridge_Of& bridge_of, bool multi_line = false);
    void edited(Property_Bridge* bridge);
    // The format whose rules the song's match ("..., changed" when some differ).
    void show_rules_format();
    void take_rules_of(int format);

    QWidget* content;  // the groups, inside a scroll area
    Song* song = nullptr;
    Mutex_Lock* lock = nullptr;
    std::vector<Binding> bindings;
    QComboBox* rules_format = nullptr;
    bool built = false;
};
