#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;
class Sample_Editor;

// "Selection": copy, cut and paste of frame ranges through the sample editor's clipboard.
// Paste inserts at the end of the selection.
class Sample_Edit_Clipboard : public QGroupBox {
    Q_OBJECT
public:
    explicit Sample_Edit_Clipboard(QWidget* parent = nullptr);

    void set_sample_editor(Sample_Editor* editor);
    void copy();
    void cut();
    void paste();
    // The buttons follow the selection and the clipboard.
    void update_enabled();

signals:
    // The frames of the sample changed (cut, paste).
    void frames_changed();

private:
    Sample_Editor* editor = nullptr;
    QPushButton* copy_button;
    QPushButton* cut_button;
    QPushButton* paste_button;
    QLabel* range_label;
    QLabel* clipboard_label;
};
