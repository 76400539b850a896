#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>

#include <functional>
#include <memory>
#include <string>

#include "common/components/audio/mutex_lock.h"
#include "common/components/data/property_bridge.h"
#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_editor_bool.h"
#include "common/interface__QT/property_editor_float.h"
#include "common/interface__QT/property_editor_int.h"
#include "common/interface__QT/property_editor_options.h"
#include "common/interface__QT/property_editor_string.h"
#include "common/interface__QT/property_list_editor.h"
#include "trackercore/song.h"

namespace {

// Remembers how often it was taken and what the watched value read while it was held.
class Watching_Lock : public Mutex_Lock {
public:
    explicit Watching_Lock(std::function<std::string()> watch) : watch(std::move(watch)) {}
    void grab() override {
        grabs++;
        at_grab = watch();
    }
    bool try_grab() override { return false; }
    void release() override { at_release = watch(); }
    Mutex_Lock* create_mutex_type() override { return nullptr; }

    std::function<std::string()> watch;
    int grabs = 0;
    std::string at_grab, at_release;
};

void select_all_and_type(QWidget* widget, const QString& text) {
    QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(widget, text);
}

struct Values {
    int int_value = 48;
    float float_value = 0.5f;
    bool bool_value = false;
    std::string string_value = "song";
    int option_value = 0;
};

const char* const WAVEFORMS[] = {"Sine", "Square", "Ramp", "Random"};

struct Kind_Case {
    const char* kind;
    std::function<Property_Bridge*(Values&)> make_bridge;
    std::function<std::string(Values&)> stored;  // the bridged value, as text
    std::function<void(Property_Editor*)> user_edit;
    std::string after_edit;
    std::function<void(Values&)> change_elsewhere;
    std::function<std::string(Property_Editor*)> shown;
    std::string after_refresh;
};

}  // namespace

TEST(PropertyEditors, EachKindShowsItsBridgeWritesEditsUnderTheLockAndRefreshes) {
    const Kind_Case cases[] = {
        {"int", [](Values& v) { return new Int_Property_Bridge("Mixing Volume", &v.int_value, 0, 128); },
         [](Values& v) { return std::to_string(v.int_value); },
         // Typed beyond the range: the spin box has the bridge's range and stops at 128.
         [](Property_Editor* e) { static_cast<Property_Editor_Int*>(e)->get_spin_box()->setValue(500); }, "128",
         [](Values& v) { v.int_value = 7; },
         [](Property_Editor* e) {
             auto* ed = static_cast<Property_Editor_Int*>(e);
             return std::to_string(ed->get_spin_box()->value()) + "/" + std::to_string(ed->get_slider()->value());
         },
         "7/7"},
        {"float", [](Values& v) { return new Float_Property_Bridge("Gain", &v.float_value, -1.0f, 1.0f); },
         [](Values& v) { return std::to_string(v.float_value); },
         [](Property_Editor* e) { static_cast<Property_Editor_Float*>(e)->get_slider()->setValue(250); },
         std::to_string(-0.5f),
         [](Values& v) { v.float_value = -1.0f; },
         [](Property_Editor* e) {
             auto* ed = static_cast<Property_Editor_Float*>(e);
             return std::to_string(ed->get_spin_box()->value()) + "/" + std::to_string(ed->get_slider()->value());
         },
         std::to_string(-1.0) + "/0"},
        {"bool", [](Values& v) { return new Bool_Property_Bridge("Linear Slides", &v.bool_value); },
         [](Values& v) { return std::string(v.bool_value ? "on" : "off"); },
         [](Property_Editor* e) { QTest::mouseClick(static_cast<Property_Editor_Bool*>(e)->get_check_box(), Qt::LeftButton); },
         "on",
         [](Values& v) { v.bool_value = false; },
         [](Property_Editor* e) {
             return std::string(static_cast<Property_Editor_Bool*>(e)->get_check_box()->isChecked() ? "on" : "off");
         },
         "off"},
        {"string", [](Values& v) { return new String_Property_Bridge("Name", &v.string_value, 5); },
         [](Values& v) { return v.string_value; },
         // Pasted in one go; the bridge's limit stops it at five.
         [](Property_Editor* e) {
             QLineEdit* line = static_cast<Property_Editor_String*>(e)->get_line_edit();
             line->selectAll();
             line->insert("abcdefgh");
         },
         "abcde",
         [](Values& v) { v.string_value = "xy"; },
         [](Property_Editor* e) { return static_cast<Property_Editor_String*>(e)->get_line_edit()->text().toStdString(); },
         "xy"},
        {"options", [](Values& v) { return new Options_Property_Bridge("Waveform", &v.option_value, WAVEFORMS, 4); },
         [](Values& v) { return std::to_string(v.option_value); },
         [](Property_Editor* e) { QTest::keyClick(static_cast<Property_Editor_Options*>(e)->get_combo_box(), Qt::Key_Down); },
         "1",
         [](Values& v) { v.option_value = 3; },
         [](Property_Editor* e) { return static_cast<Property_Editor_Options*>(e)->get_combo_box()->currentText().toStdString(); },
         "Random"},
    };
    for (const Kind_Case& c : cases) {
        SCOPED_TRACE(c.kind);
        Values values;
        std::unique_ptr<Property_Bridge> bridge(c.make_bridge(values));
        std::unique_ptr<Property_Editor> editor(Property_Editor::create(bridge.get()));
        ASSERT_NE(editor, nullptr);
        EXPECT_EQ(editor->get_focus_control()->accessibleName().toStdString(), bridge->get_name());
        Watching_Lock lock([&] { return c.stored(values); });
        editor->set_lock(&lock);
        QSignalSpy edited(editor.get(), &Property_Editor::property_edited);
        std::string before = c.stored(values);

        c.user_edit(editor.get());
        EXPECT_EQ(c.stored(values), c.after_edit);
        EXPECT_EQ(lock.grabs, 1);
        EXPECT_EQ(lock.at_grab, before);
        EXPECT_EQ(lock.at_release, c.after_edit);
        EXPECT_EQ(edited.count(), 1);

        c.change_elsewhere(values);
        editor->refresh();
        EXPECT_EQ(c.shown(editor.get()), c.after_refresh);
        // Showing a value is not an edit: nothing written, nothing announced.
        EXPECT_EQ(lock.grabs, 1);
        EXPECT_EQ(edited.count(), 1);
    }
}

