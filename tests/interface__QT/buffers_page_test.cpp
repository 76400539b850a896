// The "Buffers" page of a song window, driven as a user drives it: the bus lists, the
// destination menu, the output boxes, the effect chain with its "Select Effect" dialog and
// the parameters of the selected effect; and a song saved with its routing loads back.
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <QTreeWidget>

#include <sstream>

#include "common/components/audio/effect.h"
#include "common/components/data/property_bridge.h"
#include "common/interface__QT/audio/effect_chain_editor.h"
#include "common/interface__QT/audio/effect_select_popup.h"
#include "common/interface__QT/audio/mixer_effects_manager.h"
#include "common/interface__QT/property_list_editor.h"
#include "interface__QT/buffers_page_test_support.h"
#include "support/scratch_dir.h"
#include "support/test_song.h"

namespace {

// The whole routing of a mixer as text: every bus's outputs and its chain with each
// parameter's value, so two mixers compare in one line of the test.
std::string describe(Mixer& m) {
    std::ostringstream out;
    auto chain = [&out](Effect_Chain* c) {
        for (int e = 0; e < c->get_effect_count(); e++) {
            Effect* effect = c->get_effect(e);
            out << " [" << effect->get_name();
            for (Property_Bridge* p : effect->get_properties()) {
                out << " " << p->get_name() << "=";
                if (auto* i = dynamic_cast<Int_Property_Bridge*>(p)) out << i->get();
                if (auto* f = dynamic_cast<Float_Property_Bridge*>(p)) out << f->get();
                if (auto* b = dynamic_cast<Bool_Property_Bridge*>(p)) out << b->get();
            }
            out << "]";
        }
    };
    for (int c = 0; c < m.get_channel_count(); c++) {
        out << "channel " << c << ":";
        for (int o = 0; o < m.get_channel_output_count(c); o++)
            out << " ->" << m.get_channel_output_buffer_index(c, o) << "@" << m.get_channel_output_send_level(c, o)
                << "/" << m.get_channel_output_send_control(c, o);
        chain(m.get_channel_effect_chain(c));
        out << "\n";
    }
    for (int b = 0; b < m.get_buffer_count(); b++) {
        out << m.get_buffer_name(b) << ":";
        for (int o = 0; o < m.get_buffer_output_count(b); o++)
            out << " ->" << m.get_buffer_output_buffer_index(b, o) << "@" << m.get_buffer_output_send_level(b, o)
                << "/" << m.get_buffer_output_send_control(b, o);
        chain(m.get_buffer_effect_chain(b));
        out << "\n";
    }
    return out.str();
}

}  // namespace

TEST_F(Buffers_Page_Test, DestinationMenuOffersTheMixdownAndOnlyEarlierBuffers) {
    open_page();
    for (int i = 0; i < 3; i++) click("New Buffer");

    const QString mixdown = "Global Mixdown";
    struct Case {
        bool buffer;
        int row;
        QStringList offered;
    } cases[] = {
        {true, 0, {mixdown}},
        {true, 1, {mixdown, buffer_name_of(0)}},
        {true, 2, {mixdown, buffer_name_of(0), buffer_name_of(1)}},
        {false, 7, {mixdown, buffer_name_of(0), buffer_name_of(1), buffer_name_of(2)}},
    };
    for (const Case& c : cases) {
        select(c.buffer ? page->get_buffer_list() : page->get_channel_list(), c.row);
        EXPECT_EQ(page->get_selected_bus(), (c.buffer ? 16 : 0) + c.row);
        EXPECT_EQ(destinations(), c.offered) << (c.buffer ? "buffer " : "channel ") << c.row;
        // Ids as the menu hands them on: 0 the mixdown, k buffer k - 1.
        QList<QAction*> actions = page->get_destination_menu()->actions();
        for (int k = 0, id = 0; k < actions.size(); k++)
            if (!actions[k]->isSeparator()) {
                EXPECT_EQ(actions[k]->data().toInt(), id++);
            }
        page->get_destination_menu()->hide();
    }
    // The selected row is marked in its own list only, also when a row is selected without
    // becoming current (as assistive tools do).
    EXPECT_EQ(page->get_channel_list()->currentRow(), 7);
    EXPECT_EQ(page->get_buffer_list()->currentRow(), -1);
    page->get_buffer_list()->item(1)->setSelected(true);
    EXPECT_EQ(page->get_selected_bus(), 17);
    EXPECT_TRUE(page->get_channel_list()->selectedItems().isEmpty());

    // A new buffer leaves the selection where it was.
    select(page->get_buffer_list(), 2);
    click("New Buffer");
    EXPECT_EQ(page->get_selected_bus(), 18);
    EXPECT_EQ(page->get_buffer_list()->currentRow(), 2);

    // A bus outside both lists has no chain to show.
    testing::internal::CaptureStdout();
    page->buffer_selected_slot(6);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("Error: common/interface__QT/audio/mixer_effects_manager:"), std::string::npos);
    EXPECT_NE(printed.find(": Selected buffer invalid??\n"), std::string::npos);
    EXPECT_EQ(page->get_chain_editor()->get_effect_chain(), nullptr);
    EXPECT_FALSE(named<QPushButton>(page, "Add")->isEnabled());
}

