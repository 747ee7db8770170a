#include "core/text/AnswerGuards.h"

#include "core/text/Graphemes.h"

namespace AnswerGuards {

const QStringList refusalMarkers{
    QStringLiteral("请提供"),
    QStringLiteral("我已准备好"),
    QStringLiteral("我准备好了"),
    QStringLiteral("请把这段"),
    QStringLiteral("请给我这"),
    QStringLiteral("等待你的"),
    QStringLiteral("听写稿"),
    QStringLiteral("分隔符"),
    QStringLiteral("<<<"),
    QStringLiteral(">>>"),
    QStringLiteral("I'm ready"),
    QStringLiteral("I am ready"),
    QStringLiteral("ready to receive"),
    QStringLiteral("ready to help"),
    QStringLiteral("provide the text"),
    QStringLiteral("no text to"),
    QStringLiteral("there is no text"),
    QStringLiteral("happy to help"),
    QStringLiteral("could you provide"),
    QStringLiteral("please share"),
    QStringLiteral("please provide"),
};

QString guard(const QString& answer, const QString& sent)
{
    if (answer.trimmed().isEmpty() && !sent.trimmed().isEmpty())
        return sent;
    for (const QString& marker : refusalMarkers) {
        if (!answer.contains(marker))
            continue;
        // Only the first marker found is judged: a long answer, or one quoting what the user
        // actually said, is a real answer.
        if (!sent.contains(marker) && Graphemes::count(answer) < kRefusalMaxLength)
            return sent;
        return answer;
    }
    return answer;
}

QString withoutTrailingPeriods(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && (text[end - 1] == QChar(0x3002) || text[end - 1] == QLatin1Char('.')))
        --end;
    return text.left(end);
}

} // namespace AnswerGuards
