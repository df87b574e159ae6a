// The first-run installer panel under Xvfb, on the generated data folder with
// empty temporary user folders.
#include "shell/InstallerController.h"

#include "model/Atlas.h"
#include "utility/ResourcePath.h"

#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace
{
// Empty user folders for the whole process, set before anything asks for them.
class UserFoldersEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_home = std::make_unique<TempDir>();
        setenv("NUVARO_DATA_DIR", testsupport::SampleDataDir().c_str(), 1);
        setenv("XDG_DATA_HOME", m_home->File("data").c_str(), 1);
        setenv("XDG_CACHE_HOME", m_home->File("cache").c_str(), 1);
        setenv("XDG_CONFIG_HOME", m_home->File("config").c_str(), 1);
    }
    void TearDown() override { m_home.reset(); }

private:
    std::unique_ptr<TempDir> m_home;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new UserFoldersEnvironment);

enum class Stop
{
    None,
    QuitButton,
    ClosePanel,
    EscapeKey
};

// Watches the panel from a main-thread timer while runInstaller runs:
// records the bar, answers a "Critical Error" box and performs the stop the
// install function asked for.
class PanelWatcher
{
public:
    explicit PanelWatcher(InstallerController& controller) : m_controller(controller)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
        m_timer.start(5);
    }

    void Tick()
    {
        ++ticks;
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
        {
            alertTitle = box->windowTitle().toStdString();
            alertText = box->text().toStdString();
            alertIcon = box->icon();
            alertFormat = box->textFormat();
            for (QAbstractButton* button : box->buttons())
                alertButtons.push_back(button->text().toStdString());
            box->buttons().first()->click();
            return;
        }
        QDialog* panel = m_controller.panel();
        if (panel == nullptr || !panel->isVisible())
            return;
        modality = panel->windowModality();
        parent = panel->parentWidget();
        if (!m_barWatched)
        {
            // Every value the bar shows, also the last one before the panel goes.
            m_barWatched = true;
            auto* progress = panel->findChild<QProgressBar*>();
            bar.push_back(progress->value());
            QObject::connect(progress, &QProgressBar::valueChanged, [this](int value) { bar.push_back(value); });
            panelSeen = true;
        }
        if (stopRequested && !m_stopped)
        {
            m_stopped = true;
            auto* quit = panel->findChild<QPushButton*>();
            if (stop == Stop::QuitButton)
                quit->click();
            else if (stop == Stop::ClosePanel)
                panel->close();
            else
                QTest::keyClick(panel, Qt::Key_Escape);
            statusAfterStop = panel->findChild<QLabel*>()->text().toStdString();
            quitEnabledAfterStop = quit->isEnabled();
            stillShownAfterStop = panel->isVisible();
        }
    }

    Stop stop = Stop::None;
    std::atomic<bool> stopRequested{false};
    // Set once the watcher has seen the panel and watches its bar.
    std::atomic<bool> panelSeen{false};
    int ticks = 0;
    std::vector<int> bar;
    Qt::WindowModality modality = Qt::NonModal;
    QWidget* parent = nullptr;
    std::string statusAfterStop;
    bool quitEnabledAfterStop = true;
    bool stillShownAfterStop = false;
    std::string alertTitle, alertText;
    QMessageBox::Icon alertIcon = QMessageBox::NoIcon;
    Qt::TextFormat alertFormat = Qt::AutoText;
    std::vector<std::string> alertButtons;

private:
    InstallerController& m_controller;
    QTimer m_timer;
    bool m_stopped = false;
    bool m_barWatched = false;
};

// An atlas over the sample data with a user atlas folder of its own.
struct LocalAtlas
{
    explicit LocalAtlas(const std::string& dataPath = testsupport::SampleDataDir())
        : userFolder(std::make_unique<TempDir>())
    {
        testsupport::QuietStdout quiet; // the ontology loader's lines
        atlas = std::make_unique<Atlas>(dataPath, userFolder->Path());
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(userFolder->Path()))
            names.push_back(entry.path().filename().string());
        return names;
    }
    std::unique_ptr<TempDir> userFolder;
    std::unique_ptr<Atlas> atlas;
};

