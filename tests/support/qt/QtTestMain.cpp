// Entry point of the Qt test suite: one QApplication for every test, with the
// OpenGL format the application asks for, so that widgets and GL contexts can
// be made in any test. Runs under Xvfb.
#include "support/qt/GLFormat.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>

int main(int argc, char** argv)
{
    UseApplicationGLFormat();

    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
