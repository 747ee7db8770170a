#include "app/desktop/ScreenContext.h"

#include "core/text/Graphemes.h"
#include "platform/Accessibility.h"
#include "platform/Workspace.h"

#include <QCoroFuture>
#include <QRegularExpression>
#include <QSet>

namespace ScreenContext {

namespace {

const QStringList& stopWords()
{
    static const QStringList words = {
        QStringLiteral("the"),  QStringLiteral("and"),  QStringLiteral("for"),   QStringLiteral("you"),
        QStringLiteral("your"), QStringLiteral("with"), QStringLiteral("this"),  QStringLiteral("that"),
        QStringLiteral("have"), QStringLiteral("from"), QStringLiteral("are"),   QStringLiteral("was"),
        QStringLiteral("com"),  QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("www"),
    };
    return words;
}

bool isBlank(const QString& text)
{
    return text.trimmed().isEmpty();
}

QString trimTermEnds(const QString& match)
{
    const auto trimmable = [](QChar c) {
        return c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('/') || c == QLatin1Char('-');
    };
    qsizetype begin = 0;
    qsizetype end = match.size();
    while (begin < end && trimmable(match.at(begin)))
        ++begin;
    while (end > begin && trimmable(match.at(end - 1)))
        --end;
    return match.mid(begin, end - begin);
}

} // namespace

QCoro::Task<Info> read(Accessibility* accessibility, Workspace* workspace, QString appName, std::optional<qint32> pid,
                       bool readText)
{
    Info info;
    info.appName = appName;

    QString title;
    if (pid) {
        std::optional<QString> fromWindow = workspace->windowTitle(*pid);
        if (!fromWindow) {
            QFuture<std::optional<QString>> fromFrame = accessibility->focusedWindowTitle(*pid);
            fromWindow = co_await fromFrame;
        }
        title = fromWindow.value_or(QString());
    }

    QString nearby;
    if (readText) {
        QFuture<AccessibleElementPtr> focusedRequest = accessibility->focusedElement();
        const AccessibleElementPtr focused = co_await focusedRequest;
        // A password field is never read, not even its selection.
        if (focused && !focused->isSecret()) {
            QFuture<std::optional<QString>> selectionRequest = accessibility->selectedText(focused);
            const std::optional<QString> selection = co_await selectionRequest;
            if (selection && !isBlank(*selection)) {
                nearby = *selection;
            } else {
                QFuture<std::optional<QString>> valueRequest = accessibility->value(focused);
                nearby = (co_await valueRequest).value_or(QString());
            }
        }
    }

    info.windowTitle = Graphemes::left(title, maxTitleLength);
    info.nearbyText = Graphemes::right(nearby, maxNearbyLength);
    co_return info;
}

QStringList extractTerms(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("[A-Za-z_][A-Za-z0-9._/-]{1,}"));
    QStringList terms;
    if (!pattern.isValid())
        return terms;
    QSet<QString> seen;
    auto matches = pattern.globalMatch(text);
    while (matches.hasNext() && terms.size() < maxTerms) {
        const QString term = trimTermEnds(matches.next().captured());
        const QString lower = term.toLower();
        if (term.size() < 2 || stopWords().contains(lower) || seen.contains(lower))
            continue;
        const auto digits = std::count_if(term.cbegin(), term.cend(), [](QChar c) { return c.isDigit(); });
        // Long runs of digits are ids, hashes or phone numbers, not words anyone dictates.
        if (term.size() > 15 && term.size() <= 2 * digits)
            continue;
        seen.insert(lower);
        terms.append(term);
    }
    return terms;
}

std::optional<QString> promptLine(const Info& info)
{
    QStringList parts;
    if (!info.appName.isEmpty())
        parts.append(QStringLiteral("当前 App：") + info.appName);
    const QStringList terms = extractTerms(info.windowTitle + QLatin1Char(' ') + info.nearbyText);
    if (!terms.isEmpty())
        parts.append(QStringLiteral(
                         "当前场景出现过的专名/术语（仅供统一拼写与大小写：只有当转写里某个词与下列词明显是同一个词时，"
                         "才改成下列写法；不要因发音相近就改写其它词，说话人没说到的一律忽略）：") +
                     terms.join(QStringLiteral(", ")));
    if (parts.isEmpty())
        return std::nullopt;
    return QStringLiteral(
               "【场景参考，最高约束：以下只是参考词，严禁把它们写进输出、严禁续写或合并附近内容、严禁改变说话人原"
               "话的语言；你只整理说话人这一段话本身】") +
           parts.join(QStringLiteral("；"));
}

} // namespace ScreenContext
