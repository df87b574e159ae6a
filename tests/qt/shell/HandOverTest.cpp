// One document across the desktop: later launches of the built program hand
// their files to the application already running, here the document window
// of the test process or another launch, and user files are never read as
// options of Qt's.

#include "AppProcess.h"
#include "RawPeer.h"
#include "ShellFixture.h"

#include "platform/QtPlatformServices.h"
#include "shell/OpenFailures.h"
#include "shell/OpenRequest.h"
#include "shell/OpenRequestServer.h"
#include "shell/RecentDocuments.h"
#include "shell/SingleInstance.h"
#include "utility/AlertBox.h"
#include "utility/PlatformServices.h"
#include "support/qt/AlertInput.h"

#include <QImage>
#include <QMessageBox>
#include <QScreen>
#include <QTableView>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#ifdef NUVARO_TEST_APP
using namespace shelltest;

namespace
{
namespace fs = std::filesystem;

QStringList NeuronFiles()
{
    return {QString::fromStdString(ShippedFile("Non_Pyr_Principal.xpr")),
            QString::fromStdString(ShippedFile("Pyramidal.xpr")),
            QString::fromStdString(ShippedFile("Interneuron.xpr"))};
}

// A grid file under the given name in the folder.
std::string GridCopy(const testsupport::TempDir& dir, const std::string& name)
{
    fs::copy_file(ShippedFile("Pyramidal.xpr"), dir.File(name), fs::copy_options::overwrite_existing);
    return dir.File(name);
}

std::string WithoutSlash(const std::string& folder)
{
    return folder.substr(0, folder.size() - 1);
}

// Settings and data shared by every launch of this file: the first one
// installs the atlas.
apptest::AppHome& Home()
{
    static apptest::AppHome* home = new apptest::AppHome;
    return *home;
}

// The document window of this process is the running application: it
// listens where launches on this desktop look.
class HandOverTest : public ShellFixture
{
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        std::string why;
        ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
        ASSERT_TRUE(server.listen(QString::fromStdString(place.socket)));
        server.setReceiver([this](const QStringList& files) { controller->openHandedOverFiles(files); });
    }

    // Runs a launch to its end; its status (-1 when it did not end).
    int LaunchAgain(const QStringList& args, QString& out)
    {
        auto p = apptest::StartApp(args, Home().Environment(runtimePath), work.Path());
        if (!apptest::FinishWhileServing(*p, out, 60000))
            return -1;
        return apptest::Status(*p);
    }

    int Rows() { return window->geneListView()->model()->rowCount(); }

    testsupport::TempDir runtime;
    std::string runtimePath = WithoutSlash(runtime.Path());
    testsupport::ScopedEnv runtimeEnv{"XDG_RUNTIME_DIR", runtimePath.c_str()};
    testsupport::TempDir work;
    SingleInstance::Place place;
    OpenRequestServer server;
};

TEST_F(HandOverTest, LaterLaunchesAddTheUsersFilesToTheOneWindow)
{
    Launch(NeuronFiles());
    ASSERT_EQ(3, Rows());
    const int windows = QApplication::topLevelWidgets().size();
    GridCopy(work, "mine.xpr");

    // A launch with one file, named as in a terminal: only that file, not
    // the shipped ones again; the launch opens no window of its own.
    QString out;
    EXPECT_EQ(0, LaunchAgain({"mine.xpr"}, out)) << out.toStdString();
    EXPECT_FALSE(out.contains("First scene frame drawn")) << out.toStdString();
    EXPECT_FALSE(out.contains("Loaded VERSION")) << out.toStdString();
    EXPECT_EQ(4, Rows());
    EXPECT_EQ(3, window->geneListView()->currentIndex().row());
    EXPECT_EQ(QString::fromStdString(work.File("mine.xpr")), RecentDocuments::list().value(0));
    EXPECT_EQ(windows, QApplication::topLevelWidgets().size());
    EXPECT_TRUE(Process().services.alerts.empty());

    // A bare launch adds nothing and brings the window forward.
    {
        QWidget other;
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        out.clear();
        EXPECT_EQ(0, LaunchAgain({}, out)) << out.toStdString();
        EXPECT_EQ(4, Rows());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    }

    // A launch with three files or more hands over all of them.
    out.clear();
    EXPECT_EQ(0, LaunchAgain(NeuronFiles(), out)) << out.toStdString();
    EXPECT_EQ(7, Rows());
    EXPECT_EQ(windows, QApplication::topLevelWidgets().size());
    SaveScreenshot(window, "handed-over-files");
}

