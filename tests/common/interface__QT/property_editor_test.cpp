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
#include "common/interface__QT/property_editor_string.h"
#include "common/interface__QT/property_list_editor.h"
#include "trackercore/song.h"

namespace {

// Counts grabs and remembers what the watched value read when the lock was taken and released.
class Watching_Lock : public Mutex_Lock {
public:
    explicit Watching_Lock(std::function<std::string()> watch) : watch(std::move(watch)) {}
    void grab() override { grabs++, at_grab = watch(); }
    bool try_grab() override { return false; }
    void release() override { at_release = watch(); }
    Mutex_Lock* create_mutex_type() override { return nullptr; }

    std::function<std::string()> watch;
    int grabs = 0;
    std::string at_grab, at_release;
};

struct Values {
    int i = 48;
    float f = 0.5f;
    bool b = false;
    std::string s = "song";
    int o = 0;
};

const char* const WAVEFORMS[] = {"Sine", "Square", "Ramp", "Random"};

template <class W> W* control(Property_Editor* editor) { return editor->findChild<W*>(); }

}  // namespace

TEST(PropertyEditors, EachKindShowsItsBridgeWritesEditsUnderTheLockAndRefreshes) {
    const struct {
        const char* kind;
        std::function<Property_Bridge*(Values&)> bridge;
        std::function<std::string(const Values&)> stored;
        std::function<void(Property_Editor*)> user_edit;
        std::string after_edit;
        std::function<void(Values&)> change_elsewhere;
        std::function<std::string(Property_Editor*)> shown;
        std::string after_refresh;
    } cases[] = {
        // Beyond the range: the spin box has the bridge's range and stops at 128.
        {"int", [](Values& v) { return new Int_Property_Bridge("Mixing Volume", &v.i, 0, 128); },
         [](const Values& v) { return std::to_string(v.i); },
         [](Property_Editor* e) { control<QSpinBox>(e)->setValue(500); }, "128", [](Values& v) { v.i = 7; },
         [](Property_Editor* e) {
             return std::to_string(control<QSpinBox>(e)->value()) + "/" + std::to_string(control<QSlider>(e)->value());
         },
         "7/7"},
        {"float", [](Values& v) { return new Float_Property_Bridge("Gain", &v.f, -1.0f, 1.0f); },
         [](const Values& v) { return std::to_string(v.f); },
         [](Property_Editor* e) { control<QSlider>(e)->setValue(250); }, std::to_string(-0.5f),
         [](Values& v) { v.f = 1.0f; },
         [](Property_Editor* e) {
             return std::to_string(control<QDoubleSpinBox>(e)->value()) + "/" +
                    std::to_string(control<QSlider>(e)->value());
         },
         std::to_string(1.0) + "/1000"},
        {"bool", [](Values& v) { return new Bool_Property_Bridge("Linear Slides", &v.b); },
         [](const Values& v) { return std::string(v.b ? "on" : "off"); },
         [](Property_Editor* e) { QTest::mouseClick(control<QCheckBox>(e), Qt::LeftButton); }, "on",
         [](Values& v) { v.b = false; },
         [](Property_Editor* e) { return std::string(control<QCheckBox>(e)->isChecked() ? "on" : "off"); }, "off"},
        // Pasted in one go: the limit of five stops it.
        {"string", [](Values& v) { return new String_Property_Bridge("Name", &v.s, 5); },
         [](const Values& v) { return v.s; },
         [](Property_Editor* e) {
             control<QLineEdit>(e)->selectAll();
             control<QLineEdit>(e)->insert("abcdefgh");
         },
         "abcde", [](Values& v) { v.s = "xy"; },
         [](Property_Editor* e) { return control<QLineEdit>(e)->text().toStdString(); }, "xy"},
        {"options", [](Values& v) { return new Options_Property_Bridge("Waveform", &v.o, WAVEFORMS, 4); },
         [](const Values& v) { return std::to_string(v.o); },
         [](Property_Editor* e) { QTest::keyClick(control<QComboBox>(e), Qt::Key_Down); }, "1",
         [](Values& v) { v.o = 3; },
         [](Property_Editor* e) { return control<QComboBox>(e)->currentText().toStdString(); }, "Random"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Values values;
        std::unique_ptr<Property_Bridge> bridge(c.bridge(values));
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

        // Showing a value changed elsewhere is not an edit: nothing written, nothing announced.
        c.change_elsewhere(values);
        editor->refresh();
        EXPECT_EQ(c.shown(editor.get()), c.after_refresh);
        EXPECT_EQ(lock.grabs, 1);
        EXPECT_EQ(edited.count(), 1);
    }
}

TEST(PropertyEditors, LimitsAndRebindingFollowTheBridge) {
    int volume = 64;
    Int_Property_Bridge volume_bridge("Volume", &volume, 0, 64);
    std::unique_ptr<Property_Editor> editor(Property_Editor::create(&volume_bridge));
    EXPECT_TRUE(control<QSpinBox>(editor.get())->toolTip().contains("0 to 64"));
    // Typing past the maximum is refused keystroke by keystroke.
    QTest::keyClick(control<QSpinBox>(editor.get()), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(control<QSpinBox>(editor.get()), "99");
    EXPECT_EQ(volume, 9);

    // Only a bridge of the editor's own kind can be bound in its place.
    float cutoff = 440;
    Float_Property_Bridge cutoff_bridge("Cutoff", &cutoff, 20, 20000);
    int pan = 3;
    Int_Property_Bridge pan_bridge("Pan", &pan, 0, 10);
    EXPECT_FALSE(editor->set_bridge(&cutoff_bridge));
    EXPECT_TRUE(editor->set_bridge(&pan_bridge));
    EXPECT_EQ(control<QSpinBox>(editor.get())->value(), 3);
    EXPECT_EQ(control<QSpinBox>(editor.get())->maximum(), 10);
    EXPECT_EQ(volume, 9);

    // The bridge counts bytes: accented letters are cut between characters, never inside one.
    std::string name;
    String_Property_Bridge name_bridge("Name", &name, 5);
    Property_Editor_String text(&name_bridge, Property_Editor_String::Mode::MULTI_LINE);
    text.get_text_edit()->setPlainText(QString::fromUtf8("\xc3\xa9\xc3\xa9\xc3\xa9"));
    EXPECT_EQ(name, "\xc3\xa9\xc3\xa9");
    EXPECT_EQ(text.get_text_edit()->toPlainText(), QString::fromUtf8("\xc3\xa9\xc3\xa9"));
}

TEST(PropertyListEditor, ShowsTheSongVariablesAsANamedFormBoundToTheSong) {
    Song song;
    Property_List_Editor list;
    list.set_properties(song.get_variables()->get_properties());
    ASSERT_EQ(list.get_editor_count(), (int)song.get_variables()->get_properties().size());
    // Every control is named: by its buddy label, or by its own text for check boxes.
    for (int i = 0; i < list.get_editor_count(); ++i) {
        Property_Editor* editor = list.get_editor(i);
        QString name = QString::fromStdString(editor->get_bridge()->get_name());
        bool named = editor->shows_caption() && static_cast<QCheckBox*>(editor->get_focus_control())->text() == name;
        for (QLabel* label : list.findChildren<QLabel*>())
            named |= label->buddy() == editor->get_focus_control() && label->text() == name;
        EXPECT_TRUE(named) << name.toStdString();
    }

    QSignalSpy edited(&list, &Property_List_Editor::property_edited);
    QTest::keyClicks(control<QLineEdit>(list.get_editor(0)), "A song with a very long name indeed");
    EXPECT_EQ(song.get_variables()->name, "A song with a very long n");
    ASSERT_EQ(edited.count(), 25);
    EXPECT_EQ(edited.last().at(0).value<Property_Bridge*>(), &song.get_variables()->name_prop);

    song.get_variables()->mixing_volume = 100;
    list.refresh();
    bool shown = false;
    for (QSpinBox* spin : list.findChildren<QSpinBox*>())
        shown |= spin->accessibleName() == "Mixing Volume" && spin->value() == 100;
    EXPECT_TRUE(shown);

    list.set_properties({});
    EXPECT_TRUE(list.findChildren<Property_Editor*>().isEmpty());
}
