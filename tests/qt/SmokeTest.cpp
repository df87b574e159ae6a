#include <QApplication>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>

// The application object sets the locale from the environment; numbers in
// files must still parse with a decimal point.
TEST(QtEnvironment, NumericLocaleIsC)
{
    ASSERT_NE(QApplication::instance(), nullptr);
    EXPECT_DOUBLE_EQ(std::atof("0.5"), 0.5);
}
