#ifndef APPIDENTITY_H
#define APPIDENTITY_H

#include <QString>
#include <QtGlobal>

/// The program's name, version and word size as shown by the splash screen and the about box.
namespace AppIdentity {

inline QString name()
{
    return QStringLiteral("Marnifex");
}

inline QString version()
{
    return QStringLiteral("1.0.8");
}

/// The real pointer width of this build (32 or 64).
constexpr int wordSize()
{
    return QT_POINTER_SIZE * 8;
}

/// The compiler's build date, e.g. "Jun  5 2012".
inline QString buildDate()
{
    return QString::fromLatin1(__DATE__);
}

} // namespace AppIdentity

#endif // APPIDENTITY_H
