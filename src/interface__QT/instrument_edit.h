#pragma once

#include <QWidget>

#include <vector>

#include "tracker/instrument_operations.h"
#include "tracker/song_history.h"

class Envelope_Editor;
class Interface;
class Instrument_List_Model;
class Mutex_Lock;
class Note_Sample_Table;
class Note_Sample_Table_Model;
class Property_List_Editor;
class QButtonGroup;
class QGroupBox;
class QSpinBox;
class QTabWidget;
class QTreeView;
class Tracker_Instance;

// The "Instruments" page: the instrument list, and for the selected instrument's current
// layer the note/sample table, the new-note and duplicate-check options, the volume, panning
// and pitch envelopes and every layer property. The slot operations of the "Instrument" menu
// come here; what they do to the song is Instrument_Operations'.
class Instrument_Edit : public QWidget {
    Q_OBJECT
public:
    enum Envelope_Kind { VOLUME_ENVELOPE, PANNING_ENVELOPE, PITCH_ENVELOPE, ENVELOPE_KINDS };

    explicit Instrument_Edit(Interface* interface, QWidget* parent = nullptr);

    // The slot operations, on the selected instrument.
    void copy_instrument();
    void cut_instrument();
    void paste_instrument();
    void delete_instrument();
    void delete_instrument_with_samples();
    void load_instrument();
    void save_instrument();

    void set_selected_instrument(int instrument);
    int get_selected_instrument() const { return selected_instrument; }
    // Everything shown again from the song (a load, an operation from elsewhere).
    void refresh();
    // The editors bound again to the selected instrument's current layer.
    void update_selected_instrument();

    void layer_selected(int layer);
    void nna_selected(int action);
    void dct_selected(int type);
    void dct_action_selected(int action);
    int get_selected_layer() const { return selected_layer; }

    QTreeView* get_instrument_list() const { return list_view; }
    Note_Sample_Table* get_table() const { return table; }
    Envelope_Editor* get_envelope_editor(Envelope_Kind kind) const { return envelope_editors[kind]; }
    QTabWidget* get_tabs() const { return tabs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void build();
    QWidget* build_list_column();
    QWidget* build_table_column();
    QWidget* build_layer_area();
    QWidget* build_envelope_tab(Envelope_Kind kind, Property_List_Editor*& properties);
    QWidget* build_layer_tab();
    QGroupBox* build_option_group(const QString& title, const char* const* names, int count, QButtonGroup*& group,
                                  void (Instrument_Edit::*selected)(int));
    void timer_callback();
    void sync_lock();
    void show_layer_buttons();
    void fill_samples();
    Instrument* instrument() const;
    Instrument::Layer* layer() const;
    template <class Change> void locked(Change change);
    void instruments_changed();
    void samples_changed();

    Interface* interface;
    Tracker_Instance* tracker;
    Instrument_Operations operations;
    int selected_instrument = 0;
    int selected_layer = 0;
    bool updating = false;  // the controls are being set from the song, not by the user
    // Every editor of the page writes under it: each edit becomes a step on the instrument.
    Song_History::Recording_Lock instrument_recorder;
    bool editors_bound = false;

    Instrument_List_Model* list_model = nullptr;
    QTreeView* list_view = nullptr;
    Note_Sample_Table_Model* table_model = nullptr;
    Note_Sample_Table* table = nullptr;
    QSpinBox* fill_spin = nullptr;
    QButtonGroup* layer_group = nullptr;
    QButtonGroup* nna_group = nullptr;
    QButtonGroup* dc_type_group = nullptr;
    QButtonGroup* dc_action_group = nullptr;
    QTabWidget* tabs = nullptr;
    Envelope_Editor* envelope_editors[ENVELOPE_KINDS] = {};
    Property_List_Editor* envelope_properties[ENVELOPE_KINDS] = {};
    Property_List_Editor* output_properties = nullptr;
    Property_List_Editor* instrument_properties = nullptr;
    std::vector<int> positions[ENVELOPE_KINDS];
};
