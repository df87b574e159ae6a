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
#include "utility/ResourcePath.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

int RunNuvaro(int argc, char** argv)
{
    // The decision uses the arguments as given, before Qt takes its own.
    const std::vector<std::string> raw(argv, argv + argc);
    const Launcher::LaunchPlan plan = Launcher::PlanLaunch(raw, ResourcePath::ExecutablePath());
    if (plan.relaunch)
        return Launcher::Execute(plan);
    Launcher::Execute(plan);

    ApplyDefaultSurfaceFormat();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nuvaro"));
    UseCNumericLocale();
    UserPreferences::SetStore(std::make_shared<QSettingsStore>());
    InstallQtPlatformServices();
    InstallQtMainThreadDispatcher();
    InstallGraphTabMaker();
    QtNetFile::Install();
    QtIconImages::Install();
    NetFile::SetUserAgent(UserPreferences::GetPreferences()->GetUserAgent());
    GLView::testCapabilities();

    QStringList files = QCoreApplication::arguments();
    files.removeFirst();
    auto controller = std::make_unique<NuvaroAppController>();
    const bool quitAfterFirstFrame = std::getenv("NUVARO_QUIT_AFTER_FIRST_FRAME") != nullptr;
    QObject::connect(controller.get(), &NuvaroAppController::firstSceneFrameDrawn, &app, [quitAfterFirstFrame] {
        std::printf("First scene frame drawn\n");
        std::fflush(stdout);
        if (quitAfterFirstFrame)
            QTimer::singleShot(0, qApp, &QApplication::closeAllWindows);
    });
    const int status = controller->start(files);
    if (status != 0)
        return status;
    const int result = app.exec();
    controller.reset();
    return result;
}
