#ifndef NUVARO_QT_PLATFORM_ALERTQUEUE_H
#define NUVARO_QT_PLATFORM_ALERTQUEUE_H

#include <functional>

class QMessageBox;
class QWidget;

// The message boxes of the document window, shown one at a time. Two
// window-modal boxes open on one window block each other (the later one
// blocks the earlier, whichever stands on top), and boxes opened together
// cover each other; so a box waits, in the order asked, until the one before
// it is closed. It also waits while another modal window it would block, or
// that would block it, is open (the application-modal question of
// ShowConfirmation, the Critical Error panel, a dialog of the window), and
// shows once that is closed.
//
// The box shown is window-modal on its window and placed over it (or stands
// free, blocking nothing, when there is no window), in front and with the
// keyboard focus; it deletes itself when closed.

// Makes the box when its turn comes, a child of window (null: free-standing);
// returns null when it is no longer wanted. The box is not shown yet.
using AlertMaker = std::function<QMessageBox*(QWidget* window)>;

// Asks for a box on window (null: the document window of the moment). When
// window has gone or been hidden by the box's turn, the box goes on the
// document window of that moment, else stands free. Main thread only; does
// nothing without an application object. A box asked for when nothing waits
// and nothing blocks it is shown before this returns.
void QueueAlert(QWidget* window, AlertMaker make);

#endif
