#ifndef NUVARO_BENCH_GLBENCHMARKMAIN_H
#define NUVARO_BENCH_GLBENCHMARKMAIN_H

// The entry point of a benchmark program that draws: one QGuiApplication with
// the OpenGL format the application asks for, the sample data folder as the
// program's data folder, then the benchmarks. Runs under Xvfb with
// LIBGL_ALWAYS_SOFTWARE=1. Include it in exactly one source of the program.

#include "support/qt/GLFormat.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("NUVARO_DATA_DIR", NUVARO_BENCH_DATA_DIR, 0);
    UseApplicationGLFormat();
    QGuiApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#endif
