#include "core/store/TextClass.h"

#include <QStringView>

#include <unicode/uchar.h>

namespace TextClass {

namespace {

// The scalar starting at index i, and its length in UTF-16 units. A lone surrogate stands for
// itself, so malformed text is walked without skipping anything.
char32_t scalarAt(const QString& text, qsizetype i, int* units)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(c, text.at(i + 1));
    }
    *units = 1;
    return c.unicode();
}

// The scalar ending just before index end, and its length in UTF-16 units.
char32_t scalarBefore(const QString& text, qsizetype end, int* units)
{
    const QChar c = text.at(end - 1);
    if (c.isLowSurrogate() && end >= 2 && text.at(end - 2).isHighSurrogate()) {
        *units = 2;
        return QChar::surrogateToUcs4(text.at(end - 2), c);
    }
    *units = 1;
    return c.unicode();
}

template <typename Predicate> QString trimmed(const QString& text, Predicate drop)
{
    qsizetype start = 0;
    qsizetype end = text.size();
    int units = 0;
    while (start < end && drop(scalarAt(text, start, &units)))
        start += units;
    while (end > start && drop(scalarBefore(text, end, &units)))
        end -= units;
    return text.mid(start, end - start);
}

} // namespace

bool isWhiteSpace(char32_t c)
{
    return u_hasBinaryProperty(UChar32(c), UCHAR_WHITE_SPACE);
}

bool isSpaceOrTab(char32_t c)
{
    return c == U'\t' || u_charType(UChar32(c)) == U_SPACE_SEPARATOR;
}

bool isIdeographic(char32_t c)
{
    return u_hasBinaryProperty(UChar32(c), UCHAR_IDEOGRAPHIC);
}

bool isNumeric(char32_t c)
{
    return u_getIntPropertyValue(UChar32(c), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

bool isAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

bool isAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
    }
    return true;
}

bool hasHan(const QString& text)
{
    int units = 0;
    for (qsizetype i = 0; i < text.size(); i += units) {
        if (isIdeographic(scalarAt(text, i, &units)))
            return true;
    }
    return false;
}

char32_t firstScalar(const QString& text)
{
    if (text.isEmpty())
        return 0;
    int units = 0;
    return scalarAt(text, 0, &units);
}

QString trimWhiteSpace(const QString& text)
{
    return trimmed(text, isWhiteSpace);
}

QString trimSpacesAndTabs(const QString& text)
{
    return trimmed(text, isSpaceOrTab);
}

QString canonicalKey(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool canonicallyEqual(const QString& a, const QString& b)
{
    if (a == b)
        return true;
    if (isAscii(a) && isAscii(b))
        return false;
    return canonicalKey(a) == canonicalKey(b);
}

} // namespace TextClass
