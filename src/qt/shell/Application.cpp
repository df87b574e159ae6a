#include "shell/Application.h"

#include "gl/QtIconImages.h"
#include "gl/SurfaceFormat.h"
#include "model/UserPreferences.h"
#include "network/NetFile.h"
#include "network/QtNetFile.h"
#include "platform/QSettingsStore.h"
#include "platform/QtMainThreadDispatcher.h"
#include "platform/QtPlatformServices.h"
#include "platform/Startup.h"
#include "shell/GLView.h"
#include "shell/GraphTab.h"
#include "shell/Launcher.h"
#include "shell/NuvaroAppController.h"
#include "shell/NuvaroDoc.h"
#include "shell/OpenRequest.h"
#include "shell/OpenRequestServer.h"
#include "shell/SingleInstance.h"
#include "utility/ResourcePath.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace
{
enum class Found
{
    // The running application took the files.
    HandedOver,
    // None runs: this launch starts it.
    NoApplication,
    // One runs but did not take the files.
    NotTaken
};

// How long a launch waits for the running application to take its files:
// NUVARO_HANDOVER_GIVE_UP_MS when set to a number of milliseconds (for
// tests), else the default.
SingleInstance::Patience LaunchPatience()
{
    SingleInstance::Patience patience;
    if (const char* text = std::getenv("NUVARO_HANDOVER_GIVE_UP_MS"); text && *text)
    {
        char* end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (*end == '\0' && ms > 0 && ms <= 3600000)
            patience.giveUpMs = static_cast<int>(ms);
    }
    return patience;
}

// Looks for the application running on this desktop and hands it the files
// (the first OpenRequest::kMaxHandedOverFiles; the others are named on the
// standard error). When none runs, the lock is held (unless it could not be
// had in time) so that no other launch starts an application before this
// one listens; place is empty when files cannot be shared safely here.
Found LookForApplication(const std::vector<std::string>& files, SingleInstance::Place& place,
                         SingleInstance::Lock& lock)
{
    std::string why;
    if (!SingleInstance::FindPlace(place, why))
    {
        std::fprintf(stderr, "Files opened later go to a new window: %s\n", why.c_str());
        ::unsetenv(SingleInstance::kLockVariable);
        place = {};
        return Found::NoApplication;
    }
    // A launch that started this process looked already, under this lock.
    if (lock.Adopt(place.lock))
        return Found::NoApplication;
    std::vector<std::string> absolute;
    for (const std::string& file : files)
    {
        const std::string path = SingleInstance::Absolute(file);
        if (OpenRequest::CanCarry(path))
            absolute.push_back(path);
        else
            std::fprintf(stderr, "Could not open file %s: the path is too long\n", file.c_str());
    }
    const std::size_t handed = std::min(absolute.size(), OpenRequest::kMaxHandedOverFiles);
    const std::vector<std::string> first(absolute.begin(), absolute.begin() + static_cast<std::ptrdiff_t>(handed));
    switch (SingleInstance::Reach(place, lock, first, LaunchPatience(), ::getuid(), why))
    {
    case SingleInstance::Delivery::Delivered:
        if (!why.empty())
            std::fprintf(stderr, "%s\n", why.c_str());
        for (std::size_t i = handed; i < absolute.size(); ++i)
            std::fprintf(stderr, "Could not open file %s: one launch hands over at most %zu files\n",
                         absolute[i].c_str(), OpenRequest::kMaxHandedOverFiles);
        return Found::HandedOver;
    case SingleInstance::Delivery::NotTaken:
        std::fprintf(stderr, "Tessary runs on this desktop but did not take the files (%s); they are not opened, "
                             "and no other window is.\n",
                     why.c_str());
        return Found::NotTaken;
    case SingleInstance::Delivery::NoInstance:
        if (!why.empty())
            std::fprintf(stderr, "%s; starting anyway.\n", why.c_str());
        return Found::NoApplication;
    }
    return Found::NoApplication;
}
} // namespace

int RunNuvaro(int argc, char** argv)
{
    // The decision uses the arguments as given; Qt never reads them.
    const std::vector<std::string> raw(argv, argv + argc);
    const Launcher::LaunchPlan plan = Launcher::PlanLaunch(raw, ResourcePath::ExecutablePath());
    Launcher::PrintLines(plan);
    SingleInstance::Place place;
    SingleInstance::Lock lock;
    switch (LookForApplication(Launcher::UserFiles(raw), place, lock))
    {
    case Found::HandedOver:
        return 0;
    case Found::NotTaken:
        return 1;
    case Found::NoApplication:
        break;
    }
    if (plan.relaunch)
    {
        // The started copy listens and then lets the lock go.
        lock.HandToChild();
        Launcher::Execute(plan);
        return 0;
    }

    ApplyDefaultSurfaceFormat();
    // Qt sees only the program path: every other argument is a user's file,
    // whatever it begins with, never an option of Qt's.
    int qtArgc = argc > 0 ? 1 : 0;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral("Nuvaro"));
    UseCNumericLocale();
    OpenRequestServer server;
    if (!place.socket.empty())
    {
        QString why;
        // The alive lock is taken before the start lock is let go, so that
        // the next launch finds this application alive.
        if (!server.listen(QFile::decodeName(QByteArray::fromStdString(place.socket)), &why))
            std::fprintf(stderr, "Files opened later go to a new window: %s\n", why.toLocal8Bit().constData());
    }
    lock.Release();
    UserPreferences::SetStore(std::make_shared<QSettingsStore>());
    InstallQtPlatformServices();
    InstallQtMainThreadDispatcher();
    InstallGraphTabMaker();
    QtNetFile::Install();
    QtIconImages::Install();
    NetFile::SetUserAgent(UserPreferences::GetPreferences()->GetUserAgent());
    GLView::testCapabilities();

    QStringList files;
    for (int i = 1; i < argc; ++i)
        files << QFile::decodeName(argv[i]);
    auto controller = std::make_unique<NuvaroAppController>();
    const bool quitAfterFirstFrame = std::getenv("NUVARO_QUIT_AFTER_FIRST_FRAME") != nullptr;
    QObject::connect(controller.get(), &NuvaroAppController::firstSceneFrameDrawn, &app, [quitAfterFirstFrame] {
        std::printf("First scene frame drawn\n");
        std::fflush(stdout);
        if (quitAfterFirstFrame)
            QTimer::singleShot(0, qApp, &QApplication::closeAllWindows);
    });
    // From the moment the window starts to quit, launches find no
    // application and start their own: none is answered, none waits for a
    // window that is going.
    QObject::connect(&app, &QGuiApplication::lastWindowClosed, &server, &OpenRequestServer::close);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &server, &OpenRequestServer::close);
    const int status = controller->start(files);
    if (status != 0)
    {
        server.close();
        return status;
    }
    server.setReceiver([target = controller.get()](const QStringList& handedOver) {
        target->openHandedOverFiles(handedOver);
    });
    const int result = app.exec();
    server.close();
    controller.reset();
    return result;
}