// The window was closed while the application runs on (its search or
// preferences window keeps it): a launch's file comes in a new window.
TEST_F(HandOverTest, AFileHandedOverAfterTheWindowClosedComesInANewWindow)
{
    Launch(NeuronFiles());
    CloseWindow();
    GridCopy(work, "mine.xpr");
    QString out;
    EXPECT_EQ(0, LaunchAgain({"mine.xpr"}, out)) << out.toStdString();
    NuvaroDoc* reopened = controller->currentDocument();
    ASSERT_NE(nullptr, reopened);
    EXPECT_TRUE(reopened->window()->isVisible());
    EXPECT_EQ(1, reopened->window()->geneListView()->model()->rowCount());
}

TEST_F(HandOverTest, AFileThatCannotBeReadIsToldInTheRunningWindow)
{
    Launch(NeuronFiles());
    RecentDocuments::clear();
    ASSERT_TRUE(testsupport::WriteFileBytes(work.File("notes.xpr"), "just some text\n"));
    QString out;
    EXPECT_EQ(0, LaunchAgain({"notes.xpr"}, out)) << out.toStdString();
    EXPECT_EQ(3, Rows());
    ASSERT_EQ(1u, Process().services.alerts.size());
    const std::string& alert = Process().services.alerts[0];
    EXPECT_EQ(0u, alert.find("Could not open file " + work.File("notes.xpr") + "\n\n")) << alert;
    EXPECT_TRUE(RecentDocuments::list().isEmpty());
}

TEST_F(HandOverTest, IdleConnectionsOnTheSocketKeepNoLaunchFromTheWindow)
{
    Launch(NeuronFiles());
    const int windows = QApplication::topLevelWidgets().size();
    GridCopy(work, "mine.xpr");
    std::vector<std::unique_ptr<apptest::RawPeer>> idle;
    for (int i = 0; i < 16; ++i)
    {
        idle.push_back(std::make_unique<apptest::RawPeer>(place.socket));
        ASSERT_TRUE(idle.back()->connected);
    }
    QTest::qWait(100);
    QString out;
    EXPECT_EQ(0, LaunchAgain({"mine.xpr"}, out)) << out.toStdString();
    EXPECT_FALSE(out.contains("First scene frame drawn")) << out.toStdString();
    EXPECT_EQ(4, Rows());
    EXPECT_EQ(windows, QApplication::topLevelWidgets().size());
}

TEST_F(HandOverTest, ALaunchIsTakenWhileTheWindowIsBusy)
{
    Launch(NeuronFiles());
    GridCopy(work, "mine.xpr");
    auto p = apptest::StartApp({"mine.xpr"}, Home().Environment(runtimePath), work.Path());
    // Longer than a launch waits for an answer.
    std::this_thread::sleep_for(std::chrono::seconds(6));
    QString out;
    ASSERT_TRUE(apptest::FinishWhileServing(*p, out, 60000)) << out.toStdString();
    EXPECT_EQ(0, apptest::Status(*p)) << out.toStdString();
    EXPECT_FALSE(out.contains("First scene frame drawn")) << out.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Rows() == 4; }, 30000));
}

