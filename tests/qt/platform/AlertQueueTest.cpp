// The message boxes of the document window come one at a time, each on
// screen, in front and answering keys and clicks; every road to them meets
// in one queue: the core's alerts, the shell's alert sheets, and the other
// modal boxes of the window (the question that waits for its answer, the
// Critical Error panel, a dialog of the window).

#include "platform/QtPlatformServices.h"
#include "shell/AlertSheet.h"
#include "shell/CriticalError.h"
#include "utility/AlertBox.h"
#include "utility/PlatformServices.h"
#include "support/qt/AlertInput.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testsupport;

namespace
{
class AlertQueueTest : public testing::Test
{
protected:
    AlertQueueTest() : m_previous(GetPlatformServices()) { InstallQtPlatformServices(); }
    ~AlertQueueTest() override
    {
        CloseAllMessageBoxes();
        SetPlatformServices(m_previous);
    }

    // A shown main window with the keyboard focus.
    static void ShowActive(QWidget& window)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    // Runs the events of a few turns of the loop (a box that comes too early
    // would show meanwhile).
    static void Settle()
    {
        for (int i = 0; i < 5; ++i)
            QTest::qWait(20);
    }

private:
    PlatformServices* m_previous;
};

// Each row opens a box on the window first; while it is open, an alert is
// asked for. The alert waits, the box in front answers the keys, and the
// alert shows once the box is closed.
struct First
{
    const char* what;
    QString text;
    // Opens the box and calls whileOpen while it is open; returns when the
    // box is closed (a box that runs a loop of its own returns from it).
    std::function<void(QMainWindow& window, const std::function<void()>& whileOpen)> open;
};

TEST_F(AlertQueueTest, AnAlertWaitsForTheBoxBeforeItAndShowsOnceThatIsClosed)
{
    const std::vector<First> rows{
        {"an alert", "The alert asked for first.",
         [](QMainWindow&, const std::function<void()>& whileOpen) {
             ShowAlertBox("The alert asked for first.");
             whileOpen();
         }},
        {"an alert sheet of the window", "The sheet asked for first.",
         [](QMainWindow& window, const std::function<void()>& whileOpen) {
             ShowAlertSheet(&window, "The sheet asked for first.");
             whileOpen();
         }},
        {"a dialog of the window", "A question of the window.",
         [](QMainWindow& window, const std::function<void()>& whileOpen) {
             auto* box = new QMessageBox(QMessageBox::Question, QString(), "A question of the window.",
                                         QMessageBox::Yes | QMessageBox::No, &window);
             box->setAttribute(Qt::WA_DeleteOnClose);
             box->open();
             box->activateWindow();
             whileOpen();
         }},
        {"the question that waits for its answer", "Go on?",
         [](QMainWindow&, const std::function<void()>& whileOpen) {
             QTimer::singleShot(0, whileOpen);
             EXPECT_FALSE(ShowConfirmationBox("Go on?"));
         }},
        {"the Critical Error panel", "Critical Error",
         [](QMainWindow&, const std::function<void()>& whileOpen) {
             QTimer::singleShot(0, whileOpen);
             ShowCriticalError("The atlas cannot be read.");
         }},
    };
    for (const First& row : rows)
    {
        SCOPED_TRACE(row.what);
        QMainWindow window;
        window.resize(500, 400);
        ShowActive(window);
        bool answered = false;
        row.open(window, [&] {
            QMessageBox* first = WaitForAnswerableBox();
            ASSERT_NE(nullptr, first);
            EXPECT_EQ(row.text, first->text());
            ShowAlertBox("The alert asked for next.");
            Settle();
            EXPECT_TRUE(Answerable(first)) << "another box came over it";
            PressKey(Qt::Key_Return);
            answered = true;
        });
        EXPECT_TRUE(answered);
        QMessageBox* next = WaitForAnswerableBox();
        ASSERT_NE(nullptr, next);
        EXPECT_EQ("The alert asked for next.", next->text());
        EXPECT_EQ(&window, next->parentWidget());
        ClickOn(ButtonOf(next, "OK"));
        EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));
    }
}

