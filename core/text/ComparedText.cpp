#include "core/text/ComparedText.h"

#include "core/text/Graphemes.h"

#include <algorithm>
#include <array>

namespace {

// The lower-case ASCII letters as strings of their own, so folding "A" allocates nothing.
const std::array<QString, 26>& asciiLowerCase()
{
    static const std::array<QString, 26> letters = [] {
        std::array<QString, 26> out;
        for (int i = 0; i < 26; ++i)
            out[std::size_t(i)] = QString(QChar(u'a' + i));
        return out;
    }();
    return letters;
}

// Units that are a character of their own whatever stands next to them, as long as everything
// around them is of the same kind: printable ASCII, CJK punctuation without the tone marks, and
// the unified ideographs. A hotword list of tens of thousands is mostly made of these, and
// segmenting it through the boundary finder would cost more than all the rest.
bool isPlainUnit(char16_t u)
{
    return (u >= 0x20 && u < 0x7F) || (u >= 0x3001 && u <= 0x3029) || (u >= 0x4E00 && u <= 0x9FFF);
}

std::vector<qsizetype> boundariesOf(const QString& text)
{
    if (!ComparedText::isPlain(text))
        return Graphemes::boundaries(text);
    std::vector<qsizetype> offsets(std::size_t(text.size()) + 1);
    for (qsizetype i = 0; i <= text.size(); ++i)
        offsets[std::size_t(i)] = i;
    return offsets;
}

} // namespace

bool ComparedText::isPlain(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return isPlainUnit(c.unicode()); });
}

qsizetype ComparedText::characterCount(const QString& text)
{
    return isPlain(text) ? text.size() : Graphemes::count(text);
}

QString ComparedText::composed(const QString& text)
{
    return isPlain(text) ? text : text.normalized(QString::NormalizationForm_C);
}

ComparedText::ComparedText(QString text, bool lowerCase)
    : m_text(std::move(text))
    , m_offsets(boundariesOf(m_text))
{
    compared.reserve(m_offsets.size() - 1);
    for (qsizetype i = 0; i < size(); ++i)
        compared.push_back(comparable(written(i), lowerCase));
}

bool ComparedText::matchesAt(qsizetype position, const ComparedText& other) const
{
    if (position < 0 || position + other.size() > size())
        return false;
    return std::equal(other.compared.begin(), other.compared.end(), compared.begin() + position);
}

QString ComparedText::key(qsizetype position, qsizetype count) const
{
    QString out;
    out.reserve(count);
    for (qsizetype i = position; i < position + count; ++i)
        appendKey(out, i);
    return out;
}

void ComparedText::appendKey(QString& key, qsizetype i) const
{
    // A unit from U+0020 up stands for itself; anything else goes behind its length (below
    // U+0020, or U+0000 and the length in two units), so no two sequences give one key.
    const QStringView character = compared[std::size_t(i)];
    if (character.size() == 1 && character.front().unicode() >= 0x20) {
        key.append(character.front());
        return;
    }
    if (character.size() < 0x20) {
        key.append(QChar(char16_t(character.size())));
    } else {
        key.append(QChar(char16_t(0)));
        key.append(QChar(char16_t(quint32(character.size()) >> 16)));
        key.append(QChar(char16_t(quint32(character.size()) & 0xFFFF)));
    }
    key.append(character);
}

QStringView ComparedText::comparable(QStringView character, bool lowerCase)
{
    if (character.size() == 1) {
        const char16_t u = character.front().unicode();
        if (u >= 0x20 && u < 0x7F) {
            if (lowerCase && u >= 'A' && u <= 'Z')
                return asciiLowerCase()[std::size_t(u - 'A')];
            return character;
        }
        if ((u >= 0x3001 && u <= 0x303F) || (u >= 0x4E00 && u <= 0x9FFF))
            return character;
    }
    QString folded = lowerCase ? character.toString().toLower() : character.toString();
    folded = folded.normalized(QString::NormalizationForm_C);
    if (folded == character)
        return character;
    m_folded.push_back(std::move(folded));
    return m_folded.back();
}
