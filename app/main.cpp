// The murmo program: one instance per user, the Linux adapters, and the application object that
// owns everything else.

#include "app/controller/AppServices.h"
#include "app/feedback/QtOverlayScreens.h"
#include "app/shell/FirstFrame.h"
#include "app/shell/HistoryWindow.h"
#include "app/shell/MurmoApplication.h"
#include "app/shell/SingleInstance.h"
#include "app/ui/ControlStyle.h"
#include "app/ui/QtTexts.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "platform/linux/system/GlibcFreedMemory.h"
#include "platform/linux/system/ProcConnectionSockets.h"
#include "platform/linux/system/QuitSignals.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

#include <sys/prctl.h>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define MURMO_CHECK_LEAKS_AT_EXIT 1
#endif

namespace {

const QString kQuitOption = QStringLiteral("quit");

// What a later launch hands to the running instance: "--quit", or the addresses it was given.
QStringList forwardedArguments(const QCommandLineParser& parser)
{
    if (parser.isSet(kQuitOption))
        return {QStringLiteral("--") + kQuitOption};
    return parser.positionalArguments();
}

// Gives a later launch's arguments to the running instance and says whether it acted on them;
// the exit code says the same.
int handOver(const SingleInstance& instance, const QStringList& arguments)
{
    const bool quit = arguments.contains(QStringLiteral("--") + kQuitOption);
    switch (instance.sendToPrimary(arguments)) {
    case SingleInstance::Delivery::Acted:
        std::puts(quit ? "正在运行的Murmo正在退出。" : "已交给正在运行的Murmo。");
        return 0;
    case SingleInstance::Delivery::ActedTextsKept:
        std::printf("正在运行的Murmo正在退出。%s。\n", TextDelivery::kKeptInHistory.toUtf8().constData());
        return 0;
    case SingleInstance::Delivery::AskedInWindow:
        // It did not quit: a script must not go on as if it had.
        std::fputs("正在运行的Murmo有尚未保存的记录，已在它的窗口中询问是否等待。\n", stderr);
        return 1;
    case SingleInstance::Delivery::Unanswered:
        std::fputs("正在运行的Murmo没有回应，这次没有处理。请稍后再试。\n", stderr);
        return 1;
    case SingleInstance::Delivery::Unreachable:
        break;
    }
    std::fputs("连不上正在运行的Murmo，这次没有处理。请稍后再试。\n", stderr);
    return 1;
}

int run(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Murmo"));
    QApplication::setDesktopFileName(QStringLiteral("murmo"));
    QApplication::setStyle(new ControlStyle);
    QtTexts::installChinese(application);
    // Dictation goes on with every window closed; the program ends by Ctrl+Q or "murmo --quit".
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Murmo: speak, and the text lands at the cursor."));
    parser.addHelpOption();
    parser.addOption({kQuitOption, QStringLiteral("Quit the running Murmo.")});
    parser.addPositionalArgument(QStringLiteral("url"), QStringLiteral("A murmo: sign-in address."),
                                 QStringLiteral("[url]"));
    parser.process(application);

    // The lock sits beside the personal data that two instances would overwrite. A quit takes
    // nothing, so that it never keeps a launch beside it from starting.
    SingleInstance instance(AppServices::Options::standardDataDirectory(), SingleInstance::defaultSocketFolder());
    switch (parser.isSet(kQuitOption) ? instance.probe() : instance.claim()) {
    case SingleInstance::Lock::Ours:
        break;
    case SingleInstance::Lock::Free:
        return 0; // a quit, and nothing was running
    case SingleInstance::Lock::Held:
        return handOver(instance, forwardedArguments(parser));
    case SingleInstance::Lock::Unusable:
        std::fprintf(
            stderr, "无法在Murmo的数据文件夹%s中加锁：它须是只属于你的文件夹，不能是别人的或一个链接。这次没有处理。\n",
            qPrintable(instance.lockFolder()));
        return 1;
    }

    LinuxAdapters adapters;
    QtOverlayScreens screens;
    ProcConnectionSockets connectionSockets;
    HttpTransport transport(nullptr, &connectionSockets);
    MurmoApplication murmo(adapters.ports(), screens, AppServices::Options::standard(transport));

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application, &QApplication::quit);
    QObject::connect(&application, &QApplication::aboutToQuit, &murmo, &MurmoApplication::shutDown);
    QObject::connect(&instance, &SingleInstance::messageReceived, &murmo, [&](const QStringList& arguments) {
        if (!arguments.contains(QStringLiteral("--") + kQuitOption)) {
            murmo.handleLaunch(arguments);
            return;
        }
        // Put through as Ctrl+Q is; the launch is told whether the program ends (keeping texts
        // it had still to type in the history) or asks first.
        murmo.quitGuard().requestQuit([&murmo, answer = instance.answerLater()](QuitGuard::Outcome outcome) {
            if (outcome == QuitGuard::Outcome::Asking)
                answer(SingleInstance::Answer::AskedInWindow);
            else
                answer(murmo.keptTexts() ? SingleInstance::Answer::ActedTextsKept : SingleInstance::Answer::Acted);
        });
    });

    murmo.start();
    // Reading other applications' text fields waits for a dictation; the bus connection behind it
    // is made once the window is on screen, not while it is being built.
    FirstFrame::after(murmo.historyWindow(), {[&adapters] { adapters.accessibility.start(); }});
    if (!parser.positionalArguments().isEmpty())
        murmo.handleLaunch(parser.positionalArguments());
    return application.exec();
}

// Everything of ours is saved and torn down when run() returns. What is left are the libraries'
// own globals, and Qt Multimedia's sound server connection among them is destroyed while its
// thread still delivers events, which crashes about one exit in a hundred. Nothing is lost by
// not running them.
[[noreturn]] void endWithoutLibraryTeardown(int code)
{
    std::fflush(nullptr);
#ifdef MURMO_CHECK_LEAKS_AT_EXIT
    if (__lsan_do_recoverable_leak_check() != 0 && code == 0)
        code = 23; // as the leak checker's own exit would have said
#endif
    std::_Exit(code);
}

} // namespace

int main(int argc, char** argv)
{
    // The process holds the device token, the session and the vendor keys: no core dump of it,
    // and no other process of the user's attaching to read its memory, as password managers do.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // Before any thread: the buffers of long takes must not pile up in the allocator's pools.
    GlibcFreedMemory::keepLargeBuffersApart();
    endWithoutLibraryTeardown(run(argc, argv));
}
