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
    // Written with "~" for one level of indentation.
    const auto command = [](const QString &id, const QString &code) {
        return QStringLiteral(
            "~~<Command>\n~~~<Id>%1</Id><Code>%2</Code><CachedUpdate>False</CachedUpdate>\n"
            "~~~<DeveloperOnly>False</DeveloperOnly><ParamsSet><Int><Id>%1</Id></Int></ParamsSet>\n"
            "~~~<ParamsGet/><ReturnValueSet/>\n"
            "~~~<ReturnValueGet><Int><Id>%1</Id></Int></ReturnValueGet>\n~~</Command>\n")
            .arg(id, code);
    };
    const auto element = [](const QString &name, const QString &group, const QString &level) {
        return QStringLiteral(
            "~~<DisplayElement>\n~~~<Name>%1</Name><Description>About %1</Description>\n"
            "~~~<ToolTip>%1</ToolTip><Group>%2</Group><Visibility>%3</Visibility>\n"
            "~~~<AccessMode>RW</AccessMode><Cacheable>True</Cacheable>\n"
            "~~~<InvalidatedBy></InvalidatedBy><IsAvailable></IsAvailable>\n"
            "~~~<Persistent>True</Persistent>\n"
            "~~~<Integer><MinimumValue>0</MinimumValue><MaximumValue>100</MaximumValue>\n"
            "~~~~<Increment>1</Increment><Prefix></Prefix><Suffix></Suffix>\n"
            "~~~~<Reference>%1</Reference></Integer>\n~~</DisplayElement>\n")
            .arg(name, group, level);
    };
    const QStringList v = version.split(QLatin1Char('.'));
    QString xml
        = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                         "<CameraDescription MajorVersion=\"%1\" MinorVersion=\"%2\" "
                         "SubMinorVersion=\"%3\" ModelName=\"%4\"%5 SchemaMajorVersion=\"1\" "
                         "SchemaMinorVersion=\"0\" SchemaSubMinorVersion=\"0\" "
                         "VendorName=\"Test\">\n~<CommandSet>\n")
              .arg(v.value(0), v.value(1), v.value(2), model,
                  supported.isNull() ? QString() : " Supported=\"" + supported + '"')
        + command("Brightness", "BRI") + command("Contrast", "CON")
        + "~</CommandSet>\n~<Display>\n";
    if (!collapsedGroup.isEmpty())
        xml += "~~<Groups><Group><Name>" + collapsedGroup
            + "</Name><Collapsed>True</Collapsed></Group></Groups>\n";
    xml += "~~<DisplayElements>\n" + element("Brightness", "Main", "Beginner")
        + element("Contrast", "Main/Expert", "Expert")
        + "~~</DisplayElements>\n~</Display>\n</CameraDescription>\n";
    return xml.replace(QLatin1Char('~'), QString(indent, QLatin1Char(' ')));
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
