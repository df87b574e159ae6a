#include "platform/QtPlatformServices.h"

#include "utility/AlertBox.h"
#include "utility/OSUtils.h"
#include "support/NoBrowserEnvironment.h"
#include "support/ScopedEnv.h"
#include "support/TempDir.h"
#include "support/qt/AlertInput.h"
#include "support/qt/Screenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

namespace
{
// Installs the Qt services for one test and puts back what was there.
class QtServicesScope
{
public:
    QtServicesScope() : m_previous(GetPlatformServices()) { InstallQtPlatformServices(); }
    ~QtServicesScope() { SetPlatformServices(m_previous); }

private:
    PlatformServices* m_previous;
};


QStringList ButtonTexts(QMessageBox* box)
{
    QStringList texts;
    for (QAbstractButton* button : box->buttons())
        texts.append(button->text());
    texts.sort();
    return texts;
}

// Runs act on the question box once its modal loop runs, then asks.
bool Answer(const std::string& question, const std::function<void(QMessageBox*)>& act)
{
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
        {
            ADD_FAILURE() << "no question box is open";
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
            return;
        }
        act(box);
    });
    return ShowConfirmationBox(question);
}
} // namespace

TEST(QtPlatformServices, AlertIsAPlainTextSheetOnTheDocumentWindowAndReturnsAtOnce)
{
    QtServicesScope scope;
    // Without a window the box stands alone.
    ASSERT_EQ(QtPlatformServices::DocumentWindow(), nullptr);
    ShowAlertBox("No window");
    ASSERT_EQ(testsupport::OpenMessageBoxes().size(), 1);
    QPointer<QMessageBox> alone = testsupport::OpenMessageBoxes().front();
    EXPECT_EQ(alone->parentWidget(), nullptr);
    alone->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alone.isNull());

    QMainWindow window;
    window.resize(400, 300);
    window.show();
    ASSERT_EQ(QtPlatformServices::DocumentWindow(), &window);
    ShowAlertBox("Error reading gene data. <b>100%</b> %s\nsecond line");
    ASSERT_EQ(testsupport::OpenMessageBoxes().size(), 1);
    QPointer<QMessageBox> box = testsupport::OpenMessageBoxes().front();
    EXPECT_EQ(box->parentWidget(), &window);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text().toStdString(), "Error reading gene data. <b>100%</b> %s\nsecond line");
    EXPECT_TRUE(box->windowTitle().isEmpty());
    EXPECT_EQ(ButtonTexts(box), QStringList{"OK"});
    // Pressing OK closes the box, which then goes away by itself.
    box->buttons().front()->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(box.isNull());
}

TEST(QtPlatformServices, ConfirmationDefaultsToNo)
{
    QtServicesScope scope;
    QMainWindow window;
    window.show();

    EXPECT_FALSE(Answer("5000 rows have been imported so far. Do you want to continue?", [](QMessageBox* box) {
        EXPECT_EQ(box->text().toStdString(), "5000 rows have been imported so far. Do you want to continue?");
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(ButtonTexts(box), (QStringList{"No", "Yes"}));
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), "No");
        QTest::keyClick(box, Qt::Key_Return);
    }));
    EXPECT_FALSE(Answer("Escape?", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }));
    EXPECT_FALSE(Answer("Closed?", [](QMessageBox* box) { box->close(); }));
    EXPECT_TRUE(Answer("<i>Yes</i> 50%?", [](QMessageBox* box) {
        EXPECT_EQ(box->text().toStdString(), "<i>Yes</i> 50%?");
        for (QAbstractButton* button : box->buttons())
            if (button->text() == "Yes")
                button->click();
    }));
    EXPECT_TRUE(testsupport::OpenMessageBoxes().isEmpty());
}

// Receives the URLs that QDesktopServices would hand to the browser.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.append(url); }
};

