#pragma once

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <cstdio>
#include <initializer_list>

// The main of a benchmark that needs a desktop (a display, a sound server): where the environment
// names none of what it needs it says so and succeeds, since it is run on a desktop of its own by
// scripts/test; otherwise it runs its benchmarks inside an Application (QCoreApplication or
// QApplication).
template <typename Application>
int runDesktopBenchmarks(int argc, char** argv, const char* name, std::initializer_list<const char*> needs)
{
    for (const char* variable : needs) {
        if (qEnvironmentVariableIsEmpty(variable)) {
            std::printf("%s: skipped, no %s set (run it inside scripts/with-desktop)\n", name, variable);
            return 0;
        }
    }
    Application application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
