#include "core/text/CustomRule.h"

#include "core/text/Graphemes.h"

#include <QRegularExpression>

namespace CustomRule {

QString fromAnswer(const QString& answer)
{
    static const QRegularExpression lineEnd(QStringLiteral("[\\n\\r\\v\\f\\x{85}\\x{2028}\\x{2029}]"));
    for (const QString& line : answer.split(lineEnd, Qt::SkipEmptyParts)) {
        const QString rule = line.trimmed();
        if (!rule.isEmpty())
            return Graphemes::left(rule, kMaxLength).trimmed();
    }
    return {};
}

} // namespace CustomRule
