#pragma once

#include <QFrame>
#include <QScrollArea>

// The content at its full size in a frameless scroll area: in a window too small for it (a
// small screen, a large scale factor) the controls scroll instead of being squeezed or cut.
// Where the window is large enough the content fills it as if it were placed directly.
inline QScrollArea* scroll_page(QWidget* content, QWidget* parent = nullptr) {
    auto* area = new QScrollArea(parent);
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    area->setFocusProxy(content);
    return area;
}
