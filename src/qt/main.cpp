#include <QApplication>

#include <clocale>
#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // Numbers in files are always read and written with a decimal point.
    std::setlocale(LC_NUMERIC, "C");
    std::printf("Nuvaro %s (build %d)\n", NUVARO_VERSION_STRING, NUVARO_BUILD_NUMBER);
    return 0;
}
