#include "platform/HotkeyNames.h"

namespace HotkeyNames {

const QSet<int>& modifierKeyCodes()
{
    static const QSet<int> codes{54, 55, 56, 57, 58, 59, 60, 61, 62, 63};
    return codes;
}

const QHash<int, QString>& special()
{
    static const QHash<int, QString> names{
        {49, QStringLiteral("Space")},     {36, QStringLiteral("Enter")}, {48, QStringLiteral("Tab")},
        {51, QStringLiteral("Backspace")}, {53, QStringLiteral("Esc")},   {123, QStringLiteral("←")},
        {124, QStringLiteral("→")},        {125, QStringLiteral("↓")},    {126, QStringLiteral("↑")},
        {122, QStringLiteral("F1")},       {120, QStringLiteral("F2")},   {99, QStringLiteral("F3")},
        {118, QStringLiteral("F4")},       {96, QStringLiteral("F5")},    {97, QStringLiteral("F6")},
        {98, QStringLiteral("F7")},        {100, QStringLiteral("F8")},   {101, QStringLiteral("F9")},
        {109, QStringLiteral("F10")},      {103, QStringLiteral("F11")},  {111, QStringLiteral("F12")},
    };
    return names;
}

const QHash<int, QString>& ansi()
{
    static const QHash<int, QString> names = [] {
        const std::pair<int, char> keys[] = {
            {0, 'A'},  {11, 'B'},  {8, 'C'},  {2, 'D'},  {14, 'E'}, {3, 'F'},   {5, 'G'},  {4, 'H'},
            {34, 'I'}, {38, 'J'},  {40, 'K'}, {37, 'L'}, {46, 'M'}, {45, 'N'},  {31, 'O'}, {35, 'P'},
            {12, 'Q'}, {15, 'R'},  {1, 'S'},  {17, 'T'}, {32, 'U'}, {9, 'V'},   {13, 'W'}, {7, 'X'},
            {16, 'Y'}, {6, 'Z'},   {29, '0'}, {18, '1'}, {19, '2'}, {20, '3'},  {21, '4'}, {23, '5'},
            {22, '6'}, {26, '7'},  {28, '8'}, {25, '9'}, {27, '-'}, {24, '='},  {33, '['}, {30, ']'},
            {41, ';'}, {39, '\''}, {43, ','}, {47, '.'}, {44, '/'}, {42, '\\'}, {50, '`'},
        };
        QHash<int, QString> table;
        for (const auto& [code, label] : keys)
            table.insert(code, QString(QLatin1Char(label)));
        return table;
    }();
    return names;
}

QString key(qint64 code)
{
    if (code >= 0 && code <= 0xFFFF) {
        if (const auto found = special().constFind(int(code)); found != special().constEnd())
            return *found;
        if (const auto found = ansi().constFind(int(code)); found != ansi().constEnd())
            return *found;
    }
    return QStringLiteral("Key%1").arg(code);
}

QString modifierOnly(qint64 code)
{
    static const QHash<int, QString> names{
        {54, QStringLiteral("右Super")},  {55, QStringLiteral("左Super")}, {56, QStringLiteral("左Shift")},
        {57, QStringLiteral("CapsLock")}, {58, QStringLiteral("左Alt")},   {59, QStringLiteral("左Ctrl")},
        {60, QStringLiteral("右Shift")},  {61, QStringLiteral("右Alt")},   {62, QStringLiteral("右Ctrl")},
        {63, QStringLiteral("Menu")},
    };
    if (code >= 0 && code <= 0xFFFF) {
        if (const auto found = names.constFind(int(code)); found != names.constEnd())
            return *found;
    }
    return QStringLiteral("Key%1").arg(code);
}

} // namespace HotkeyNames
