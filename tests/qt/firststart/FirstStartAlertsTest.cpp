// The application's first start in a process of its own, on a desktop that
// has no web browser, with a file that cannot be read: the file's alert and
// the help page's alert come one after the other, each in front of the
// window, on the screen and answering Return and a click on OK; then the
// window answers again.

#include "gl/QtIconImages.h"
#include "platform/QtMainThreadDispatcher.h"
#include "platform/QtPlatformServices.h"
#include "shell/NuvaroAppController.h"
#include "shell/NuvaroDoc.h"
#include "shell/NuvaroWindowController.h"
#include "support/MemoryPreferenceStore.h"
#include "support/NoBrowserEnvironment.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/qt/AlertInput.h"
#include "support/qt/Screenshot.h"

#include <QLineEdit>
#include <QPointer>

#include <gtest/gtest.h>

using namespace testsupport;

namespace
{
// Waits for the next alert, checks that it starts with start and stands on
// the window, and closes it with a key (Return) or a click on its OK button.
void AnswerAlert(QWidget* window, const QString& start, bool byKey, const char* screenshot = nullptr)
{
    QMessageBox* box = WaitForAnswerableBox();
    ASSERT_NE(nullptr, box) << start.toStdString();
    EXPECT_TRUE(box->text().startsWith(start)) << box->text().toStdString();
    EXPECT_EQ(window, box->parentWidget());
    EXPECT_TRUE(window->frameGeometry().contains(box->frameGeometry().center()));
    if (screenshot != nullptr)
        SaveScreenCapture(screenshot);
    const QPointer<QMessageBox> shown(box);
    if (byKey)
        PressKey(Qt::Key_Return);
    else
        ClickOn(ButtonOf(box, "OK"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown.isNull() || !shown->isVisible(); }, 20000))
        << start.toStdString();
}

TEST(FirstStartAlertsTest, AnUnreadableFileAndNoBrowserGiveAlertsOneAfterTheOther)
{
    TempDir user;
    ScopedEnv userEnv("XDG_DATA_HOME", user.Path().c_str());
    ScopedPreferenceStore prefs;
    NoBrowserEnvironment noBrowser;
    QApplication::setQuitOnLastWindowClosed(false);
    InstallQtPlatformServices();
    InstallQtMainThreadDispatcher();
    QtIconImages::Install();
    TempDir files;
    const QString empty = QString::fromStdString(files.File("empty.xpr"));
    ASSERT_TRUE(WriteFileBytes(empty.toStdString(), ""));

    NuvaroAppController controller;
    ASSERT_EQ(0, controller.start({empty}));
    QPointer<NuvaroDoc> doc = controller.currentDocument();
    ASSERT_NE(nullptr, doc);
    NuvaroWindowController* window = doc->window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    // The file's alert, asked for first, then the help page's, asked for
    // once the loop runs.
    const QString fileAlert = "Could not open file " + empty + "\n\n";
    const QString helpAlert = "The page could not be opened in a web browser:\n";
    AnswerAlert(window, fileAlert, true, "first-start-file-alert");
    AnswerAlert(window, helpAlert, false, "first-start-help-alert");
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));

    // The same two roads again, closed the other way.
    EXPECT_FALSE(controller.openFile(empty));
    NuvaroDoc::showHelp();
    AnswerAlert(window, fileAlert, false);
    AnswerAlert(window, helpAlert, true);

    // The window takes the keys again.
    EXPECT_TRUE(QTest::qWaitFor([] { return OpenMessageBoxes().isEmpty(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == window->windowHandle(); }, 20000));
    window->searchField()->setFocus();
    PressKey(Qt::Key_N);
    EXPECT_EQ("n", window->searchField()->text());
    SaveScreenCapture("first-start-after-alerts");

    window->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return doc.isNull(); }, 20000));
}
} // namespace
