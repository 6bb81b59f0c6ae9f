#ifndef DESCRIPTIONFIXTURE_H
#define DESCRIPTIONFIXTURE_H

#include <QDir>
#include <QFile>
#include <QString>

/// Writes small camera description files for the tests.
namespace DescriptionFixture {

/// A description with one integer element in group "Main" at level Beginner and one in
/// "Main/Expert" at level Expert. indent changes only the whitespace of the file; the group
/// path collapsedGroup, when given, is stored as collapsed.
inline QString text(const QString &model, const QString &supported, const QString &version,
    int indent = 4, const QString &collapsedGroup = QString())
{
    // The template marks one level of indentation with "~".
    QFile file(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/ui/data/description.xml");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QStringList v = version.split(QLatin1Char('.'));
    return QString::fromUtf8(file.readAll())
        .arg(v.value(0), v.value(1), v.value(2), model,
            supported.isNull() ? QString() : " Supported=\"" + supported + '"',
            collapsedGroup.isEmpty() ? QString()
                                     : "~~<Groups><Group><Name>" + collapsedGroup
                    + "</Name><Collapsed>True</Collapsed></Group></Groups>\n")
        .replace(QLatin1Char('~'), QString(indent, QLatin1Char(' ')));
}

inline bool write(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size();
}

/// Writes files given as "path model supported version [indent [collapsed group]]" (supported
/// "-": no such attribute) or as "path =contents".
inline bool write(const QStringList &lines)
{
    for (const QString &line : lines) {
        const QStringList f = line.split(' ');
        const bool ok = f.value(1).startsWith('=')
            ? write(f[0], line.section(" =", 1).toUtf8())
            : write(f[0],
                text(
                    f[1], f[2] == "-" ? QString() : f[2], f[3], f.value(4, "4").toInt(), f.value(5))
                    .toUtf8());
        if (!ok)
            return false;
    }
    return true;
}

} // namespace DescriptionFixture

#endif // DESCRIPTIONFIXTURE_H