// Wraps the real installation: once the progress passes stopAt, asks the
// watcher to stop and keeps reporting until the installer's flag is set.
InstallerController::InstallFunction StoppingInstall(Atlas& atlas, PanelWatcher*& watcher, float stopAt)
{
    struct Hook
    {
        ProgressCallback callback;
        void* context;
        PanelWatcher** watcher;
        float stopAt;
        const bool* flag;
    };
    return [&atlas, &watcher, stopAt](ProgressCallback callback, void* context, bool* cancel) {
        Hook hook{callback, context, &watcher, stopAt, cancel};
        auto relay = [](float fraction, void* self) {
            Hook& h = *static_cast<Hook*>(self);
            h.callback(fraction, h.context);
            if (fraction < h.stopAt || h.stopAt < 0.0f || *h.flag)
                return;
            (*h.watcher)->stopRequested = true;
            // The bound only ends an installation whose stop never comes.
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!*h.flag && std::chrono::steady_clock::now() < end)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                h.callback(fraction, h.context);
            }
        };
        // Stopping at 0 asks before the first report: an import can end
        // before its first throttled progress report.
        if (stopAt == 0.0f)
            relay(0.0f, &hook);
        return atlas.InstallAtlas(relay, &hook, cancel);
    };
}

// A pipe in the place of the temporary Nissl file, drained slowly, so that
// the save lasts long enough to report progress and be stopped.
class SlowSaveTarget
{
public:
    explicit SlowSaveTarget(const std::string& path)
    {
        EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
        m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        m_reader = std::thread([this] { Drain(); });
    }
    ~SlowSaveTarget()
    {
        m_stop = true;
        m_reader.join();
        ::close(m_fd);
    }

private:
    void Drain()
    {
        std::vector<char> buffer(64 * 1024);
        bool writerSeen = false;
        while (!m_stop)
        {
            const ssize_t n = ::read(m_fd, buffer.data(), buffer.size());
            if (n == 0 && writerSeen)
                return; // the writer has closed the pipe
            writerSeen = writerSeen || n > 0 || (n < 0 && errno == EAGAIN);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    int m_fd = -1;
    std::atomic<bool> m_stop{false};
    std::thread m_reader;
};

std::uintmax_t SizeOf(const std::string& path)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}
} // namespace

TEST(InstallerControllerTest, InstallsWhileTheMainThreadRuns)
{
    InstallerController controller;
    PanelWatcher watcher(controller);
    testsupport::QuietStdout quiet;
    ASSERT_TRUE(controller.runInstaller());

    EXPECT_EQ(watcher.modality, Qt::ApplicationModal);
    EXPECT_EQ(watcher.parent, nullptr);
    ASSERT_FALSE(watcher.bar.empty());
    EXPECT_GT(*std::max_element(watcher.bar.begin(), watcher.bar.end()), 50);
    EXPECT_TRUE(std::is_sorted(watcher.bar.begin(), watcher.bar.end())) << "the bar went back";
    EXPECT_GT(watcher.ticks, 5) << "the main thread stalled";
    EXPECT_TRUE(watcher.alertTitle.empty());

    const std::string folder = ResourcePath::GetUserAtlasPath();
    EXPECT_TRUE(fs::is_regular_file(folder + "Version"));
    EXPECT_EQ(SizeOf(folder + "Atlas25"), 77045760u);
    EXPECT_EQ(SizeOf(folder + "SagittalAtlasMap"), 7433370u);
    EXPECT_TRUE(Atlas::GetAtlas()->AtlasIsInstalled());
    EXPECT_EQ(controller.panel(), nullptr);
}

TEST(InstallerControllerTest, AStopLeavesNothingAndALaterRunInstalls)
{
    LocalAtlas local;
    struct Case
    {
        const char* name;
        Stop stop;
        float at;
    };
    // The closing roads stop during the slowed save: a fast import may end
    // before its first (throttled) progress report, so its stop comes first.
    const Case cases[] = {{"Quit during the import", Stop::QuitButton, 0.0f},
                          {"Quit during the save", Stop::QuitButton, 0.51f},
                          {"panel closed", Stop::ClosePanel, 0.51f},
                          {"Escape", Stop::EscapeKey, 0.51f}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        std::unique_ptr<SlowSaveTarget> slowSave;
        if (c.at > 0.5f)
            slowSave = std::make_unique<SlowSaveTarget>(local.userFolder->File("Atlas25.installing"));
        PanelWatcher* watcher = nullptr;
        InstallerController controller(nullptr, StoppingInstall(*local.atlas, watcher, c.at));
        PanelWatcher w(controller);
        watcher = &w;
        w.stop = c.stop;
        EXPECT_FALSE(controller.runInstaller());
        EXPECT_EQ(w.statusAfterStop, "Cleaning up...");
        EXPECT_FALSE(w.quitEnabledAfterStop);
        EXPECT_TRUE(w.stillShownAfterStop) << "the panel left before the installer stopped";
        EXPECT_TRUE(w.alertTitle.empty()) << w.alertText;
        EXPECT_EQ(local.Files(), std::vector<std::string>{});
        EXPECT_FALSE(local.atlas->AtlasIsInstalled());
    }

    PanelWatcher* watcher = nullptr;
    InstallerController controller(nullptr, StoppingInstall(*local.atlas, watcher, -1.0f));
    PanelWatcher w(controller);
    watcher = &w;
    EXPECT_TRUE(controller.runInstaller());
    EXPECT_TRUE(local.atlas->AtlasIsInstalled());
    EXPECT_EQ(SizeOf(local.userFolder->File("Atlas25")), 77045760u);
}

