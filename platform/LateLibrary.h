#pragma once

#include <QString>

#include <optional>

// Shared libraries opened the first time a feature needs them rather than when the program
// starts: the loader maps every library named at link time, resolves its symbols and runs its
// initialisers before main(), and the first window needs none of these.
//
// A library is named by its soname ("libXtst.so.6"), the file its runtime package installs, never
// by the development package's unversioned link. It stays loaded for the life of the process. A
// name is looked for in the library opened last and in the libraries that one depends on.
class LateLibrary
{
public:
    // The calls a feature needs (a struct of pointers), bound by bind(library, calls) once the
    // whole of it is there. Nothing when a library or a name is missing, which is then told on
    // stderr, naming the feature.
    template <typename Calls, typename Bind> static std::optional<Calls> load(const char* feature, Bind bind)
    {
        LateLibrary library;
        Calls calls{};
        bind(library, calls);
        if (!library.m_error.isEmpty()) {
            warnMissing(feature, library.m_error);
            return std::nullopt;
        }
        return calls;
    }

    // The calls of load(), loaded the first time any thread asks at this place in the code and kept
    // for the life of the process; null when something was missing, which is told once. Each
    // place that asks passes a lambda of its own, so each place has its own calls.
    template <typename Calls, typename Bind> static const Calls* once(const char* feature, Bind bind)
    {
        static const std::optional<Calls> calls = load<Calls>(feature, bind);
        return calls ? &*calls : nullptr;
    }

    // Opens the library the next names are looked for in.
    void open(const char* soname);

    // Points pointer at the named function or object; null when it or its library is missing.
    template <typename Pointer> void bind(Pointer& pointer, const char* name)
    {
        pointer = reinterpret_cast<Pointer>(symbol(name));
    }

private:
    LateLibrary() = default;
    void* symbol(const char* name);
    static void warnMissing(const char* feature, const QString& error);

    void* m_handle = nullptr;
    // The first library or name that was missing, as the loader words it.
    QString m_error;
};
