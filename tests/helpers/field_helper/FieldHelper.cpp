// A stand-in for "another application" in the desktop tests. Started as
//   murmo_field_helper <window class> <window title>
// it shows a window with a line edit ("line"), a text edit ("text") and a password field
// ("password"), answers one JSON line per command read from standard input, and prints
// {"ready":true} once its window is shown. Commands (arguments are JSON strings where text):
//   focus <field>            give the field the keyboard focus (and activate the window)
//   set <field> <json>       replace the field's text
//   select <field> <s> <n>   select n characters from s (line and text)
//   get <field>              answer {"value": <text>, "selection": <selected text>}
//   copy <json>              put plain text on the clipboard
//   copyimage <json>         put plain text and a 6x4 picture of colour #204080 on the clipboard
//   copymany <n> <json>      put the text repeated n times on the clipboard
//   clipboardsum             answer {"bytes": <UTF-8 size>, "sha1": <hex>} of the clipboard's
//                            plain text, for texts too large to answer whole
//   title <json>             change the window title
//   clipboard                answer {"text": <plain text>, "image": <width>x<height>,
//                            "formats": [<MIME types>]} of the clipboard as this process sees it
//   state                    answer {"active": <window active>, "pid": <process id>,
//                            "popup": <a menu or other popup is open>}
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void answer(const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QString jsonString(const QString& encoded)
{
    const QJsonDocument document = QJsonDocument::fromJson(("[" + encoded + "]").toUtf8());
    return document.array().at(0).toString();
}

} // namespace

int main(int argc, char** argv)
{
    // The window class comes from the application name, so it has to be set before any window.
    const QString windowClass = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("MurmoFieldHelper");
    QCoreApplication::setApplicationName(windowClass);
    qputenv("RESOURCE_NAME", windowClass.toLower().toLocal8Bit());
    QApplication app(argc, argv);

    QWidget window;
    window.setWindowTitle(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("Field helper"));
    auto* line = new QLineEdit(&window);
    line->setAccessibleName(QStringLiteral("line"));
    auto* text = new QTextEdit(&window);
    text->setAccessibleName(QStringLiteral("text"));
    text->setAcceptRichText(false);
    auto* password = new QLineEdit(&window);
    password->setAccessibleName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(line);
    layout->addWidget(text);
    layout->addWidget(password);
    window.resize(480, 320);
    window.show();

    const auto field = [&](const QString& name) -> QWidget* {
        if (name == QLatin1String("line"))
            return line;
        if (name == QLatin1String("text"))
            return text;
        if (name == QLatin1String("password"))
            return password;
        return nullptr;
    };

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            app.quit();
            return;
        }
        pending.append(buffer, qsizetype(got));
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString command = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QString verb = command.section(QLatin1Char(' '), 0, 0);
            const QString name = command.section(QLatin1Char(' '), 1, 1);
            const QString rest = command.section(QLatin1Char(' '), 2);
            QWidget* target = field(name);
            QJsonObject reply{{QStringLiteral("ok"), true}};
            if (verb == QLatin1String("focus") && target) {
                window.activateWindow();
                window.raise();
                target->setFocus(Qt::OtherFocusReason);
            } else if (verb == QLatin1String("set") && target) {
                const QString value = jsonString(rest);
                if (target == text)
                    text->setPlainText(value);
                else
                    static_cast<QLineEdit*>(target)->setText(value);
            } else if (verb == QLatin1String("select") && target) {
                const int start = rest.section(QLatin1Char(' '), 0, 0).toInt();
                const int length = rest.section(QLatin1Char(' '), 1, 1).toInt();
                if (target == text) {
                    QTextCursor cursor = text->textCursor();
                    cursor.setPosition(start);
                    cursor.setPosition(start + length, QTextCursor::KeepAnchor);
                    text->setTextCursor(cursor);
                } else {
                    static_cast<QLineEdit*>(target)->setSelection(start, length);
                }
            } else if (verb == QLatin1String("get") && target) {
                if (target == text) {
                    reply.insert(QStringLiteral("value"), text->toPlainText());
                    reply.insert(QStringLiteral("selection"), text->textCursor().selectedText());
                } else {
                    auto* edit = static_cast<QLineEdit*>(target);
                    reply.insert(QStringLiteral("value"), edit->text());
                    reply.insert(QStringLiteral("selection"), edit->selectedText());
                }
            } else if (verb == QLatin1String("copy")) {
                QGuiApplication::clipboard()->setText(jsonString(command.section(QLatin1Char(' '), 1)));
            } else if (verb == QLatin1String("copymany")) {
                const int times = command.section(QLatin1Char(' '), 1, 1).toInt();
                QGuiApplication::clipboard()->setText(jsonString(command.section(QLatin1Char(' '), 2)).repeated(times));
            } else if (verb == QLatin1String("clipboardsum")) {
                const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
                reply.insert(QStringLiteral("bytes"), qint64(text.size()));
                reply.insert(QStringLiteral("sha1"),
                             QString::fromLatin1(QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex()));
            } else if (verb == QLatin1String("copyimage")) {
                auto* data = new QMimeData;
                data->setText(jsonString(command.section(QLatin1Char(' '), 1)));
                QImage image(6, 4, QImage::Format_RGB32);
                image.fill(QColor(0x20, 0x40, 0x80));
                data->setImageData(image);
                QGuiApplication::clipboard()->setMimeData(data);
            } else if (verb == QLatin1String("title")) {
                window.setWindowTitle(jsonString(command.section(QLatin1Char(' '), 1)));
            } else if (verb == QLatin1String("clipboard")) {
                const QMimeData* data = QGuiApplication::clipboard()->mimeData();
                const QImage image = QGuiApplication::clipboard()->image();
                reply.insert(QStringLiteral("text"), QGuiApplication::clipboard()->text());
                reply.insert(QStringLiteral("image"), image.isNull() ? QString()
                                                                     : QStringLiteral("%1x%2 %3")
                                                                           .arg(image.width())
                                                                           .arg(image.height())
                                                                           .arg(image.pixel(0, 0), 0, 16));
                reply.insert(QStringLiteral("formats"),
                             QJsonArray::fromStringList(data ? data->formats() : QStringList()));
            } else if (verb == QLatin1String("state")) {
                reply.insert(QStringLiteral("active"), window.isActiveWindow());
                reply.insert(QStringLiteral("focus"),
                             QApplication::focusWidget() ? QApplication::focusWidget()->accessibleName() : QString());
                reply.insert(QStringLiteral("pid"), qint64(QCoreApplication::applicationPid()));
                reply.insert(QStringLiteral("popup"), QApplication::activePopupWidget() != nullptr);
            } else {
                reply.insert(QStringLiteral("ok"), false);
            }
            answer(reply);
        }
    });

    answer({{QStringLiteral("ready"), true}});
    return app.exec();
}