TEST(QtPlatformServices, BrowserAddressesAndFilesGoToTheDesktopFromAnyThread)
{
    // Without xdg-open the requests go through QDesktopServices, whose URL
    // handlers catch them here.
    testsupport::TempDir noOpener;
    testsupport::ScopedEnv path("PATH", noOpener.Path().c_str());
    QtServicesScope scope;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "Open");
    QDesktopServices::setUrlHandler("file", &catcher, "Open");

    OSUtils::OpenBrowser("https://atlas.example/viewer?imageId=7&x=0.25&y=-0.5&z=80");
    OSUtils::OpenBrowser("/tmp/neuron launch.jnlp");
    OSUtils::OpenBrowser("not a url");
    OpenWithDefaultApplication("/tmp/neuron cache/META_JNLP.jnlp");
    // A relative path opens the file of that name in the working folder.
    OpenWithDefaultApplication("neuron cache/r\xc3\xa9sum\xc3\xa9 #1.jnlp");
    // From another thread the requests reach the main thread first.
    std::thread([] {
        OSUtils::OpenBrowser("https://atlas.example/from-thread");
        OpenWithDefaultApplication("/tmp/from thread.jnlp");
    }).join();
    EXPECT_EQ(catcher.urls.size(), 4);
    QCoreApplication::sendPostedEvents();
    // An address without a scheme is not passed on; the user is told.
    ASSERT_EQ(testsupport::OpenMessageBoxes().size(), 1);
    QPointer<QMessageBox> box = testsupport::OpenMessageBoxes().front();
    EXPECT_EQ(box->text().toStdString(), "The page could not be opened in a web browser:\nnot a url");
    box->close();

    QDesktopServices::unsetUrlHandler("https");
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 6);
    EXPECT_EQ(catcher.urls[0].toString().toStdString(), "https://atlas.example/viewer?imageId=7&x=0.25&y=-0.5&z=80");
    EXPECT_EQ(catcher.urls[1], QUrl::fromLocalFile("/tmp/neuron launch.jnlp"));
    EXPECT_EQ(catcher.urls[2], QUrl::fromLocalFile("/tmp/neuron cache/META_JNLP.jnlp"));
    EXPECT_EQ(catcher.urls[3], QUrl::fromLocalFile(QDir::current().absoluteFilePath("neuron cache/r\u00e9sum\u00e9 #1.jnlp")));
    EXPECT_EQ(catcher.urls[3].toString(QUrl::FullyEncoded).left(8).toStdString(), "file:///");
    EXPECT_EQ(catcher.urls[4].toString().toStdString(), "https://atlas.example/from-thread");
    EXPECT_EQ(catcher.urls[5], QUrl::fromLocalFile("/tmp/from thread.jnlp"));
}

// Where Qt finds no browser and no application to start (on Linux: no
// xdg-open, no browser of its own list on the PATH and none named by
// BROWSER), QDesktopServices::openUrl answers false, and the page or file is
// named in an alert on the document window, also for a request made on
// another thread. Qt keeps a browser once it has found one, so nothing
// before this test in this process may open a page for real.
TEST(QtPlatformServices, WithoutABrowserThePageOrFileIsNamedInAnAlertOnTheWindow)
{
    testsupport::NoBrowserEnvironment noBrowser;
    QtServicesScope scope;
    QMainWindow window;
    window.resize(500, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_FALSE(OSUtils::OpenBrowser("https://atlas.example/info?id=100"));
    EXPECT_FALSE(OSUtils::OpenBrowser("/opt/nuvaro/Data/Help/index.html"));
    EXPECT_FALSE(OpenWithDefaultApplication("/tmp/neuron cache/META_JNLP.jnlp"));
    std::thread([] { OSUtils::OpenBrowser("https://atlas.example/from-thread"); }).join();
    QCoreApplication::sendPostedEvents();

    // One alert at a time, each once the one before it is closed.
    QStringList texts;
    for (int i = 0; i < 4; ++i)
    {
        QMessageBox* box = testsupport::WaitForAnswerableBox();
        ASSERT_NE(box, nullptr) << i;
        EXPECT_EQ(box->parentWidget(), &window);
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        // The address can be copied from the alert.
        EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse);
        texts.append(box->text());
        if (i == 0)
            testsupport::SaveScreenshot(box, "page-not-opened-alert");
        box->close();
    }
    texts.sort();
    EXPECT_EQ(texts, (QStringList{
                         "The file could not be opened with an application:\n/tmp/neuron cache/META_JNLP.jnlp",
                         "The page could not be opened in a web browser:\n/opt/nuvaro/Data/Help/index.html",
                         "The page could not be opened in a web browser:\nhttps://atlas.example/from-thread",
                         "The page could not be opened in a web browser:\nhttps://atlas.example/info?id=100",
                     }));
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(testsupport::OpenMessageBoxes().isEmpty());
}

