// The murmo program: one instance per user, the Linux adapters, and the application object that
// owns everything else.

#include "app/controller/AppServices.h"
#include "app/feedback/QtOverlayScreens.h"
#include "app/shell/FirstFrame.h"
#include "app/shell/HistoryWindow.h"
#include "app/shell/LaunchNotice.h"
#include "app/shell/MurmoApplication.h"
#include "app/shell/SingleInstance.h"
#include "app/ui/ControlStyle.h"
#include "app/ui/QtTexts.h"
#include "core/net/HttpTransport.h"
#include "platform/linux/LinuxAdapters.h"
#include "platform/linux/system/GlibcFreedMemory.h"
#include "platform/linux/system/LinuxSingleInstanceSystem.h"
#include "platform/linux/system/ProcConnectionSockets.h"
#include "platform/linux/system/QuitSignals.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/prctl.h>
#include <unistd.h>

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

// Says what became of a later launch's arguments, handed to the running instance; the exit code
// says whether it acted on them. "请稍后再试" only where trying later can help.
int handOver(const SingleInstance& instance, const SingleInstance::Launch& launched, const QStringList& arguments,
             const LaunchNotice& notice)
{
    const bool quit = arguments.contains(QStringLiteral("--") + kQuitOption);
    switch (launched.delivery) {
    case SingleInstance::Delivery::Acted:
        std::puts(quit ? "正在运行的Murmo正在退出。" : "已交给正在运行的Murmo。");
        return 0;
    case SingleInstance::Delivery::ActedTextsKept:
        std::printf("正在运行的Murmo正在退出。%s。\n", TextDelivery::kKeptInHistory.toUtf8().constData());
        return 0;
    case SingleInstance::Delivery::AskedInWindow:
        // It did not quit: a script must not go on as if it had. The question is in a window
        // already, the running one's.
        std::fputs("正在运行的Murmo有尚未保存的记录，已在它的窗口中询问是否等待。\n", stderr);
        return 1;
    case SingleInstance::Delivery::Unanswered:
        if (SingleInstance::encodeMessage(arguments).size() >
            qsizetype(sizeof(quint32) + SingleInstance::maxMessageBytes))
            notice.tell(QStringLiteral("给正在运行的Murmo的内容太长，没有发出，这次没有处理。"));
        else
            notice.tell(QStringLiteral("正在运行的Murmo没有回应，这次没有处理。请稍后再试。"));
        return 1;
    case SingleInstance::Delivery::Unreachable:
        break;
    }
    if (instance.reachedOthers())
        notice.tell(
            QStringLiteral("连不上正在运行的Murmo：通信文件夹%1不只属于你，或在那里应答的不是你的程序。这次没有处理。")
                .arg(instance.socketFolder()));
    else
        notice.tell(QStringLiteral("连不上正在运行的Murmo，这次没有处理。请稍后再试。"));
    return 1;
}

// Why this launch cannot run, and what the user can do about it.
QString unusableText(const SingleInstance& instance)
{
    switch (instance.problem()) {
    case SingleInstance::Problem::LockFile:
        return QStringLiteral("Murmo的锁文件%1/murmo.lock不是你的文件，未使用。这次没有处理。")
            .arg(instance.lockFolder());
    case SingleInstance::Problem::CannotLock:
        return QStringLiteral("无法在Murmo的数据文件夹%1中加锁（%2），这次没有处理。请稍后再试。")
            .arg(instance.lockFolder(), QString::fromLocal8Bit(std::strerror(instance.error())));
    case SingleInstance::Problem::DataFolder:
    case SingleInstance::Problem::None:
        break;
    }
    return QStringLiteral("无法使用Murmo的数据文件夹%1：它须是只属于你的文件夹，或你自己的、指向你的文件夹的链接，"
                          "不能是别人的。这次没有处理。")
        .arg(instance.lockFolder());
}

const char kHelp[] = "用法：murmo [--quit] [地址]\n"
                     "Murmo：说话，文字就落在光标处。\n"
                     "\n"
                     "选项：\n"
                     "  -h, --help  显示这份说明\n"
                     "  --quit      让正在运行的Murmo退出\n"
                     "\n"
                     "参数：\n"
                     "  地址        浏览器在登录后交回的murmo:地址\n";

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
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    parser.addOption(help);
    parser.addOption({kQuitOption, QString()});
    // A launch from the menu, an autostart or the browser has no terminal to tell the user what it
    // did not do.
    LaunchNotice notice(::isatty(STDERR_FILENO) == 1);
    if (!parser.parse(QApplication::arguments())) {
        notice.tell(
            QStringLiteral("murmo：无法识别的选项 %1，这次没有处理。").arg(parser.unknownOptionNames().join(u' ')));
        std::fprintf(stderr, "\n%s", kHelp);
        return 1;
    }
    if (parser.isSet(help)) {
        std::fputs(kHelp, stdout);
        return 0;
    }

    // The lock sits beside the personal data that two instances would overwrite. A quit takes
    // nothing, so that it never keeps a launch beside it from starting.
    LinuxSingleInstanceSystem instanceSystem;
    SingleInstance instance(instanceSystem, AppServices::Options::standardDataDirectory(),
                            SingleInstance::defaultSocketFolder(instanceSystem));
    const QStringList forwarded = forwardedArguments(parser);
    const SingleInstance::Launch launched = instance.launch(forwarded, parser.isSet(kQuitOption));
    switch (launched.lock) {
    case SingleInstance::Lock::Ours:
        break;
    case SingleInstance::Lock::Unlocked:
        notice.mention(QStringLiteral("Murmo的数据文件夹%1所在的文件系统不支持文件锁（%2）。Murmo照常运行，"
                                      "之后启动的Murmo仍会交给它。")
                           .arg(instance.lockFolder(), QString::fromLocal8Bit(std::strerror(instance.error()))));
        break;
    case SingleInstance::Lock::Free:
        std::puts("没有正在运行的Murmo。");
        return 0; // a quit, and nothing was running
    case SingleInstance::Lock::Held:
        return handOver(instance, launched, forwarded, notice);
    case SingleInstance::Lock::Unusable:
        notice.tell(unusableText(instance));
        return 1;
    }

    LinuxAdapters adapters;
    QtOverlayScreens screens;
    ProcConnectionSockets connectionSockets;
    HttpTransport transport(nullptr, &connectionSockets);
    MurmoApplication murmo(adapters.ports(), screens, AppServices::Options::standard(transport));

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application, &QApplication::quit);
    // Ending: a launch from now on waits for the lock to go, and runs.
    QObject::connect(&application, &QApplication::aboutToQuit, &instance, &SingleInstance::stopListening);
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