TEST_F(HandOverTest, ManyFilesThatCannotBeOpenedAreToldInOneAlert)
{
    Launch(NeuronFiles());
    RecentDocuments::clear();
    QStringList missing;
    for (int i = 0; i < 256; ++i)
        missing << QStringLiteral("missing-%1.xpr").arg(i);
    auto p = apptest::StartApp(missing, Home().Environment(runtimePath), work.Path());
    QString out;
    ASSERT_TRUE(apptest::FinishWhileServing(*p, out, 60000)) << out.toStdString();
    EXPECT_EQ(0, apptest::Status(*p)) << out.toStdString();
    // The launch hands over as many as one launch may; it names the others.
    const QString err = QString::fromUtf8(p->readAllStandardError());
    EXPECT_TRUE(err.contains(QString::fromStdString(work.File("missing-255.xpr")))) << err.toStdString();
    EXPECT_FALSE(err.contains(QString::fromStdString(work.File("missing-31.xpr:")))) << err.toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Process().services.alerts.empty(); }, 30000));
    QTest::qWait(100);
    ASSERT_EQ(1u, Process().services.alerts.size());
    const std::string& alert = Process().services.alerts[0];
    const std::string count = std::to_string(OpenRequest::kMaxHandedOverFiles);
    EXPECT_EQ(0u, alert.find("Could not open " + count + " files:\n\n" + work.File("missing-0.xpr") + ": "))
        << alert;
    EXPECT_NE(std::string::npos,
              alert.find("\nand " + std::to_string(OpenRequest::kMaxHandedOverFiles - OpenFailures::kListed) +
                         " more."))
        << alert;
    EXPECT_EQ(3, Rows());
    EXPECT_TRUE(RecentDocuments::list().isEmpty());

    // A request with more files than one launch hands over (another
    // program's): the others are not read, and told in the same alert.
    Process().services.alerts.clear();
    std::vector<std::string> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(work.File("missing-" + std::to_string(i) + ".xpr"));
    many[35] = GridCopy(work, "beyond.xpr");
    std::string why;
    auto handed = std::async(std::launch::async,
                             [&] { return SingleInstance::HandOver(place.socket, many, 30000, ::getuid(), why); });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return handed.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000));
    EXPECT_EQ(SingleInstance::Delivery::Delivered, handed.get()) << why;
    EXPECT_TRUE(QTest::qWaitFor([&] { return !Process().services.alerts.empty(); }, 30000));
    ASSERT_EQ(1u, Process().services.alerts.size());
    EXPECT_EQ(0u, Process().services.alerts[0].find("Could not open 40 files:")) << Process().services.alerts[0];
    EXPECT_EQ(3, Rows());
}

