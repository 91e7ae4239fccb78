#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

// The main of a benchmark that needs widgets: a QApplication (offscreen unless a platform is
// chosen), then the registered benchmarks.
inline int runWidgetBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
