#include "description/descriptiontext.h"

#include <QDebug>

namespace DescriptionText {

QString fromVisibility(Visibility visibility)
{
    switch (visibility) {
    case Visibility::Expert:
        return QStringLiteral("Expert");
    case Visibility::Guru:
        return QStringLiteral("Guru");
    case Visibility::Developer:
        return QStringLiteral("Developer");
    case Visibility::Hidden:
        return QStringLiteral("Hidden");
    default:
        return QStringLiteral("Beginner");
    }
}

Visibility toVisibility(const QString &text)
{
    if (text == QLatin1String("Beginner"))
        return Visibility::Beginner;
    if (text == QLatin1String("Expert"))
        return Visibility::Expert;
    if (text == QLatin1String("Guru"))
        return Visibility::Guru;
    if (text == QLatin1String("Developer"))
        return Visibility::Developer;
    if (text != QLatin1String("Hidden"))
        qDebug().noquote() << QStringLiteral("Unknown visibility string: ") + text;
    return Visibility::Hidden;
}

QString fromAccessMode(AccessMode accessMode)
{
    switch (accessMode) {
    case AccessMode::RO:
        return QStringLiteral("RO");
    case AccessMode::WO:
        return QStringLiteral("WO");
    default:
        return QStringLiteral("RW");
    }
}

AccessMode toAccessMode(const QString &text)
{
    if (text == QLatin1String("RW"))
        return AccessMode::RW;
    if (text == QLatin1String("WO"))
        return AccessMode::WO;
    if (text != QLatin1String("RO"))
        qDebug().noquote() << QStringLiteral("Unknown access mode string: ") + text;
    return AccessMode::RO;
}

QString fromBool(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool toBool(const QString &text)
{
    if (text == QLatin1String("True"))
        return true;
    if (!text.isEmpty() && text != QLatin1String("False"))
        qDebug().noquote() << QStringLiteral("Unknown bool string: ") + text;
    return false;
}

} // namespace DescriptionText