// Installs Qt's own alerts for one test and puts back the recording ones.
class QtAlertsScope
{
public:
    QtAlertsScope() : m_previous(GetPlatformServices()) { InstallQtPlatformServices(); }
    ~QtAlertsScope()
    {
        SetPlatformServices(m_previous);
        testsupport::CloseAllMessageBoxes();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // Whether the screen comes to show the box where it is (not a window
    // over it), waiting for its drawing within a generous bound.
    static bool Seen(QWidget* box)
    {
        return QTest::qWaitFor([box] { return ShowsNow(box); }, 20000);
    }
    static bool ShowsNow(QWidget* box)
    {
        const QRect area = box->geometry();
        const QImage shown =
            box->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        const QImage own = box->grab().toImage().convertToFormat(shown.format());
        if (shown.size() != own.size())
            return false;
        int same = 0;
        for (int y = 0; y < own.height(); ++y)
            for (int x = 0; x < own.width(); ++x)
                same += shown.pixel(x, y) == own.pixel(x, y) ? 1 : 0;
        return same > own.width() * own.height() * 9 / 10;
    }
    // The open box whose text starts so, or null.
    static QMessageBox* Box(const QString& start)
    {
        for (QMessageBox* box : testsupport::OpenMessageBoxes())
            if (box->text().startsWith(start))
                return box;
        return nullptr;
    }

private:
    PlatformServices* m_previous;
};

// Files given at launch that cannot be read, an empty grid file and a file
// the system calls regular that gives no byte (read fails), are told in an
// alert; the start-up's own alerts (a help page that cannot be opened, shown
// once the event loop runs) come before or after it, one at a time, each in
// front and answering keys and clicks.
TEST_F(HandOverTest, FilesThatCannotBeReadAtLaunchAreToldInAnAlertNothingHides)
{
    QtAlertsScope qtAlerts;
    ASSERT_TRUE(testsupport::WriteFileBytes(work.File("empty.xpr"), ""));
    const QString help = "The page could not be opened in a web browser: /help/index.html";
    QTimer::singleShot(0, qApp, [help] { ShowAlertBox(help.toStdString()); });
    QStringList files = NeuronFiles();
    files << QString::fromStdString(work.File("empty.xpr")) << QStringLiteral("/proc/self/mem");
    Launch(files);
    // Run alone, this test makes the process's first document, whose own
    // help page alert may come too.
    QString filesText;
    bool helpSeen = false;
    for (int i = 0; i < 3 && (filesText.isEmpty() || !helpSeen); ++i)
    {
        QMessageBox* box = testsupport::WaitForAnswerableBox();
        ASSERT_NE(nullptr, box) << i;
        EXPECT_EQ(box->parentWidget(), window);
        EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()));
        if (box->text().startsWith("Could not open"))
        {
            EXPECT_TRUE(filesText.isEmpty()) << "more than one alert names files";
            filesText = box->text();
        }
        helpSeen = helpSeen || box->text() == help;
        if (i % 2 == 0)
            testsupport::PressKey(Qt::Key_Return);
        else
            testsupport::ClickOn(testsupport::ButtonOf(box, "OK"));
    }
    EXPECT_TRUE(helpSeen);
    EXPECT_TRUE(filesText.startsWith("Could not open 2 files:\n\n" + QString::fromStdString(work.File("empty.xpr")) +
                                     ": "))
        << filesText.toStdString();
    EXPECT_TRUE(filesText.contains("\n/proc/self/mem: ")) << filesText.toStdString();
    EXPECT_EQ(3, Rows());
}

// A launch brings the window forward, and an alert still open on it comes
// forward too: behind the window it would block it unseen.
TEST_F(HandOverTest, ALaunchBringsTheWindowForwardWithItsOpenAlertInFront)
{
    QtAlertsScope qtAlerts;
    Launch(NeuronFiles());
    ShowAlertBox("An alert still open.");
    QMessageBox* box = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (box = QtAlertsScope::Box("An alert still open.")) != nullptr; }, 5000));
    ASSERT_TRUE(QtAlertsScope::Seen(box));

    QString out;
    EXPECT_EQ(0, LaunchAgain({}, out)) << out.toStdString();
    EXPECT_TRUE(QtAlertsScope::Seen(box)) << "the alert is behind its window";
}

// An alert shown while the window is being made (an unreadable bookmarks
// file's, say) comes before the window: the window must not hide it.
TEST_F(HandOverTest, AnAlertFromBeforeTheWindowIsNotHiddenByIt)
{
    QtAlertsScope qtAlerts;
    ShowAlertBox("An alert from the window's making.");
    QMessageBox* box = QtAlertsScope::Box("An alert from the window's making.");
    ASSERT_NE(nullptr, box);
    Launch(NeuronFiles());
    EXPECT_TRUE(QtAlertsScope::Seen(box)) << "the alert is behind the window";
}

// Launches of the built program only, in a session folder of the test's.
class LaunchTest : public testing::Test
{
protected:
    apptest::Launch Start(const QStringList& args, bool quitAfterFirstFrame)
    {
        return apptest::StartApp(args, Home().Environment(runtimePath, quitAfterFirstFrame), work.Path());
    }

    // Runs a launch that must start the application itself.
    void ExpectOwnWindow(const QStringList& args, int loads)
    {
        auto p = Start(args, true);
        QString out;
        ASSERT_TRUE(apptest::FinishWhileServing(*p, out)) << out.toStdString();
        EXPECT_EQ(0, apptest::Status(*p)) << out.toStdString() << p->readAllStandardError().toStdString();
        EXPECT_TRUE(out.contains("First scene frame drawn")) << out.toStdString();
        EXPECT_EQ(loads, static_cast<int>(out.count("Loaded VERSION"))) << out.toStdString();
    }

