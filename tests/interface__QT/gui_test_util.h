#pragma once

#include <QApplication>
#include <QLabel>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// The control a caption names: the buddy of the label with exactly this text, as W.
template <class W> W* buddy_of(QWidget* root, const QString& caption) {
    for (QLabel* label : root->findChildren<QLabel*>())
        if (label->text() == caption) return qobject_cast<W*>(label->buddy());
    return nullptr;
}

// A child by its visible text or accessible name (buttons, check boxes).
template <class W> W* named(QWidget* root, const QString& name) {
    for (W* widget : root->findChildren<W*>()) {
        if (widget->accessibleName() == name) return widget;
        if constexpr (requires { widget->text(); })
            if (widget->text() == name) return widget;
    }
    return nullptr;
}

// Answers the next modal dialog of type D once it is shown: call before the action that runs
// it. `answer` runs with the dialog and must close it. Gives up after about five seconds,
// closing whatever modal window is open so a test cannot hang.
template <class D> void answer_modal(std::function<void(D*)> answer) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
        QWidget* modal = QApplication::activeModalWidget();
        if (D* dialog = qobject_cast<D*>(modal); dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            if (modal) modal->close();
        }
    });
    timer->start(10);
}
