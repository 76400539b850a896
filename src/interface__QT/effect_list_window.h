#pragma once

#include <QDialog>

// Help: what each pattern effect command and volume-column command does, as a
// plain-text summary in a fixed-size window.
class Effect_List_Window : public QDialog {
    Q_OBJECT
public:
    static constexpr int WIDTH = 500;
    static constexpr int HEIGHT = 400;
    static const char* const effect_summary;

    explicit Effect_List_Window(QWidget* parent = nullptr);
};