    testsupport::TempDir runtime;
    std::string runtimePath = WithoutSlash(runtime.Path());
    testsupport::TempDir work;
};

TEST_F(LaunchTest, TwoLaunchesAtOnceEndWithOneWindow)
{
    GridCopy(work, "a.xpr");
    GridCopy(work, "b.xpr");
    GridCopy(work, "c.xpr");
    GridCopy(work, "d.xpr");
    // As the file manager starts one launch per file; then one launch with a
    // file beside one with several.
    const std::vector<std::pair<QStringList, QStringList>> pairs{
        {{"a.xpr"}, {"b.xpr"}},
        {{"a.xpr"}, {"b.xpr", "c.xpr", "d.xpr"}},
    };
    for (const auto& [firstArgs, secondArgs] : pairs)
    {
        SCOPED_TRACE(firstArgs.join(' ').toStdString() + " | " + secondArgs.join(' ').toStdString());
        auto first = Start(firstArgs, false);
        auto second = Start(secondArgs, false);
        QString firstOut, secondOut;
        // One of them hands its files to the other and ends.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return first->state() == QProcess::NotRunning || second->state() == QProcess::NotRunning; }, 60000));
        const bool firstEnded = first->state() == QProcess::NotRunning;
        QProcess& ended = firstEnded ? *first : *second;
        QProcess& running = firstEnded ? *second : *first;
        QString& endedOut = firstEnded ? firstOut : secondOut;
        QString& runningOut = firstEnded ? secondOut : firstOut;
        endedOut += QString::fromUtf8(ended.readAllStandardOutput());
        EXPECT_EQ(0, apptest::Status(ended)) << endedOut.toStdString();
        EXPECT_FALSE(endedOut.contains("First scene frame drawn")) << endedOut.toStdString();
        // The other shows its window with every user file in it.
        const QStringList userFiles = firstArgs + secondArgs;
        const bool allThere = QTest::qWaitFor(
            [&] {
                runningOut += QString::fromUtf8(running.readAllStandardOutput());
                if (!runningOut.contains("First scene frame drawn"))
                    return false;
                // Its own files as given, the handed-over ones absolute.
                for (const QString& file : userFiles)
                    if (!runningOut.contains(file + "'\n"))
                        return false;
                return true;
            },
            60000);
        EXPECT_TRUE(allThere) << runningOut.toStdString();
        // Each user file once, and the shipped ones once when the window
        // came from a launch with at most one file.
        const int shipped = (firstEnded ? secondArgs : firstArgs).size() <= 1 ? 3 : 0;
        EXPECT_EQ(shipped + userFiles.size(), static_cast<int>(runningOut.count("Loaded VERSION")))
            << runningOut.toStdString();
        EXPECT_EQ(QProcess::Running, running.state());
    }
}

TEST_F(LaunchTest, ALaunchThatStartsACopyEndsWithStatusZeroWhateverTheCopyGives)
{
    auto launch = Start({}, false);
    QString out;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            out += QString::fromUtf8(launch->readAllStandardOutput());
            return out.contains("First scene frame drawn");
        },
        60000))
        << out.toStdString();
    const std::vector<pid_t> copies = apptest::ChildrenOf(static_cast<pid_t>(launch->processId()));
    ASSERT_EQ(1u, copies.size());
    ::kill(copies[0], SIGKILL);
    ASSERT_TRUE(apptest::FinishWhileServing(*launch, out, 30000));
    EXPECT_EQ(0, apptest::Status(*launch));
}

// How many times the program's output says it read the file.
int TimesOpened(const QString& out, const std::string& file)
{
    int times = 0;
    for (const QString& line : out.split('\n'))
        times += line.startsWith("Loaded VERSION") && line.endsWith("'" + QString::fromStdString(file) + "'") ? 1 : 0;
    return times;
}

