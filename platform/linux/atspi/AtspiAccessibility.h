#pragma once

#include "platform/Accessibility.h"

#include <QThread>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

class KeySynthesizer;
class AtspiWorker;

// The accessibility port over AT-SPI 2. libatspi is not thread-safe, so every call into it runs
// on one worker thread owned by this object, each D-Bus request bounded by a short time-out;
// results come back as futures. Without the AT-SPI bus every read resolves to nothing.
class AtspiAccessibility : public Accessibility
{
public:
    static constexpr std::chrono::milliseconds requestTimeout{150};
    // The whole search for the focused element, which may take many requests: enough for an
    // ordinary window, and a large browser tree cannot hold up a dictation's start by seconds.
    static constexpr std::chrono::milliseconds focusSearchBudget{300};

    // keys decides isTrusted(): acting on other applications needs synthesised keys, while the
    // readers only need the AT-SPI bus.
    explicit AtspiAccessibility(const KeySynthesizer& keys);
    ~AtspiAccessibility() override;
    AtspiAccessibility(const AtspiAccessibility&) = delete;
    AtspiAccessibility& operator=(const AtspiAccessibility&) = delete;

    // Connects to the AT-SPI bus on the worker, once. Nothing on screen waits for it, so the program
    // asks for it after its window's first frame; the first request connects as well.
    void start();
    // Whether the AT-SPI bus answered when the worker started (false until it has).
    bool isServiceAvailable() const;
    // Starts, and resolves once the worker has connected, true when the bus answered.
    QFuture<bool> serviceReady();

    bool isTrusted() const override;
    QFuture<AccessibleElementPtr> focusedElement() override;
    QFuture<std::optional<QString>> selectedText(AccessibleElementPtr element) override;
    QFuture<std::optional<QString>> value(AccessibleElementPtr element) override;
    QFuture<bool> replaceSelection(AccessibleElementPtr element, QString text) override;
    QFuture<bool> setValue(AccessibleElementPtr element, QString text) override;
    QFuture<std::optional<QString>> focusedWindowTitle(qint32 pid) override;

private:
    const KeySynthesizer& m_keys;
    QThread m_thread;
    std::shared_ptr<AtspiWorker> m_worker;
    std::once_flag m_starting;
    QFuture<bool> m_started;
};
