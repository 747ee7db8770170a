#pragma once

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <thread>

// The longest time work on the main thread held it, for benchmarks of what a person would feel as
// a frozen window.
struct MainThreadHolds
{
    double longestMs = 0;

    // Runs work on the main thread, keeping its time when it is the longest hold so far.
    template <typename Work> void hold(Work&& work)
    {
        const auto start = std::chrono::steady_clock::now();
        work();
        longestMs = std::max(
            longestMs, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
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