// A question asked while an alert is open stands over it and takes the keys;
// then the alert does again.
TEST_F(AlertQueueTest, AQuestionAskedOverAnAlertAnswersThenTheAlertDoes)
{
    QMainWindow window;
    window.resize(500, 400);
    ShowActive(window);
    ShowAlertBox("An alert under the question.");
    QMessageBox* alert = WaitForAnswerableBox();
    ASSERT_NE(nullptr, alert);
    QTimer::singleShot(0, [&] {
        QMessageBox* question = nullptr;
        const bool inFront = QTest::qWaitFor(
            [&] {
                question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                return question != nullptr && question != alert &&
                       QGuiApplication::focusWindow() == question->windowHandle() &&
                       WindowOnTopAt(question->frameGeometry().center()) == question->windowHandle();
            },
            20000);
        EXPECT_TRUE(inFront);
        if (question != nullptr)
            ClickOn(ButtonOf(question, "Yes"));
    });
    EXPECT_TRUE(ShowConfirmationBox("Go on?"));
    EXPECT_EQ(alert, WaitForAnswerableBox());
    PressKey(Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));
}

// Alerts asked for at once come one after the other, each on the screen and
// over the window (which reaches past the screen's corner here), and close
// with Return and with a click on OK; then the window answers again.
TEST_F(AlertQueueTest, FortyAlertsAskedAtOnceEachShowOnScreenInTurnAndThenTheWindowAnswers)
{
    QMainWindow window;
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* button = new QPushButton("Answer");
    auto* field = new QLineEdit;
    layout->addWidget(button);
    layout->addWidget(field);
    window.setCentralWidget(central);
    window.resize(600, 400);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window.move(screen.right() - 450, screen.bottom() - 250);
    ShowActive(window);
    field->setFocus();

    constexpr int kAlerts = 40;
    for (int i = 0; i < kAlerts; ++i)
        ShowAlertBox("Alert " + std::to_string(i) + " of many.");
    for (int i = 0; i < kAlerts; ++i)
    {
        SCOPED_TRACE(i);
        QMessageBox* box = WaitForAnswerableBox();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ(QString("Alert %1 of many.").arg(i), box->text());
        EXPECT_TRUE(window.frameGeometry().contains(box->frameGeometry().center()));
        const QPointer<QMessageBox> shown(box);
        if (i % 2 == 0)
            PressKey(Qt::Key_Return);
        else
            ClickOn(ButtonOf(box, "OK"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return shown.isNull() || !shown->isVisible(); }, 20000));
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == window.windowHandle(); }, 20000));
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });
    ClickOn(button);
    EXPECT_EQ(1, clicks);
    field->setFocus();
    PressKey(Qt::Key_A);
    EXPECT_EQ("a", field->text());
}

// Alerts waiting for a window that goes are shown on the window of the
// moment, or stand free when there is none.
TEST_F(AlertQueueTest, AlertsWaitingForAWindowThatGoesAreStillShown)
{
    auto* gone = new QMainWindow;
    gone->resize(500, 400);
    ShowActive(*gone);
    ShowAlertBox("On the window that goes.");
    ShowAlertSheet(gone, "Asked for the window that goes.");
    ShowAlertBox("Asked when no window is left.");
    ASSERT_NE(nullptr, WaitForAnswerableBox());
    {
        QMainWindow other;
        other.resize(400, 300);
        ShowActive(other);
        delete gone;
        QMessageBox* box = WaitForAnswerableBox();
        ASSERT_NE(nullptr, box);
        EXPECT_EQ("Asked for the window that goes.", box->text());
        EXPECT_EQ(&other, box->parentWidget());
        other.hide();
        PressKey(Qt::Key_Return);
    }
    QMessageBox* alone = WaitForAnswerableBox();
    ASSERT_NE(nullptr, alone);
    EXPECT_EQ("Asked when no window is left.", alone->text());
    EXPECT_EQ(nullptr, alone->parentWidget());
    ClickOn(ButtonOf(alone, "OK"));
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));
}
} // namespace
