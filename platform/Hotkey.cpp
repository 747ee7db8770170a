#include "platform/Hotkey.h"

#include "platform/HotkeyNames.h"
#include "platform/KeyEvent.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMetaType>
#include <QStringList>
#include <QVariant>

#include <limits>

namespace {

// Qt keeps integer literals apart from numbers with a fraction or exponent; a stored key code
// of 1.5 or 1e2 is not a key code, and a string or Boolean never becomes one.
std::optional<qint64> integerMember(const QJsonObject& object, QLatin1StringView name)
{
    const QJsonValue value = object.value(name);
    if (!value.isDouble())
        return std::nullopt;
    const QVariant variant = value.toVariant();
    if (variant.metaType().id() != QMetaType::LongLong)
        return std::nullopt;
    return variant.toLongLong();
}

} // namespace

QString Hotkey::display() const
{
    QStringList parts;
    if (modifiers & KeyModifier::control)
        parts << QStringLiteral("Ctrl");
    if (modifiers & KeyModifier::alt)
        parts << QStringLiteral("Alt");
    if (modifiers & KeyModifier::shift)
        parts << QStringLiteral("Shift");
    if (modifiers & KeyModifier::super)
        parts << QStringLiteral("Super");
    if (!isModifierOnly)
        parts << HotkeyNames::key(keyCode);
    else if (modifiers == 0)
        return HotkeyNames::modifierOnly(keyCode);
    return parts.join(QLatin1Char('+'));
}

std::optional<Hotkey> hotkey(const QString& stored)
{
    if (stored.isEmpty())
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const auto keyCode = integerMember(object, QLatin1StringView("keyCode"));
    const auto modifiers = integerMember(object, QLatin1StringView("modifiers"));
    const QJsonValue isModifierOnly = object.value(QLatin1StringView("isModifierOnly"));
    if (!keyCode || !modifiers || *modifiers < 0 || !isModifierOnly.isBool())
        return std::nullopt;
    return Hotkey{*keyCode, quint64(*modifiers), isModifierOnly.toBool()};
}

QString encodeHotkey(const std::optional<Hotkey>& hotkey)
{
    if (!hotkey)
        return QString();
    // JSON numbers here are signed 64-bit; a mask beyond that cannot be stored faithfully.
    if (hotkey->modifiers > quint64(std::numeric_limits<qint64>::max()))
        return QString();
    QJsonObject object;
    object.insert(QLatin1StringView("keyCode"), hotkey->keyCode);
    object.insert(QLatin1StringView("modifiers"), qint64(hotkey->modifiers));
    object.insert(QLatin1StringView("isModifierOnly"), hotkey->isModifierOnly);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