TEST(InstallerControllerTest, APanelClosedInTheFirstPassInstallsNothing)
{
    bool called = false;
    InstallerController controller(nullptr, [&](ProgressCallback, void*, bool*) { return called = true; });
    QTimer::singleShot(0, [&] { controller.panel()->close(); });
    EXPECT_FALSE(controller.runInstaller());
    EXPECT_FALSE(called);
}

TEST(InstallerControllerTest, ThePanelIsWindowModalOnAShownWindowAndTheBarStaysInRange)
{
    QMainWindow documentWindow;
    documentWindow.show();
    std::vector<float> reports = {-0.5f, 0.25f, 0.5f, 1.75f};
    PanelWatcher* watcher = nullptr;
    InstallerController controller(&documentWindow, [&](ProgressCallback callback, void* context, bool*) {
        // The reports start once the watcher sees the bar, however late the
        // main thread gets to it (the bound only ends a watch that never comes).
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!watcher->panelSeen && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (float fraction : reports)
        {
            callback(fraction, context);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        return true;
    });
    PanelWatcher w(controller);
    watcher = &w;
    EXPECT_TRUE(controller.runInstaller());
    EXPECT_EQ(w.modality, Qt::WindowModal);
    EXPECT_EQ(w.parent, &documentWindow);
    ASSERT_FALSE(w.bar.empty());
    EXPECT_EQ(w.bar.back(), 100);
    EXPECT_GE(w.bar.front(), 0);
}

TEST(InstallerControllerTest, FailuresShowTheirMessageAndAnswerNo)
{
    // A data folder whose packed Nissl volume is cut in half.
    TempDir damaged;
    for (const auto& entry : fs::directory_iterator(testsupport::SampleDataDir()))
        if (entry.path().filename() != "Atlas25.comp")
            fs::create_symlink(entry.path(), damaged.File(entry.path().filename().string()));
    const std::string packed = testsupport::ReadFileBytes(testsupport::SampleDataDir() + "Atlas25.comp");
    ASSERT_TRUE(testsupport::WriteFileBytes(damaged.File("Atlas25.comp"), packed.substr(0, packed.size() / 2)));
    LocalAtlas damagedAtlas(damaged.Path());

    // A folder where the temporary Nissl file goes: the write fails (also as root).
    LocalAtlas blocked;
    fs::create_directory(blocked.userFolder->File("Atlas25.installing"));
    fs::create_directory(blocked.userFolder->File("Atlas25.installing/x"));

    struct Case
    {
        const char* name;
        InstallerController::InstallFunction install;
        std::string textStart;
    };
    auto install = [](Atlas& atlas) {
        return [&atlas](ProgressCallback callback, void* context, bool* cancel) {
            return atlas.InstallAtlas(callback, context, cancel);
        };
    };
    const Case cases[] = {
        {"damaged packed volume", install(*damagedAtlas.atlas),
         "Could not load 3D Nissl image. Your installation of Nuvaro may be damaged.\n\n"},
        {"failing write", install(*blocked.atlas),
         "Could not create image file for writing: " + blocked.userFolder->File("Atlas25.installing")},
        {"not a standard exception", [](ProgressCallback, void*, bool*) -> bool { throw 42; },
         "Nuvaro could not complete its installation at " + ResourcePath::GetUserAtlasPath() +
             ". Please make sure you have access permissions at this location and there is 75 MB of disk space "
             "available"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        InstallerController controller(nullptr, c.install);
        PanelWatcher watcher(controller);
        EXPECT_FALSE(controller.runInstaller());
        EXPECT_EQ(watcher.alertTitle, "Critical Error");
        EXPECT_EQ(watcher.alertText.substr(0, c.textStart.size()), c.textStart);
        EXPECT_EQ(watcher.alertIcon, QMessageBox::Information);
        // The messages quote folders and files: never read as markup.
        EXPECT_EQ(watcher.alertFormat, Qt::PlainText);
        EXPECT_EQ(watcher.alertButtons, std::vector<std::string>{"Quit"});
    }
    EXPECT_FALSE(blocked.atlas->AtlasIsInstalled());
}
