#include "interface__QT/interface.h"

int Interface::widget_timer_interval = 20;

Interface::Interface(QWidget* parent) : QTabWidget(parent) {}