// Serves events until the output of the program holds text; false when the
// program ended first or ms passed.
bool WaitForOutput(QProcess& p, QString& out, const QString& text, int ms = 60000)
{
    return QTest::qWaitFor(
        [&] {
            out += QString::fromUtf8(p.readAllStandardOutput());
            return out.contains(text) || p.state() == QProcess::NotRunning;
        },
        ms) &&
           out.contains(text);
}

TEST_F(LaunchTest, LaunchesWhileTheWindowQuitsEachReachAWindow)
{
    // The first window quits once it has drawn; launches with a file follow
    // one another until it is gone, each ending when its file is taken or
    // when the window it started has drawn.
    auto first = Start(NeuronFiles(), true);
    QString firstOut;
    ASSERT_TRUE(WaitForOutput(*first, firstOut, "First scene frame drawn")) << firstOut.toStdString();
    struct Made
    {
        std::string file;
        int status;
        QString out;
    };
    std::vector<Made> made;
    for (int i = 0, afterEnd = 0; afterEnd < 2 && i < 40; ++i)
    {
        afterEnd += first->state() == QProcess::NotRunning ? 1 : 0;
        const std::string file = GridCopy(work, "while-quitting-" + std::to_string(i) + ".xpr");
        auto launch = Start({QString::fromStdString(file)}, true);
        QString out;
        ASSERT_TRUE(apptest::FinishWhileServing(*launch, out)) << out.toStdString();
        made.push_back({file, apptest::Status(*launch), out});
    }
    ASSERT_TRUE(apptest::FinishWhileServing(*first, firstOut));
    for (const Made& launch : made)
    {
        SCOPED_TRACE(launch.file);
        EXPECT_EQ(0, launch.status) << launch.out.toStdString();
        EXPECT_EQ(1, TimesOpened(firstOut, launch.file) + TimesOpened(launch.out, launch.file));
    }
}

TEST_F(LaunchTest, AFileALaunchGaveUpOnIsNeverOpened)
{
    auto window = Start(NeuronFiles(), false);
    QString windowOut;
    ASSERT_TRUE(WaitForOutput(*window, windowOut, "First scene frame drawn")) << windowOut.toStdString();
    const pid_t pid = static_cast<pid_t>(window->processId());
    // The window stopped: the launch gives up on it (soon, here).
    ASSERT_EQ(0, ::kill(pid, SIGSTOP));
    const std::string file = GridCopy(work, "given-up.xpr");
    QProcessEnvironment env = Home().Environment(runtimePath, false);
    env.insert("NUVARO_HANDOVER_GIVE_UP_MS", "2000");
    auto launch = apptest::StartApp({QString::fromStdString(file)}, env, work.Path());
    QString out;
    const bool ended = apptest::FinishWhileServing(*launch, out);
    ::kill(pid, SIGCONT);
    ASSERT_TRUE(ended) << out.toStdString();
    EXPECT_EQ(1, apptest::Status(*launch)) << out.toStdString();
    const QString err = QString::fromUtf8(launch->readAllStandardError());
    EXPECT_TRUE(err.contains("did not take the files")) << err.toStdString();

    // It goes on: a later launch's file is opened, the given-up one never.
    const std::string later = GridCopy(work, "later.xpr");
    auto next = Start({QString::fromStdString(later)}, false);
    ASSERT_TRUE(apptest::FinishWhileServing(*next, out)) << out.toStdString();
    EXPECT_EQ(0, apptest::Status(*next));
    EXPECT_TRUE(WaitForOutput(*window, windowOut, QString::fromStdString("'" + later + "'")))
        << windowOut.toStdString();
    EXPECT_EQ(0, TimesOpened(windowOut, file)) << windowOut.toStdString();
}

