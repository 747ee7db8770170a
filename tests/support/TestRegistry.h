#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Each test area is one executable holding several QtTest classes. A class registers itself with
// MURMO_TEST(Class) at the end of its file; the shared main runs every registered class in name
// order. MURMO_TEST_ONLY=<Class> runs just one of them.
namespace TestRegistry {

using Factory = std::function<std::unique_ptr<QObject>()>;

bool add(const char* name, Factory factory);
int runAll(int argc, char** argv);

} // namespace TestRegistry

#define MURMO_TEST(Class)                                                                                              \
    static const bool murmoTestRegistered_##Class =                                                                    \
        TestRegistry::add(#Class, [] { return std::unique_ptr<QObject>(new Class); });
