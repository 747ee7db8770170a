#include "platform/linux/atspi/AtspiAccessibility.h"

#include "platform/KeySynthesizer.h"
#include "platform/linux/atspi/AtspiWorker.h"

AtspiAccessibility::AtspiAccessibility(const KeySynthesizer& keys)
    : m_keys(keys)
{
    m_thread.setObjectName(QStringLiteral("AT-SPI"));
    m_worker = std::make_shared<AtspiWorker>();
    m_worker->m_self = m_worker;
    m_worker->moveToThread(&m_thread);
}

AtspiAccessibility::~AtspiAccessibility()
{
    if (m_thread.isRunning())
        QMetaObject::invokeMethod(m_worker.get(), &AtspiWorker::shutDown, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    m_worker.reset();
}

void AtspiAccessibility::start()
{
    std::call_once(m_starting, [this] {
        m_thread.start();
        // Connecting may take a while when the bus is slow to start; requests simply queue behind it.
        m_started = AtspiWorker::run<bool>(
            m_worker,
            [](AtspiWorker& worker) {
                worker.start();
                return worker.isAvailable();
            },
            false);
    });
}

QFuture<bool> AtspiAccessibility::serviceReady()
{
    start();
    return m_started;
}

bool AtspiAccessibility::isServiceAvailable() const
{
    return m_worker->isAvailable();
}

bool AtspiAccessibility::isTrusted() const
{
    return m_keys.isAvailable();
}

QFuture<AccessibleElementPtr> AtspiAccessibility::focusedElement()
{
    start();
    return AtspiWorker::run<AccessibleElementPtr>(
        m_worker, [](AtspiWorker& worker) { return worker.focusedElement(); }, nullptr);
}

QFuture<std::optional<QString>> AtspiAccessibility::selectedText(AccessibleElementPtr element)
{
    start();
    return AtspiWorker::run<std::optional<QString>>(
        m_worker, [element](AtspiWorker& worker) { return worker.selectedText(element); }, std::nullopt);
}

QFuture<std::optional<QString>> AtspiAccessibility::value(AccessibleElementPtr element)
{
    start();
    return AtspiWorker::run<std::optional<QString>>(
        m_worker, [element](AtspiWorker& worker) { return worker.value(element); }, std::nullopt);
}

QFuture<bool> AtspiAccessibility::replaceSelection(AccessibleElementPtr element, QString text)
{
    start();
    return AtspiWorker::run<bool>(
        m_worker, [element, text](AtspiWorker& worker) { return worker.replaceSelection(element, text); }, false);
}

QFuture<bool> AtspiAccessibility::setValue(AccessibleElementPtr element, QString text)
{
    start();
    return AtspiWorker::run<bool>(
        m_worker, [element, text](AtspiWorker& worker) { return worker.setValue(element, text); }, false);
}

QFuture<std::optional<QString>> AtspiAccessibility::focusedWindowTitle(qint32 pid)
{
    start();
    return AtspiWorker::run<std::optional<QString>>(
        m_worker, [pid](AtspiWorker& worker) { return worker.focusedWindowTitle(pid); }, std::nullopt);
}
