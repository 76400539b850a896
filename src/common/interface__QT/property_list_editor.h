#pragma once

#include <QScrollArea>

#include <vector>

#include "common/components/data/property_bridge.h"

class Mutex_Lock;
class Property_Editor;
class QFormLayout;

// A scrollable form with one editor per property, captioned with the properties' names:
// the song variables, channel defaults, instrument layers and effect parameters.
class Property_List_Editor : public QScrollArea {
    Q_OBJECT
public:
    explicit Property_List_Editor(QWidget* parent = nullptr);

    // Replaces the shown editors; an empty list shows none. Kinds without an editor are left out.
    void set_properties(const Property_Bridge_List& properties);
    void set_lock(Mutex_Lock* lock);
    // Shows values changed elsewhere; cheap when nothing changed.
    void refresh();

    int get_editor_count() const { return (int)editors.size(); }
    Property_Editor* get_editor(int index) const;

signals:
    void property_edited(Property_Bridge* bridge);

private:
    void clear();

    QWidget* form_widget;
    QFormLayout* form;
    std::vector<Property_Editor*> editors;
    Mutex_Lock* lock = nullptr;
};
