#pragma once

#include <QAbstractItemView>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>

#include "common/components/audio/effect_source_manager.h"
#include "common/components/audio/mixer.h"
#include "common/interface__QT/audio/effect_chain_editor.h"
#include "common/interface__QT/audio/effect_select_popup.h"
#include "common/interface__QT/audio/mixer_effects_manager.h"
#include "common/interface__QT/property_editor.h"
#include "common/interface__QT/property_list_editor.h"
#include "interface__QT/gui_test_support.h"
#include "interface__QT/gui_test_util.h"

// A song window on its "Buffers" page, and what a user does there.
class Buffers_Page_Test : public Main_Window_Test {
protected:
    void open_page() {
        interface = new_song();
        interface->set_current_page(Interface::PAGE_BUFFERS);
        page = qobject_cast<Mixer_Effects_Manager*>(interface->get_page(Interface::PAGE_BUFFERS));
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(page->isVisible());
        mixer = &interface->get_tracker()->mixer;
    }

    // Presses an enabled button of the page by its caption.
    void click(const QString& caption) {
        QPushButton* button = named<QPushButton>(page, caption);
        ASSERT_NE(button, nullptr) << caption.toStdString();
        ASSERT_TRUE(button->isEnabled()) << caption.toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Clicks a row of a list.
    static void select(QListWidget* list, int row) {
        QListWidgetItem* item = list->item(row);
        ASSERT_NE(item, nullptr) << "row " << row;
        list->scrollToItem(item);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
        ASSERT_EQ(list->currentRow(), row);
    }

    // Opens the destination menu with "Add" and reads its entries (the menu stays open).
    QStringList destinations() {
        click("Add");
        QMenu* menu = page->get_destination_menu();
        EXPECT_TRUE(menu->isVisible());
        QStringList entries;
        for (QAction* action : menu->actions())
            if (!action->isSeparator()) entries << action->text();
        return entries;
    }

    // A new output of the selected bus to the destination with this name.
    void send_to(const QString& destination) {
        destinations();
        QMenu* menu = page->get_destination_menu();
        QAction* chosen = nullptr;
        for (QAction* action : menu->actions())
            if (action->text() == destination) chosen = action;
        ASSERT_NE(chosen, nullptr) << destination.toStdString() << " is not offered";
        chosen->trigger();
        menu->hide();
    }

    // "Add Effect..." answered with the effect of this identifier and "Ok".
    void add_effect(const QString& identifier) {
        Modal_Answers answers;
        answers.then([identifier](QWidget* widget) {
            auto* popup = qobject_cast<Effect_Select_Popup*>(widget);
            ASSERT_NE(popup, nullptr);
            EXPECT_EQ(popup->windowTitle(), "Select Effect");
            ASSERT_TRUE(popup->select_effect(identifier)) << identifier.toStdString();
            QPushButton* ok = named<QPushButton>(popup, "Ok");
            ASSERT_TRUE(ok && ok->isEnabled());
            ok->click();
        });
        click("Add Effect...");
    }

    QString buffer_name_of(int buffer) const { return QString::fromStdString(mixer->get_buffer_name(buffer)); }

    static QStringList items_of(QComboBox* combo) {
        QStringList items;
        for (int i = 0; combo && i < combo->count(); i++) items << combo->itemText(i);
        return items;
    }
    static QStringList items_of(QListWidget* list) {
        QStringList items;
        for (int i = 0; i < list->count(); i++) items << list->item(i)->text();
        return items;
    }

    // The captions of the parameter editors shown for the selected effect.
    QStringList parameter_captions() const {
        QStringList captions;
        Property_List_Editor* editor = page->get_chain_editor()->get_property_editor();
        for (int i = 0; i < editor->get_editor_count(); i++) captions << editor->get_editor(i)->get_caption();
        return captions;
    }

    Interface* interface = nullptr;
    Mixer_Effects_Manager* page = nullptr;
    Mixer* mixer = nullptr;
};
