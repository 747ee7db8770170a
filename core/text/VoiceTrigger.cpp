#include "core/text/VoiceTrigger.h"

#include "core/text/Graphemes.h"

#include <optional>

namespace {

// A trigger said after more than this many characters belongs to the sentence, it is not a command.
constexpr qsizetype kMaxLeadingCharacters = 2;

QStringList loweredCharacters(const QString& text)
{
    QStringList characters = Graphemes::split(text);
    for (QString& c : characters)
        c = c.toLower().normalized(QString::NormalizationForm_C);
    return characters;
}

bool isSeparatorAfterTrigger(const QString& character)
{
    static const QString extra = QStringLiteral("，。、,.：:");
    const QList<uint> scalars = character.toUcs4();
    if (scalars.isEmpty())
        return true;
    const uint first = scalars.front();
    return QChar::isSpace(first) || QChar::isPunct(first) || extra.contains(character);
}

QString trimSeparators(const QString& text)
{
    static const QString separators = QStringLiteral(" ，。,.：:、");
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && separators.contains(text[from]))
        ++from;
    while (to > from && separators.contains(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

// The text after trigger when the trigger counts in u, else nothing.
std::optional<QString> remainderAfter(const QString& u, const QString& trigger)
{
    const QStringList wanted = loweredCharacters(trigger);
    if (wanted.isEmpty())
        return std::nullopt;
    const QStringList written = Graphemes::split(u);
    QStringList lowered;
    lowered.reserve(written.size());
    for (const QString& c : written)
        lowered.append(c.toLower().normalized(QString::NormalizationForm_C));

    // Only the first occurrence decides, as a person reading it would.
    for (qsizetype start = 0; start + wanted.size() <= lowered.size(); ++start) {
        if (!std::equal(wanted.begin(), wanted.end(), lowered.begin() + start))
            continue;
        if (start > kMaxLeadingCharacters)
            return std::nullopt;
        const qsizetype end = start + wanted.size();
        if (end < written.size() && !isSeparatorAfterTrigger(written[end]))
            return std::nullopt;
        return written.mid(end).join(QString());
    }
    return std::nullopt;
}

} // namespace

VoiceTrigger VoiceTrigger::select(const QString& text, const StyleMode& defaultMode, const QList<StyleMode>& modes)
{
    VoiceTrigger result{defaultMode, text};
    for (const StyleMode& mode : modes) {
        for (const QString& trigger : mode.voiceTriggers) {
            const std::optional<QString> rest = remainderAfter(result.text.trimmed(), trigger);
            if (!rest)
                continue;
            result.mode = mode;
            result.text = trimSeparators(*rest);
            break;
        }
    }
    return result;
}
