#pragma once

#include <QMetaType>
#include <QString>
#include <QWidget>

#include "common/components/audio/mutex_lock.h"

class Property_Bridge;

// Signals carry the edited bridge; queued connections and QSignalSpy need to know the type.
Q_DECLARE_OPAQUE_POINTER(Property_Bridge*)
Q_DECLARE_METATYPE(Property_Bridge*)

// A control bound to one Property_Bridge: shows the bridge's value within its range and
// writes it back on every user edit. The bridge's value belongs to someone else, often read
// by the audio thread, so writes are made holding the lock given to set_lock().
class Property_Editor : public QWidget {
    Q_OBJECT
public:
    // The editor for the bridge's kind ("int", "float", "bool", "string", "options");
    // null for a kind without one.
    static Property_Editor* create(Property_Bridge* bridge, QWidget* parent = nullptr);

    Property_Bridge* get_bridge() const { return bridge; }
    // Binds another bridge of the same kind (a new song's channel, a selected effect);
    // false, and nothing changes, for a bridge of another kind.
    bool set_bridge(Property_Bridge* new_bridge);
    void set_lock(Mutex_Lock* new_lock) { lock = new_lock; }
    Mutex_Lock* get_lock() const { return lock; }

    // Shows the bridge's value when it changed elsewhere. Touches no widget otherwise, so a
    // view timer may call it on every tick.
    void refresh();
    // The caption to show next to the editor, or empty when the control shows it itself.
    QString get_caption() const;
    // The control a caption label names (QLabel::setBuddy).
    virtual QWidget* get_focus_control() const = 0;
    virtual bool shows_caption() const { return false; }

signals:
    // After a user edit was written to the bridge.
    void property_edited(Property_Bridge* bridge);

protected:
    explicit Property_Editor(Property_Bridge* bridge, QWidget* parent = nullptr);

    virtual bool accepts(Property_Bridge* candidate) const = 0;
    // Puts the bridge's value into the controls; `force` redraws even when it looks unchanged.
    virtual void show_value(bool force) = 0;
    // Called once the bridge is known, to name the controls and set their ranges.
    virtual void bind_controls() = 0;

    // Runs `apply` (the write to the bridge) under the lock, then shows what the bridge kept
    // (it may have clamped or cut the value) and announces the edit.
    template <class Apply> void write(Apply apply) {
        {
            Mutex_Lock_Guard guard(lock);
            apply();
        }
        written();
    }

    // Set while the editor changes its own controls, so that is not taken for an edit.
    bool updating = false;

    QString range_text(const QString& min, const QString& max) const;

private:
    void written();

    Property_Bridge* bridge;
    Mutex_Lock* lock = nullptr;
};
