#ifndef NUVARO_TESTS_SUPPORT_QT_ALERTINPUT_H
#define NUVARO_TESTS_SUPPORT_QT_ALERTINPUT_H

// Message boxes as a user meets them: the one the screen shows in front, and
// keys and clicks that go where the X server sends them (keys to the focus
// window, a click to the window on top at its point), so that a box that is
// blocked, hidden or without the focus does not answer.

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTest>
#include <QWindow>

namespace testsupport
{
// The message boxes shown.
inline QList<QMessageBox*> OpenMessageBoxes()
{
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible())
            boxes.append(box);
    return boxes;
}

// The window the screen shows at the global point, across processes'
// stacking as the X server has it.
inline QWindow* WindowOnTopAt(const QPoint& global)
{
    return QGuiApplication::topLevelAt(global);
}

// Whether the box can be answered as a user would: the only box shown, the
// active modal widget, with the keyboard focus, wholly on its screen and not
// covered where its middle is.
inline bool Answerable(QMessageBox* box)
{
    return OpenMessageBoxes() == QList<QMessageBox*>{box} && QApplication::activeModalWidget() == box &&
           QGuiApplication::focusWindow() == box->windowHandle() && box->screen() != nullptr &&
           box->screen()->geometry().contains(box->frameGeometry()) &&
           WindowOnTopAt(box->frameGeometry().center()) == box->windowHandle();
}

// Waits until a box is shown and can be answered (see Answerable); null when
// none is within ms.
inline QMessageBox* WaitForAnswerableBox(int ms = 20000)
{
    QMessageBox* box = nullptr;
    const bool shown = QTest::qWaitFor(
        [&] {
            const QList<QMessageBox*> open = OpenMessageBoxes();
            box = open.size() == 1 ? open.front() : nullptr;
            return box != nullptr && Answerable(box);
        },
        ms);
    return shown ? box : nullptr;
}

// A key press and release where the keyboard focus is.
inline void PressKey(Qt::Key key)
{
    if (QWindow* focus = QGuiApplication::focusWindow())
        QTest::keyClick(focus, key);
}

// A left click on the middle of the widget, given to the window the screen
// shows there.
inline void ClickOn(QWidget* widget)
{
    const QPoint global = widget->mapToGlobal(widget->rect().center());
    if (QWindow* top = WindowOnTopAt(global))
        QTest::mouseClick(top, Qt::LeftButton, {}, top->mapFromGlobal(global));
}

// The box's button with the text.
inline QAbstractButton* ButtonOf(QMessageBox* box, const QString& text)
{
    for (QAbstractButton* button : box->buttons())
        if (button->text() == text)
            return button;
    return nullptr;
}

// Closes every box shown and every box waiting for its turn.
inline void CloseAllMessageBoxes()
{
    for (int round = 0; round < 1000; ++round)
    {
        QCoreApplication::sendPostedEvents();
        const QList<QMessageBox*> open = OpenMessageBoxes();
        if (open.isEmpty())
            return;
        for (QMessageBox* box : open)
            box->close();
    }
}
} // namespace testsupport

#endif
