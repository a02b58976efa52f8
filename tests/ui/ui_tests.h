// Shared by the ui test classes, which test_main.cpp runs one after the other.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace glimmora::test {

// Calls answer(dialog) as soon as a modal dialog of type T is up: the code under test runs its own
// exec(), so the answer comes from the event loop.
template <typename T>
void AnswerModal(std::function<void(T*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}

// A mouse event as the window system delivers it to w, at pos in w's coordinates.
inline void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::NoButton) {
    const Qt::MouseButtons buttons =
        type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
    QMouseEvent event(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

int RunColourPickerTests(int argc, char** argv);
int RunToolOptionBarTests(int argc, char** argv);
int RunSmallControlTests(int argc, char** argv);
int RunDialogTests(int argc, char** argv);

}  // namespace glimmora::test
