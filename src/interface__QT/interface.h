#pragma once

#include <QTabWidget>

// The song editor: six pages over one tracker instance.
class Interface : public QTabWidget {
    Q_OBJECT
public:
    // The refresh interval of every song window, in milliseconds ("repaint_interval").
    static int widget_timer_interval;

    explicit Interface(QWidget* parent = nullptr);
};
