#pragma once

#include <QApplication>

// The widget benchmarks' one application, offscreen unless the environment names a platform.
// Never destroyed: at static destruction time Qt's own globals may already be gone, and tearing
// the application down then crashes the program after its results are printed.
inline QApplication& benchApplication()
{
    static int argc = 1;
    static char name[] = "murmo_bench";
    static char* argv[] = {name, nullptr};
    static QApplication* const instance = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QApplication(argc, argv);
    }();
    return *instance;
}
