#include "core/store/JsonText.h"

#include <QLocale>

#include <cmath>

namespace {

char hexDigit(unsigned value)
{
    return "0123456789abcdef"[value & 0xf];
}

} // namespace

void JsonText::appendString(QByteArray& out, QStringView text)
{
    // Room for the worst case, six bytes a unit, then cut to what was written.
    const qsizetype start = out.size();
    out.resize(start + 2 + 6 * text.size());
    char* cursor = out.data() + start;
    *cursor++ = '"';
    const char16_t* units = text.utf16();
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit >= 0x20 && unit < 0x80 && unit != u'"' && unit != u'\\') {
            *cursor++ = char(unit);
        } else if (unit < 0x80) {
            *cursor++ = '\\';
            switch (unit) {
            case u'"':
            case u'\\':
                *cursor++ = char(unit);
                break;
            case u'\b':
                *cursor++ = 'b';
                break;
            case u'\f':
                *cursor++ = 'f';
                break;
            case u'\n':
                *cursor++ = 'n';
                break;
            case u'\r':
                *cursor++ = 'r';
                break;
            case u'\t':
                *cursor++ = 't';
                break;
            default:
                *cursor++ = 'u';
                *cursor++ = '0';
                *cursor++ = '0';
                *cursor++ = hexDigit(unit >> 4);
                *cursor++ = hexDigit(unit);
            }
        } else if (unit < 0x800) {
            *cursor++ = char(0xc0 | (unit >> 6));
            *cursor++ = char(0x80 | (unit & 0x3f));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t scalar = QChar::surrogateToUcs4(unit, units[++i]);
            *cursor++ = char(0xf0 | (scalar >> 18));
            *cursor++ = char(0x80 | ((scalar >> 12) & 0x3f));
            *cursor++ = char(0x80 | ((scalar >> 6) & 0x3f));
            *cursor++ = char(0x80 | (scalar & 0x3f));
        } else if (QChar::isSurrogate(unit)) {
            *cursor++ = '\\';
            *cursor++ = 'u';
            for (int shift = 12; shift >= 0; shift -= 4)
                *cursor++ = hexDigit(unit >> shift);
        } else {
            *cursor++ = char(0xe0 | (unit >> 12));
            *cursor++ = char(0x80 | ((unit >> 6) & 0x3f));
            *cursor++ = char(0x80 | (unit & 0x3f));
        }
    }
    *cursor++ = '"';
    out.resize(cursor - out.constData());
}

void JsonText::appendNumber(QByteArray& out, double number)
{
    // QJsonValue keeps a whole number that a double holds exactly as an integer, and the encoder
    // writes it with every digit (786000000, not 7.86e+08); beyond 2^53 it stays a double.
    constexpr double kExactIntegers = double(1LL << 53);
    if (!std::isfinite(number))
        out.append("null");
    else if (std::trunc(number) == number && std::abs(number) <= kExactIntegers)
        out.append(QByteArray::number(qint64(number)));
    else
        out.append(QByteArray::number(number, 'g', QLocale::FloatingPointShortest));
}
