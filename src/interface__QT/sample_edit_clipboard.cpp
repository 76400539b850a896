#include "common/components/audio/sample_data.h"
#include "tracker/sample_editor.h"
#include "trackercore/sample.h"

#include "interface__QT/sample_edit_clipboard.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

Sample_Edit_Clipboard::Sample_Edit_Clipboard(QWidget* parent)
    : QGroupBox("Selection", parent),
      copy_button(new QPushButton("Copy", this)),
      cut_button(new QPushButton("Cut", this)),
      paste_button(new QPushButton("Paste", this)),
      range_label(new QLabel(this)),
      clipboard_label(new QLabel(this)) {
    copy_button->setToolTip("Copies the selected frames");
    cut_button->setToolTip("Removes the selected frames, keeping them on the clipboard");
    paste_button->setToolTip("Inserts the clipboard's frames at the end of the selection");
    range_label->setAccessibleName("Selected Frames");
    clipboard_label->setAccessibleName("Clipboard");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(range_label);
    layout->addWidget(copy_button);
    layout->addWidget(cut_button);
    layout->addWidget(paste_button);
    layout->addWidget(clipboard_label);
    layout->addStretch(1);
    connect(copy_button, &QPushButton::clicked, this, &Sample_Edit_Clipboard::copy);
    connect(cut_button, &QPushButton::clicked, this, &Sample_Edit_Clipboard::cut);
    connect(paste_button, &QPushButton::clicked, this, &Sample_Edit_Clipboard::paste);
    update_enabled();
}

void Sample_Edit_Clipboard::set_sample_editor(Sample_Editor* to) {
    editor = to;
    update_enabled();
}

void Sample_Edit_Clipboard::copy() {
    if (!editor) return;
    editor->frame_copy();
    update_enabled();
}

void Sample_Edit_Clipboard::cut() {
    if (!editor) return;
    editor->frame_cut();
    update_enabled();
    emit frames_changed();
}

void Sample_Edit_Clipboard::paste() {
    if (!editor) return;
    editor->frame_paste();
    update_enabled();
    emit frames_changed();
}

void Sample_Edit_Clipboard::update_enabled() {
    Selection* selection = editor ? editor->get_selection() : nullptr;
    Sample* sample = editor ? editor->get_sample() : nullptr;
    bool has_frames = sample && sample->data.get_size() > 0;
    bool selected = has_frames && selection && selection->is_active();
    copy_button->setEnabled(selected);
    cut_button->setEnabled(selected);
    paste_button->setEnabled(selected && editor && !editor->get_frame_clipboard().empty());
    if (selected)
        range_label->setText(QString("Frames %1 - %2\n(%3 frames)")
                                 .arg(selection->get_begin())
                                 .arg(selection->get_end())
                                 .arg(selection->get_end() - selection->get_begin()));
    else
        range_label->setText("Nothing selected");
    size_t held = editor ? editor->get_frame_clipboard().size() : 0;
    clipboard_label->setText(held ? QString("Clipboard: %1 frames").arg(held) : QString("Clipboard empty"));
}
