#ifndef NUVARO_BENCH_GLBENCHMARKMAIN_H
#define NUVARO_BENCH_GLBENCHMARKMAIN_H

// The entry point of a benchmark program that draws: one QGuiApplication with
// the OpenGL format the application asks for, the sample data folder as the
// program's data folder, then the benchmarks. Runs under Xvfb with
// LIBGL_ALWAYS_SOFTWARE=1. Include it in exactly one source of the program.

#include "gl/SurfaceFormat.h"
#include "platform/Startup.h"

#include <QGuiApplication>

#include <GL/gl.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <functional>

// Run after the benchmarks while the application still exists: drop GL
// objects and windows here.
inline std::function<void()>& BenchmarkCleanup()
{
    static std::function<void()> cleanup;
    return cleanup;
}

// Clears a width x height frame and looks orthographically at the whole
// 133 x 81 x 115 view grid, model-view matrix reset.
inline void BeginViewGridFrame(int width, int height)
{
    glViewport(0, 0, width, height);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-10, 143, -20, 101, -300, 300);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

int main(int argc, char** argv)
{
    setenv("NUVARO_DATA_DIR", NUVARO_BENCH_DATA_DIR, 0);
    ApplyDefaultSurfaceFormat();
    QGuiApplication app(argc, argv);
    UseCNumericLocale();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (BenchmarkCleanup())
        BenchmarkCleanup()();
    return 0;
}

#endif