TEST_F(LaunchTest, ANonFileAtTheAliveFilesPlaceIsReplaced)
{
    testsupport::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtimePath.c_str());
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    testsupport::TempDir elsewhere;
    const std::string target = elsewhere.File("target");
    ASSERT_TRUE(testsupport::WriteFileBytes(target, ""));
    const std::vector<std::pair<std::string, std::function<bool()>>> kinds{
        {"a FIFO", [&] { return ::mkfifo(place.alive.c_str(), 0600) == 0; }},
        {"a folder", [&] { return ::mkdir(place.alive.c_str(), 0700) == 0; }},
        {"a link", [&] { return ::symlink(target.c_str(), place.alive.c_str()) == 0; }},
    };
    for (std::size_t k = 0; k < kinds.size(); ++k)
    {
        SCOPED_TRACE(kinds[k].first);
        fs::remove_all(place.alive);
        ASSERT_TRUE(kinds[k].second());
        // A launch starts one window, which serves the next launch.
        auto window = Start(NeuronFiles(), false);
        QString windowOut;
        if (!WaitForOutput(*window, windowOut, "First scene frame drawn"))
        {
            ADD_FAILURE() << "no window: " << window->readAllStandardError().toStdString();
            continue;
        }
        const std::string file = GridCopy(work, "beside-" + std::to_string(k) + ".xpr");
        auto launch = Start({QString::fromStdString(file)}, true);
        QString out;
        ASSERT_TRUE(apptest::FinishWhileServing(*launch, out)) << out.toStdString();
        EXPECT_EQ(0, apptest::Status(*launch)) << out.toStdString() << launch->readAllStandardError().toStdString();
        EXPECT_FALSE(out.contains("First scene frame drawn")) << out.toStdString();
        EXPECT_TRUE(WaitForOutput(*window, windowOut, QString::fromStdString("'" + file + "'")))
            << windowOut.right(2000).toStdString() << window->readAllStandardError().toStdString();
    }
}

// A local socket file at path that no application answers on.
void LeaveStaleSocket(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    EXPECT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ::close(fd);
}

TEST_F(LaunchTest, ASocketNoApplicationAnswersOnIsReplaced)
{
    testsupport::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtimePath.c_str());
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    LeaveStaleSocket(place.socket);
    ExpectOwnWindow(NeuronFiles(), 3);
    // A bare launch does the same, through its copy with the shipped files.
    LeaveStaleSocket(place.socket + ".x");
    ::rename((place.socket + ".x").c_str(), place.socket.c_str());
    ExpectOwnWindow({}, 3);
}

TEST_F(LaunchTest, AnApplicationInAFolderOthersCanEnterOrOwnIsNotUsed)
{
    testsupport::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtimePath.c_str());
    SingleInstance::Place place;
    std::string why;
    ASSERT_TRUE(SingleInstance::FindPlace(place, why)) << why;
    // Someone listens where the launch would look.
    OpenRequestServer listening;
    std::vector<QStringList> received;
    listening.setReceiver([&](const QStringList& files) { received.push_back(files); });
    ASSERT_TRUE(listening.listen(QString::fromStdString(place.socket)));

    ASSERT_EQ(0, ::chmod(place.folder.c_str(), 0755));
    ExpectOwnWindow(NeuronFiles(), 3);
    ASSERT_EQ(0, ::chmod(place.folder.c_str(), 0700));
    ASSERT_EQ(0, ::chmod(runtimePath.c_str(), 0711));
    ExpectOwnWindow(NeuronFiles(), 3);
    ASSERT_EQ(0, ::chmod(runtimePath.c_str(), 0700));
    if (::geteuid() == 0)
    {
        ASSERT_EQ(0, ::chown(place.folder.c_str(), 65534, 65534));
        ExpectOwnWindow(NeuronFiles(), 3);
        ASSERT_EQ(0, ::chown(place.folder.c_str(), 0, 0));
    }
    EXPECT_TRUE(received.empty());
}

TEST_F(LaunchTest, FilesNamedLikeQtOptionsAreOpenedAsFiles)
{
    GridCopy(work, "-platform");
    GridCopy(work, "-reverse");
    GridCopy(work, "-stylesheet=x.xpr");
    ExpectOwnWindow({"-platform", "-reverse", "-stylesheet=x.xpr"}, 3);
    // A launch with one file passes it on to its copy with the shipped files.
    ExpectOwnWindow({"-stylesheet=x.xpr"}, 4);
    ExpectOwnWindow({"-reverse"}, 4);
}
} // namespace
#endif
