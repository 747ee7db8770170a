#pragma once

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <thread>

#include <time.h>

// The longest time work on the main thread held it, for benchmarks of what a person would feel as
// a frozen window.
struct MainThreadHolds
{
    double longestMs = 0;
    // The thread's own CPU time during that longest hold: the rest of it was spent waiting (for a
    // lock, for the X server, for the painter's threads).
    double longestCpuMs = 0;

    static double threadCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
    }

    // Runs work on the main thread, keeping its time when it is the longest hold so far.
    template <typename Work> void hold(Work&& work)
    {
        const double cpu = threadCpuMs();
        const auto start = std::chrono::steady_clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (ms > longestMs) {
            longestMs = ms;
            longestCpuMs = threadCpuMs() - cpu;
        }
    }

    // Turns the event loop until done; between turns the thread is idle, as it would be waiting
    // for the next event.
    template <typename Done> bool turnUntil(Done&& done, std::chrono::milliseconds timeout)
    {
        const auto start = std::chrono::steady_clock::now();
        while (!done()) {
            if (std::chrono::steady_clock::now() - start > timeout)
                return false;
            hold([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return true;
    }
};
