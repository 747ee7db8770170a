#include "tests/support/TestRegistry.h"

#ifdef MURMO_TEST_GUI
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

int main(int argc, char** argv)
{
    TestApplication app(argc, argv);
    return TestRegistry::runAll(argc, argv);
}