TEST(PropertyEditors, RangesAndLimitsComeFromTheBridge) {
    int volume = 64;
    Int_Property_Bridge volume_bridge("Volume", &volume, 0, 64);
    Property_Editor_Int int_editor(&volume_bridge);
    EXPECT_EQ(int_editor.get_spin_box()->minimum(), 0);
    EXPECT_EQ(int_editor.get_spin_box()->maximum(), 64);
    EXPECT_TRUE(int_editor.get_spin_box()->toolTip().contains("0 to 64"));
    // Typing past the maximum is refused keystroke by keystroke.
    select_all_and_type(int_editor.get_spin_box(), "99");
    EXPECT_EQ(volume, 9);

    float cutoff = 440;
    Float_Property_Bridge cutoff_bridge("Cutoff", &cutoff, 20, 20000);
    Property_Editor_Float float_editor(&cutoff_bridge);
    EXPECT_EQ(float_editor.get_spin_box()->minimum(), 20);
    EXPECT_EQ(float_editor.get_spin_box()->maximum(), 20000);
    float_editor.get_slider()->setValue(Property_Editor_Float::SLIDER_STEPS);
    EXPECT_EQ(cutoff, 20000);

    // The bridge counts bytes: a name of accented letters is cut between characters.
    std::string name;
    String_Property_Bridge name_bridge("Name", &name, 5);
    Property_Editor_String name_editor(&name_bridge, Property_Editor_String::Mode::MULTI_LINE);
    name_editor.get_text_edit()->setPlainText(QString::fromUtf8("\xc3\xa9\xc3\xa9\xc3\xa9"));
    EXPECT_EQ(name, "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(name_editor.get_text_edit()->toPlainText(), QString::fromUtf8("\xc3\xa9\xc3\xa9"));

    // Rebinding takes only a bridge of the editor's own kind.
    int other = 3;
    Int_Property_Bridge other_bridge("Pan", &other, 0, 10);
    EXPECT_FALSE(int_editor.set_bridge(&cutoff_bridge));
    EXPECT_EQ(int_editor.get_bridge(), &volume_bridge);
    EXPECT_TRUE(int_editor.set_bridge(&other_bridge));
    EXPECT_EQ(int_editor.get_spin_box()->value(), 3);
    EXPECT_EQ(int_editor.get_spin_box()->maximum(), 10);
    EXPECT_EQ(volume, 9);
}

TEST(PropertyListEditor, ShowsTheSongVariablesAsANamedFormBoundToTheSong) {
    Song song;
    Property_List_Editor list;
    list.set_properties(song.get_variables()->get_properties());
    ASSERT_EQ(list.get_editor_count(), (int)song.get_variables()->get_properties().size());

    // Every control is named: by its buddy label, or by its own text for check boxes.
    for (int i = 0; i < list.get_editor_count(); ++i) {
        Property_Editor* editor = list.get_editor(i);
        std::string name = editor->get_bridge()->get_name();
        if (editor->shows_caption()) {
            EXPECT_EQ(static_cast<QCheckBox*>(editor->get_focus_control())->text().toStdString(), name);
            continue;
        }
        bool labelled = false;
        for (QLabel* label : list.findChildren<QLabel*>())
            labelled |= label->buddy() == editor->get_focus_control() && label->text().toStdString() == name;
        EXPECT_TRUE(labelled) << name;
    }

    QSignalSpy edited(&list, &Property_List_Editor::property_edited);
    auto* name_editor = static_cast<Property_Editor_String*>(list.get_editor(0));
    select_all_and_type(name_editor->get_line_edit(), "A song with a very long name indeed");
    EXPECT_EQ(song.get_variables()->name, "A song with a very long n");
    ASSERT_EQ(edited.count(), 1 + 24);
    EXPECT_EQ(edited.last().at(0).value<Property_Bridge*>(), &song.get_variables()->name_prop);

    song.get_variables()->mixing_volume = 100;
    list.refresh();
    bool shown = false;
    for (QSpinBox* spin : list.findChildren<QSpinBox*>())
        shown |= spin->accessibleName() == "Mixing Volume" && spin->value() == 100;
    EXPECT_TRUE(shown);

    list.set_properties({});
    EXPECT_EQ(list.get_editor_count(), 0);
    EXPECT_TRUE(list.findChildren<Property_Editor*>().isEmpty());
}
