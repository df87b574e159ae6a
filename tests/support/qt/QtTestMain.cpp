// Entry point of the Qt test suite: one QApplication for every test, with the
// OpenGL format the application asks for, so that widgets and GL contexts can
// be made in any test. Runs under Xvfb.
#include "gl/SurfaceFormat.h"
#include "platform/Startup.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstring>
#include <dlfcn.h>
#include <link.h>

namespace
{
// Mesa's driver is unloaded when the X display closes at exit. A one-time
// allocation it keeps in a global then shows up in the leak checker's report
// with no module name, out of reach of the suppressions for system
// libraries. Keeping the driver loaded until the process ends lets the report
// name it.
void KeepGLDriverLoaded()
{
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            if (info->dlpi_name != nullptr && std::strstr(info->dlpi_name, "_dri.so") != nullptr)
                dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
} // namespace

int main(int argc, char** argv)
{
    ApplyDefaultSurfaceFormat();

    QApplication app(argc, argv);
    UseCNumericLocale();
    KeepGLDriverLoaded();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