// With xdg-open on the PATH the request goes to it, and its exit status is
// watched: an opener that finds no browser or application says so only when
// it ends, after the request has returned, and the user is told then.
TEST(QtPlatformServices, AnOpenerThatFailsLaterIsToldInAnAlertNamingThePage)
{
    testsupport::TempDir bin;
    const std::string log = bin.File("opened.txt");
    // Fails for addresses that hold "nobrowser", opens everything else.
    ASSERT_TRUE(testsupport::WriteFileBytes(bin.File("xdg-open"),
                                            "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log +
                                                "'\ncase \"$1\" in *nobrowser*) exit 3;; esac\nexit 0\n"));
    std::filesystem::permissions(bin.File("xdg-open"), std::filesystem::perms::owner_all);
    testsupport::ScopedEnv path("PATH", (bin.Path() + ":/usr/bin:/bin").c_str());
    QtServicesScope scope;
    QMainWindow window;
    window.resize(500, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    EXPECT_TRUE(OSUtils::OpenBrowser("https://atlas.example/info?id=100&name=a b"));
    EXPECT_TRUE(OpenWithDefaultApplication("/tmp/neuron cache/META_JNLP.jnlp"));
    EXPECT_TRUE(OSUtils::OpenBrowser("https://nobrowser.example/neuron_info.jsp?neuron_name=c1"));
    EXPECT_TRUE(OpenWithDefaultApplication("/tmp/nobrowser/META_JNLP.jnlp"));
    // The two failures, one after the other.
    QStringList texts;
    for (int i = 0; i < 2; ++i)
    {
        QMessageBox* box = testsupport::WaitForAnswerableBox();
        ASSERT_NE(box, nullptr) << i;
        EXPECT_EQ(box->parentWidget(), &window);
        texts.append(box->text());
        box->close();
    }
    // Every opener has ended (every address is in the log), and nothing more comes.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QString::fromStdString(testsupport::ReadFileBytes(log)).count('\n') == 4; }, 20000));
    QTest::qWait(200);
    EXPECT_TRUE(testsupport::OpenMessageBoxes().isEmpty());
    texts.sort();
    EXPECT_EQ(texts, (QStringList{
                         "The file could not be opened with an application:\n/tmp/nobrowser/META_JNLP.jnlp",
                         "The page could not be opened in a web browser:\n"
                         "https://nobrowser.example/neuron_info.jsp?neuron_name=c1",
                     }));
    QStringList opened = QString::fromStdString(testsupport::ReadFileBytes(log)).split('\n', Qt::SkipEmptyParts);
    opened.sort();
    EXPECT_EQ(opened, (QStringList{
                          "file:///tmp/neuron%20cache/META_JNLP.jnlp",
                          "file:///tmp/nobrowser/META_JNLP.jnlp",
                          "https://atlas.example/info?id=100&name=a%20b",
                          "https://nobrowser.example/neuron_info.jsp?neuron_name=c1",
                      }));
}

#include "QtPlatformServicesTest.moc"