TEST_F(Buffers_Page_Test, OutputsAreAddedSetAndRemoved) {
    open_page();
    click("New Buffer");
    select(page->get_channel_list(), 3);
    QComboBox* outputs = buddy_of<QComboBox>(page, "Outputs:");
    QSpinBox* send = buddy_of<QSpinBox>(page, "Initial Send:");
    QSpinBox* control = buddy_of<QSpinBox>(page, "Send Ctrl#:");
    ASSERT_TRUE(outputs && send && control);
    EXPECT_EQ(items_of(outputs), QStringList({"Global Mixdown"}));
    EXPECT_EQ(send->value(), 127);
    EXPECT_EQ(control->value(), -1);

    send_to(buffer_name_of(0));
    EXPECT_EQ(items_of(outputs), QStringList({"Global Mixdown", buffer_name_of(0)}));
    EXPECT_EQ(outputs->currentIndex(), 1) << "the new output is the selected one";
    ASSERT_EQ(mixer->get_channel_output_count(3), 2);
    EXPECT_EQ(mixer->get_channel_output_buffer_index(3, 1), 0);
    send->setValue(64);
    control->setValue(10);
    EXPECT_EQ(mixer->get_channel_output_send_level(3, 1), 64);
    EXPECT_EQ(mixer->get_channel_output_send_control(3, 1), 10);
    EXPECT_EQ(mixer->get_channel_output_send_level(3, 0), 127);

    outputs->setCurrentIndex(0);
    EXPECT_EQ(send->value(), 127);
    EXPECT_EQ(control->value(), -1);
    click("Remove");  // the first: what was the second is now shown
    ASSERT_EQ(mixer->get_channel_output_count(3), 1);
    EXPECT_EQ(mixer->get_channel_output_buffer_index(3, 0), 0);
    EXPECT_EQ(items_of(outputs), QStringList({buffer_name_of(0)}));
    EXPECT_EQ(send->value(), 64);
    EXPECT_EQ(control->value(), 10);

    click("Remove");
    EXPECT_EQ(mixer->get_channel_output_count(3), 0);
    EXPECT_EQ(outputs->count(), 0);
    // The boxes keep their values and have nothing to change.
    EXPECT_EQ(send->value(), 64);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_FALSE(named<QPushButton>(page, "Remove")->isEnabled());
    testing::internal::CaptureStdout();
    send->setValue(5);
    control->setValue(6);
    page->output_remove_slot();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(mixer->get_channel_output_count(3), 0);
}

TEST_F(Buffers_Page_Test, ErasingABufferDropsOutputsToItAndRenumbersLaterOnes) {
    open_page();
    for (int i = 0; i < 3; i++) click("New Buffer");
    const QString first = buffer_name_of(0), middle = buffer_name_of(1), last = buffer_name_of(2);
    select(page->get_channel_list(), 0);
    send_to(middle);
    send_to(last);
    select(page->get_buffer_list(), 2);
    send_to(middle);
    send_to(first);
    add_effect("echo");  // its chain is shown while an earlier buffer goes

    // With a channel selected nothing is erased.
    select(page->get_channel_list(), 0);
    EXPECT_FALSE(named<QPushButton>(page, "Erase Buffer")->isEnabled());
    page->erase_selected_buffer_slot();
    EXPECT_EQ(mixer->get_buffer_count(), 3);

    select(page->get_buffer_list(), 1);
    click("Erase Buffer");
    ASSERT_EQ(mixer->get_buffer_count(), 2);
    EXPECT_EQ(items_of(page->get_buffer_list()), QStringList({first, last}));
    EXPECT_EQ(page->get_buffer_list()->currentRow(), 0) << "the selection moves to the previous row";
    const std::string routing = describe(*mixer);
    EXPECT_NE(routing.find("channel 0: ->-1@127/-1 ->1@127/-1\n"), std::string::npos) << routing;
    EXPECT_NE(routing.find(last.toStdString() + ": ->-1@127/-1 ->0@127/-1 [echo"), std::string::npos) << routing;

    select(page->get_buffer_list(), 1);
    EXPECT_EQ(items_of(buddy_of<QComboBox>(page, "Outputs:")), QStringList({"Global Mixdown", first}));
    EXPECT_EQ(items_of(page->get_chain_editor()->get_effect_list()), QStringList({"Echo"}));
    // Erasing the first buffer moves the selection up into the channels.
    select(page->get_buffer_list(), 0);
    click("Erase Buffer");
    EXPECT_EQ(page->get_selected_bus(), 15);
    EXPECT_EQ(page->get_channel_list()->currentRow(), 15);
    EXPECT_EQ(page->get_buffer_list()->currentRow(), -1);
    EXPECT_EQ(items_of(page->get_buffer_list()), QStringList({last}));
}

