#include "tests/support/TestRegistry.h"

#include <QTest>

#include <map>

namespace TestRegistry {

namespace {
std::map<std::string, Factory>& registry()
{
    static std::map<std::string, Factory> classes;
    return classes;
}
} // namespace

bool add(const char* name, Factory factory)
{
    registry().emplace(name, std::move(factory));
    return true;
}

int runAll(int argc, char** argv)
{
    const QByteArray only = qgetenv("MURMO_TEST_ONLY");
    int failures = 0;
    for (const auto& [name, factory] : registry()) {
        if (!only.isEmpty() && only != name.c_str())
            continue;
        const std::unique_ptr<QObject> test = factory();
        failures += QTest::qExec(test.get(), argc, argv);
    }
    return failures == 0 ? 0 : 1;
}

} // namespace TestRegistry
