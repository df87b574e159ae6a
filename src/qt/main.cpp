#include "model/UserPreferences.h"
#include "network/NetFile.h"
#include "gl/QtIconImages.h"
#include "gl/SurfaceFormat.h"
#include "network/QtNetFile.h"
#include "platform/QSettingsStore.h"
#include "platform/QtMainThreadDispatcher.h"
#include "platform/QtPlatformServices.h"
#include "platform/Startup.h"

#include <QApplication>

#include <memory>

#include <cstdio>

int main(int argc, char** argv)
{
    ApplyDefaultSurfaceFormat();
    QApplication app(argc, argv);
    UseCNumericLocale();
    UserPreferences::SetStore(std::make_shared<QSettingsStore>());
    InstallQtPlatformServices();
    InstallQtMainThreadDispatcher();
    QtNetFile::Install();
    QtIconImages::Install();
    NetFile::SetUserAgent(UserPreferences::GetPreferences()->GetUserAgent());
    std::printf("Nuvaro %s (build %d)\n", NUVARO_VERSION_STRING, NUVARO_BUILD_NUMBER);
    return 0;
}
