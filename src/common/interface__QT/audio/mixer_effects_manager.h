#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include <vector>

class Effect_Chain_Editor;
class Mixer;
class Mutex_Lock;
class QComboBox;
class QGroupBox;
class QListWidget;
class QMenu;
class QPushButton;
class QSpinBox;

// The song mixer's routing: its channels and global buffers with their level meters, the
// effect chain of the selected bus and where that bus sends its signal. Every change is made
// holding the lock the audio thread renders under; reads for display take none.
class Mixer_Effects_Manager : public QWidget {
    Q_OBJECT
public:
    explicit Mixer_Effects_Manager(QWidget* parent = nullptr);
    ~Mixer_Effects_Manager() override;

    // Shows a mixer; the same one again after a song was loaded into it.
    void set_mixer(Mixer* mixer);
    Mixer* get_mixer() const { return mixer; }
    void set_lock(Mutex_Lock* lock);

    // Rebuilds both lists and everything below them (also after a song was loaded).
    using QWidget::update;
    void update();
    // Hands the selected bus's effect chain to the chain editor.
    void update_selected_buffer();
    // Lists the selected bus's outputs and shows the selected one's send settings.
    void update_send_parameters();
    // Moves the meters on by what the mixer measured since the last call; the song window's
    // timer calls it while the page is shown.
    void update_meters();

    void channel_selected_slot(int channel);
    void buffer_selected_slot(int buffer);
    void create_buffer_slot();
    void erase_selected_buffer_slot();
    void output_selected_slot(int output);
    void output_add_slot();
    void at_popup_show_slot();
    void popup_selected_buffer_slot(int id);
    void output_remove_slot();
    void output_send_level_changed_slot(int level);
    void output_send_control_changed_slot(int control);

    // The bus as one index: channels first, then the global buffers.
    int get_selected_bus() const { return selected_bus; }
    int get_selected_output() const { return selected_output; }
    Effect_Chain_Editor* get_chain_editor() const { return chain_editor; }
    QMenu* get_destination_menu() const { return destination_menu; }
    QListWidget* get_channel_list() const { return channel_list; }
    QListWidget* get_buffer_list() const { return buffer_list; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Bus_Operations;
    static const Bus_Operations CHANNEL_OUTPUTS;
    static const Bus_Operations BUFFER_OUTPUTS;
    struct Meter {
        double left = 0;
        double right = 0;
    };

    const Bus_Operations* selected_operations() const;
    int selected_index_in_list() const;
    int selected_output_count() const;
    QString destination_name(int buffer_index) const;
    void mark_selected_row();
    void refresh_buttons();
    void select_bus(int bus);
    void show_meter(QListWidget* list, int row, Meter& meter, double left, double right, double fall);

    Mixer* mixer = nullptr;
    Mutex_Lock* lock = nullptr;
    int selected_bus = 0;
    int selected_output = 0;
    bool updating = false;  // controls are being filled from the mixer, not edited

    QListWidget* channel_list;
    QListWidget* buffer_list;
    QPushButton* create_buffer_button;
    QPushButton* erase_buffer_button;
    QGroupBox* chain_group;
    Effect_Chain_Editor* chain_editor;
    QGroupBox* output_group;
    QComboBox* output_combo;
    QPushButton* output_add_button;
    QPushButton* output_remove_button;
    QSpinBox* send_level_spin;
    QSpinBox* send_control_spin;
    QMenu* destination_menu;

    std::vector<Meter> meters;  // channels, then buffers
    QElapsedTimer meter_clock;
};
