#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QStatusBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <deque>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "common/components/audio/sound_driver_manager.h"
#include "interface__QT/file_dialog.h"
#include "interface__QT/interface.h"
#include "interface__QT/mdi_main_window.h"
#include "interface__QT/mdi_sub_window.h"
#include "tracker/audio_session.h"
#include "tracker/keyboard_input.h"
#include "tracker/tracker_instance.h"

// What a message box showed, and the button the test pressed.
struct Seen_Box {
    bool seen = false;
    QString title;
    QString text;
    QStringList buttons;
    QString default_button;  // what Enter presses
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the modal windows a command opens, in order, from a timer that runs inside
// their event loops. Each answer gets the modal widget; the test fails if one never came.
class Modal_Answers {
public:
    using Answer = std::function<void(QWidget*)>;

    Modal_Answers() {
        QObject::connect(&timer, &QTimer::timeout, [this] { poll(); });
        timer.start(5);
    }
    ~Modal_Answers() {
        timer.stop();
        EXPECT_TRUE(answers.empty()) << answers.size() << " expected window(s) never opened";
    }

    Modal_Answers& then(Answer answer) {
        answers.push_back(std::move(answer));
        return *this;
    }

    // A message box: records it, presses the button with this text.
    Modal_Answers& box(const QString& button, Seen_Box* seen = nullptr) {
        return then([button, seen](QWidget* widget) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            ASSERT_NE(box, nullptr) << "a " << widget->metaObject()->className() << " opened instead of a box";
            Seen_Box record;
            record.seen = true;
            record.title = box->windowTitle();
            record.text = box->text();
            record.icon = box->icon();
            if (box->defaultButton()) record.default_button = box->defaultButton()->text();
            QAbstractButton* press = nullptr;
            for (QAbstractButton* b : box->buttons()) {
                record.buttons << b->text();
                if (b->text() == button) press = b;
            }
            if (seen) *seen = record;
            ASSERT_NE(press, nullptr) << "no button " << button.toStdString() << " in " << record.text.toStdString();
            press->click();
        });
    }

    // A file dialog: records its title and filters, then chooses the file (or cancels).
    Modal_Answers& file(const QString& path, QString* title = nullptr, QStringList* filters = nullptr) {
        return then([path, title, filters](QWidget* widget) {
            auto* dialog = qobject_cast<QFileDialog*>(widget);
            ASSERT_NE(dialog, nullptr) << "a " << widget->metaObject()->className() << " opened instead of a file dialog";
            if (title) *title = dialog->windowTitle();
            if (filters) *filters = dialog->nameFilters();
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(path);
            static_cast<QDialog*>(dialog)->accept();  // the file dialog's own accept, as its button
        });
    }

private:
    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == last || answers.empty()) return;
        last = modal;
        Answer answer = std::move(answers.front());
        answers.pop_front();
        answer(modal);
    }

    QTimer timer;
    std::deque<Answer> answers;
    QPointer<QWidget> last;
};

// A main window wired as the program wires it: the driver manager with its locks and
// drivers, and the info lock. The disk writer stands in for a sound card when a test plays.
class Main_Window_Test : public ::testing::Test {
protected:
    void SetUp() override {
        File_Dialog::use_native_dialogs = false;
        QApplication::setQuitOnLastWindowClosed(false);
        keyboard_input = std::make_unique<Keyboard_Input>();
        Tracker_Instance::init_keyboard();
        session = std::make_unique<Audio_Session>();
        window = std::make_unique<MDI_Main_Window>();
        window->set_sound_driver_manager(&driver_manager);
        window->set_info_lock(&session->info_lock);
        window->show();
    }
    void TearDown() override {
        session->stop_audio_thread();
        window.reset();
        session.reset();
        keyboard_input.reset();
        Editor::set_default_octave(4);
    }

    Interface* new_song() { return window->new_doc()->get_interface(); }
    Tracker_Instance* tracker_of(Interface* interface) { return interface->get_tracker(); }

    // Finds a menu item by its id among the items of a menu.
    QAction* item(const QString& menu, int id) {
        QMenu* m = window->get_menu(menu);
        if (!m) return nullptr;
        for (QAction* action : m->actions())
            if (!action->isSeparator() && action->data().isValid() && action->data().toInt() == id) return action;
        return nullptr;
    }
    QAction* item(const QString& menu, const QString& text) {
        QMenu* m = window->get_menu(menu);
        if (!m) return nullptr;
        for (QAction* action : m->actions())
            if (action->text() == text) return action;
        return nullptr;
    }

    std::unique_ptr<Keyboard_Input> keyboard_input;  // the program entry's key bindings
    std::unique_ptr<Audio_Session> session;
    std::unique_ptr<MDI_Main_Window> window;
};