TEST_F(Buffers_Page_Test, ChainEditsKeepTheirSelectionAndShowTheEffectsParameters) {
    open_page();
    select(page->get_channel_list(), 2);
    Effect_Chain_Editor* editor = page->get_chain_editor();
    Effect_Chain* chain = mixer->get_channel_effect_chain(2);
    ASSERT_EQ(editor->get_effect_chain(), chain);

    struct Step {
        const char* action;  // an identifier to add, or a button
        QStringList listed;
        int selected;
        QStringList parameters;
    } steps[] = {
        {"echo", {"Echo"}, 0, {"Delay(ms)", "Separation", "Feedback%"}},
        {"freeverb", {"Echo", "Reverb"}, 1, {"Room Size", "Damping", "Wet Amount", "Dry Amount", "Width"}},
        {"amplifier", {"Echo", "Reverb", "Amplifier"}, 2, {"Amp%"}},
        {"Move Up", {"Echo", "Amplifier", "Reverb"}, 1, {"Amp%"}},
        {"Move Up", {"Amplifier", "Echo", "Reverb"}, 0, {"Amp%"}},
        {"Move Down", {"Echo", "Amplifier", "Reverb"}, 1, {"Amp%"}},
        {"Remove Effect", {"Echo", "Reverb"}, 0, {"Delay(ms)", "Separation", "Feedback%"}},
        {"Remove Effect", {"Reverb"}, 0, {"Room Size", "Damping", "Wet Amount", "Dry Amount", "Width"}},
    };
    for (const Step& step : steps) {
        QString action = step.action;
        if (action.front().isLower())
            add_effect(action);
        else
            click(action);
        SCOPED_TRACE(action.toStdString());
        EXPECT_EQ(items_of(editor->get_effect_list()), step.listed);
        EXPECT_EQ(editor->get_selected_effect(), step.selected);
        EXPECT_EQ(editor->get_effect_list()->currentRow(), step.selected);
        ASSERT_EQ(chain->get_effect_count(), step.listed.size());
        for (int e = 0; e < chain->get_effect_count(); e++)
            EXPECT_EQ(QString::fromStdString(chain->get_effect(e)->get_display_name()), step.listed[e]);
        EXPECT_EQ(parameter_captions(), step.parameters);
    }
    EXPECT_FALSE(named<QPushButton>(editor, "Move Up")->isEnabled());
    EXPECT_FALSE(named<QPushButton>(editor, "Move Down")->isEnabled());

    // A parameter edit reaches the effect; "Cancel" adds nothing.
    QSpinBox* room = buddy_of<QSpinBox>(editor->get_property_editor(), "Room Size");
    ASSERT_NE(room, nullptr);
    room->setValue(33);
    EXPECT_EQ(dynamic_cast<Int_Property_Bridge*>(chain->get_effect(0)->get_properties()[0])->get(), 33);
    {
        Modal_Answers answers;
        answers.then([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        click("Add Effect...");
    }
    EXPECT_EQ(chain->get_effect_count(), 1);

    // The other channels' chains are their own.
    select(page->get_channel_list(), 3);
    EXPECT_EQ(editor->get_effect_list()->count(), 0);
    EXPECT_EQ(parameter_captions(), QStringList());
    EXPECT_FALSE(named<QPushButton>(editor, "Remove Effect")->isEnabled());
}

// The dialog lists every effect of every source, grouped, and a LADSPA plug-in brings its
// control ports as parameters.
TEST_F(Buffers_Page_Test, SelectEffectListsEverySourceAndPluginsShowTheirPorts) {
    open_page();
    Effect_Select_Popup* popup = page->get_chain_editor()->get_select_popup();
    popup->fill();
    Effect_Source_Manager* sources = Effect_Source_Manager::get_singleton_instance();
    ASSERT_NE(sources, nullptr);
    int total = 0;
    QStringList groups;
    for (int s = 0; s < sources->get_effect_source_count(); s++) {
        Effect_Source* source = sources->get_effect_source(s);
        total += source->get_effect_count();
        groups << QString("%1 (%2)").arg(QString::fromStdString(source->get_name())).arg(source->get_effect_count());
    }
    QStringList shown_groups;
    for (int g = 0; g < popup->get_tree()->topLevelItemCount(); g++)
        shown_groups << popup->get_tree()->topLevelItem(g)->text(0);
    EXPECT_EQ(shown_groups, groups);
    EXPECT_EQ(popup->get_shown_effect_count(), total);

    popup->get_search_line()->setText("ECHO");
    EXPECT_GE(popup->get_shown_effect_count(), 1);
    EXPECT_LT(popup->get_shown_effect_count(), total);
    popup->get_search_line()->setText("no effect has this name");
    EXPECT_EQ(popup->get_shown_effect_count(), 0);
    EXPECT_EQ(popup->create_selected_effect(), nullptr);
    popup->get_search_line()->clear();

    const QString plate = "LADSPA ID: 1423 / SUBINDEX: 0";  // swh-plugins' plate reverb
    if (!popup->select_effect(plate)) GTEST_SKIP() << "the swh-plugins plate reverb is not installed";
    select(page->get_channel_list(), 0);
    add_effect(plate);
    EXPECT_EQ(parameter_captions(), QStringList({"Reverb time", "Damping", "Dry/wet mix"}));
    QDoubleSpinBox* damping = buddy_of<QDoubleSpinBox>(page->get_chain_editor()->get_property_editor(), "Damping");
    ASSERT_NE(damping, nullptr);
    EXPECT_EQ(damping->minimum(), 0.0);
    EXPECT_EQ(damping->maximum(), 1.0);
    damping->setValue(0.5);
    Effect* effect = mixer->get_channel_effect_chain(0)->get_effect(0);
    EXPECT_FLOAT_EQ(dynamic_cast<Float_Property_Bridge*>(effect->get_properties()[1])->get(), 0.5f);
}

TEST_F(Buffers_Page_Test, RoutingSavedAsNativeSongLoadsBack) {
    Scratch_Dir dir;
    ASSERT_TRUE(dir.ok());
    open_page();
    click("New Buffer");
    click("New Buffer");
    const QString first = buffer_name_of(0), second = buffer_name_of(1);
    select(page->get_buffer_list(), 1);
    send_to(first);
    buddy_of<QSpinBox>(page, "Initial Send:")->setValue(100);
    buddy_of<QSpinBox>(page, "Send Ctrl#:")->setValue(7);
    add_effect("echo");
    buddy_of<QSpinBox>(page->get_chain_editor()->get_property_editor(), "Delay(ms)")->setValue(123);

    select(page->get_channel_list(), 4);
    send_to(second);
    buddy_of<QComboBox>(page, "Outputs:")->setCurrentIndex(0);
    click("Remove");
    add_effect("freeverb");
    buddy_of<QSpinBox>(page->get_chain_editor()->get_property_editor(), "Room Size")->setValue(64);
    add_effect("amplifier");
    click("Move Up");
    const std::string routing = describe(*mixer);
    ASSERT_NE(routing.find("channel 4: ->1@127/-1 [amplifier Amp%=100] [freeverb Room Size=64"), std::string::npos)
        << routing;

    const std::string path = dir.file("routed.wm");
    {
        Modal_Answers answers;
        answers.file(QString::fromStdString(path));
        ASSERT_EQ(interface->save_song_as(), 0);
    }
    MDI_Sub_Window* reopened = window->open_song(QString::fromStdString(path));
    ASSERT_NE(reopened, nullptr);
    Interface* loaded = reopened->get_interface();
    Mixer& loaded_mixer = loaded->get_tracker()->mixer;
    EXPECT_EQ(describe(loaded_mixer), routing);

    // The loaded window's page shows the song's own buses.
    auto* loaded_page = qobject_cast<Mixer_Effects_Manager*>(loaded->get_page(Interface::PAGE_BUFFERS));
    ASSERT_NE(loaded_page, nullptr);
    loaded->set_current_page(Interface::PAGE_BUFFERS);
    EXPECT_EQ(items_of(loaded_page->get_buffer_list()), QStringList({first, second}));
    select(loaded_page->get_channel_list(), 4);
    EXPECT_EQ(items_of(buddy_of<QComboBox>(loaded_page, "Outputs:")), QStringList({second}));
    EXPECT_EQ(items_of(loaded_page->get_chain_editor()->get_effect_list()), QStringList({"Amplifier", "Reverb"}));

    // Opening a song with fewer buffers while a later one is selected leaves a valid selection.
    const std::string plain = dir.file("plain.wm");
    {
        Tracker_Instance other;
        build_test_song(other.song);
        ASSERT_EQ(other.file_format_manager.save_module(plain.c_str()), 0);
    }
    select(loaded_page->get_buffer_list(), 0);
    testing::internal::CaptureStdout();
    loaded->open_song(QString::fromStdString(plain));
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.find("Selected buffer invalid??"), std::string::npos);
    EXPECT_EQ(loaded_page->get_buffer_list()->count(), 0);
    EXPECT_EQ(loaded_page->get_selected_bus(), 15);
    EXPECT_EQ(loaded_page->get_chain_editor()->get_effect_chain(), loaded_mixer.get_channel_effect_chain(15));
}
