// Entry point of the Qt test suite: one QApplication for every test, with the
// OpenGL format the application asks for, so that widgets and GL contexts can
// be made in any test. Runs under Xvfb.
#include "gl/SurfaceFormat.h"
#include "platform/Startup.h"
#include "support/qt/HeadlessGLDisplay.h"

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ApplyDefaultSurfaceFormat();

    QApplication app(argc, argv);
    UseCNumericLocale();
    PinGLDrivers();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
