#include "common/interface__QT/property_list_editor.h"

#include <QFormLayout>
#include <QLabel>

#include "common/interface__QT/property_editor.h"

Property_List_Editor::Property_List_Editor(QWidget* parent)
    : QScrollArea(parent), form_widget(new QWidget), form(new QFormLayout(form_widget)) {
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setWidget(form_widget);
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
}

Property_Editor* Property_List_Editor::get_editor(int index) const {
    return index >= 0 && index < (int)editors.size() ? editors[index] : nullptr;
}

void Property_List_Editor::clear() {
    while (form->rowCount() > 0) form->removeRow(0);
    editors.clear();
}

void Property_List_Editor::set_properties(const Property_Bridge_List& properties) {
    clear();
    for (Property_Bridge* bridge : properties) {
        Property_Editor* editor = Property_Editor::create(bridge, form_widget);
        if (!editor) continue;
        editor->set_lock(lock);
        connect(editor, &Property_Editor::property_edited, this, &Property_List_Editor::property_edited);
        editors.push_back(editor);
        if (editor->shows_caption()) {
            form->addRow(static_cast<QWidget*>(nullptr), editor);
            continue;
        }
        auto* label = new QLabel(editor->get_caption(), form_widget);
        label->setBuddy(editor->get_focus_control());
        form->addRow(label, editor);
    }
}

void Property_List_Editor::set_lock(Mutex_Lock* new_lock) {
    lock = new_lock;
    for (Property_Editor* editor : editors) editor->set_lock(lock);
}

void Property_List_Editor::refresh() {
    for (Property_Editor* editor : editors) editor->refresh();
}
