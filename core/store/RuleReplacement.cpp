#include "core/store/RuleReplacement.h"

#include "core/text/Graphemes.h"

#include <algorithm>
#include <vector>

namespace RuleReplacement {

namespace {

// What continues a Latin word: a Latin letter (a combining mark stays with the letter before it)
// or a digit. Han, other scripts, blanks and punctuation all end one.
const QString kLatinWordClass = QStringLiteral("[\\p{Latin}\\p{M}\\p{Nd}]");

// Whether the occurrence of found at start in text already lies inside an occurrence of right: a
// rule whose right contains its wrong (阿里 to 阿里巴巴) must leave text it corrected before alone.
bool readsAsRight(QStringView text, qsizetype start, QStringView found, QStringView right)
{
    for (qsizetype p = right.indexOf(found); p >= 0; p = right.indexOf(found, p + 1)) {
        if (p <= start && text.mid(start - p).startsWith(right))
            return true;
    }
    return false;
}

} // namespace

QRegularExpression wordPattern(const QString& wrong)
{
    if (wrong.isEmpty())
        return QRegularExpression(QStringLiteral("(?!)"));
    // Rules in Latin letters are mostly used inside Chinese dictation ("用vscode写"), and some
    // begin or end with punctuation ("c++", ".net"): only a Latin letter or a digit next to the
    // match makes it part of a longer word.
    QRegularExpression pattern(QStringLiteral("(?<!%1)").arg(kLatinWordClass) + QRegularExpression::escape(wrong) +
                                   QStringLiteral("(?!%1)").arg(kLatinWordClass),
                               QRegularExpression::UseUnicodePropertiesOption);
    pattern.optimize();
    return pattern;
}

QString expandTemplate(const QString& replacementTemplate, QStringView match)
{
    QString out;
    out.reserve(replacementTemplate.size() + match.size());
    const qsizetype n = replacementTemplate.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = replacementTemplate.at(i);
        if (c == QLatin1Char('\\')) {
            // A trailing lone backslash escapes nothing and is dropped.
            if (i + 1 < n)
                out.append(replacementTemplate.at(++i));
        } else if (c == QLatin1Char('$') && i + 1 < n && replacementTemplate.at(i + 1) == QLatin1Char('0')) {
            // The pattern has no groups of its own, so only group 0 exists: "$00" is still group 0
            // and a digit that would name a further group is plain text.
            while (i + 1 < n && replacementTemplate.at(i + 1) == QLatin1Char('0'))
                ++i;
            out.append(match);
        } else {
            out.append(c);
        }
    }
    return out;
}

QString replaceWords(const QString& text, const QRegularExpression& pattern, const QString& right)
{
    QRegularExpressionMatchIterator it = pattern.globalMatch(text);
    if (!it.hasNext())
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        const QString expanded = expandTemplate(right, match.capturedView());
        if (readsAsRight(text, match.capturedStart(), match.capturedView(), expanded))
            continue;
        out.append(QStringView(text).mid(copied, match.capturedStart() - copied));
        out.append(expanded);
        copied = match.capturedEnd();
    }
    out.append(QStringView(text).mid(copied));
    return out;
}

QString searchKey(const QString& text)
{
    return text.normalized(QString::NormalizationForm_D);
}

QString replaceCanonical(const QString& text, const QString& wrong, const QString& right)
{
    const QString wrongKey = searchKey(wrong);
    if (wrongKey.isEmpty())
        return text;
    const QString rightKey = searchKey(right);
    // Decompose one character at a time so that every character boundary of the text has a known
    // place in the decomposed form; a match must begin and end on such places.
    const QStringList characters = Graphemes::split(text);
    QString key;
    key.reserve(text.size() + text.size() / 4);
    std::vector<qsizetype> keyStarts;    // in key, per character, plus the end
    std::vector<qsizetype> sourceStarts; // in text, per character, plus the end
    keyStarts.reserve(size_t(characters.size()) + 1);
    sourceStarts.reserve(size_t(characters.size()) + 1);
    qsizetype source = 0;
    for (const QString& character : characters) {
        keyStarts.push_back(key.size());
        sourceStarts.push_back(source);
        key.append(searchKey(character));
        source += character.size();
    }
    keyStarts.push_back(key.size());
    sourceStarts.push_back(source);

    const auto characterAt = [&keyStarts](qsizetype keyOffset) -> qsizetype {
        const auto found = std::lower_bound(keyStarts.begin(), keyStarts.end(), keyOffset);
        if (found == keyStarts.end() || *found != keyOffset)
            return -1;
        return qsizetype(found - keyStarts.begin());
    };

    QString out;
    qsizetype copied = 0;
    bool replaced = false;
    qsizetype from = 0;
    while (true) {
        const qsizetype at = key.indexOf(wrongKey, from);
        if (at < 0)
            break;
        const qsizetype first = characterAt(at);
        const qsizetype end = first < 0 ? -1 : characterAt(at + wrongKey.size());
        if (first < 0 || end < 0 || readsAsRight(key, at, wrongKey, rightKey)) {
            from = at + 1;
            continue;
        }
        out.append(QStringView(text).mid(copied, sourceStarts[size_t(first)] - copied));
        out.append(right);
        copied = sourceStarts[size_t(end)];
        replaced = true;
        from = at + wrongKey.size();
    }
    if (!replaced)
        return text;
    out.append(QStringView(text).mid(copied));
    return out;
}

} // namespace RuleReplacement
