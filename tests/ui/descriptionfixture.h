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
    const QStringList v = version.split(QLatin1Char('.'));
    const QString i1(indent, QLatin1Char(' '));
    const QString i2 = i1 + i1, i3 = i2 + i1, i4 = i3 + i1;
    QString groups;
    if (!collapsedGroup.isEmpty()) {
        groups = i2 + "<Groups>\n" + i3 + "<Group>\n" + i4 + "<Name>" + collapsedGroup + "</Name>\n"
            + i4 + "<Collapsed>True</Collapsed>\n" + i3 + "</Group>\n" + i2 + "</Groups>\n";
    }
    QString supportedAttr;
    if (!supported.isNull())
        supportedAttr = QStringLiteral(" Supported=\"%1\"").arg(supported);
    const auto element
        = [&](const QString &name, const QString &group, const QString &level, const QString &ref) {
              return i2 + "<DisplayElement>\n" + i3 + "<Name>" + name + "</Name>\n" + i3
                  + "<Description>About " + name + "</Description>\n" + i3 + "<ToolTip>" + name
                  + "</ToolTip>\n" + i3 + "<Group>" + group + "</Group>\n" + i3 + "<Visibility>"
                  + level + "</Visibility>\n" + i3 + "<AccessMode>RW</AccessMode>\n" + i3
                  + "<Cacheable>True</Cacheable>\n" + i3 + "<InvalidatedBy></InvalidatedBy>\n" + i3
                  + "<IsAvailable></IsAvailable>\n" + i3 + "<Persistent>True</Persistent>\n" + i3
                  + "<Integer>\n" + i4 + "<MinimumValue>0</MinimumValue>\n" + i4
                  + "<MaximumValue>100</MaximumValue>\n" + i4 + "<Increment>1</Increment>\n" + i4
                  + "<Prefix></Prefix>\n" + i4 + "<Suffix></Suffix>\n" + i4 + "<Reference>" + ref
                  + "</Reference>\n" + i3 + "</Integer>\n" + i2 + "</DisplayElement>\n";
          };
    const auto command = [&](const QString &id, const QString &code) {
        return i2 + "<Command>\n" + i3 + "<Id>" + id + "</Id>\n" + i3 + "<Code>" + code
            + "</Code>\n" + i3 + "<CachedUpdate>False</CachedUpdate>\n" + i3
            + "<DeveloperOnly>False</DeveloperOnly>\n" + i3 + "<ParamsSet>\n" + i3 + i1 + "<Int>\n"
            + i4 + i1 + "<Id>" + id + "</Id>\n" + i3 + i1 + "</Int>\n" + i3 + "</ParamsSet>\n" + i3
            + "<ParamsGet/>\n" + i3 + "<ReturnValueSet/>\n" + i3 + "<ReturnValueGet>\n" + i3 + i1
            + "<Int>\n" + i4 + i1 + "<Id>" + id + "</Id>\n" + i3 + i1 + "</Int>\n" + i3
            + "</ReturnValueGet>\n" + i2 + "</Command>\n";
    };
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<CameraDescription MajorVersion=\"%1\" MinorVersion=\"%2\" "
                          "SubMinorVersion=\"%3\" ModelName=\"%4\"%5 SchemaMajorVersion=\"1\" "
                          "SchemaMinorVersion=\"0\" SchemaSubMinorVersion=\"0\" "
                          "VendorName=\"Test\">\n")
               .arg(v.value(0), v.value(1), v.value(2), model, supportedAttr)
        + i1 + "<CommandSet>\n" + command("Brightness", "BRI") + command("Contrast", "CON") + i1
        + "</CommandSet>\n" + i1 + "<Display>\n" + groups + i1 + i1 + "<DisplayElements>\n"
        + element("Brightness", "Main", "Beginner", "Brightness")
        + element("Contrast", "Main/Expert", "Expert", "Contrast") + i1 + i1
        + "</DisplayElements>\n" + i1 + "</Display>\n</CameraDescription>\n";
}

inline bool write(const QString &path, const QByteArray &contents)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(contents) == contents.size();
}

inline bool write(const QString &path, const QString &model, const QString &supported,
    const QString &version, int indent = 4, const QString &collapsedGroup = QString())
{
    return write(path, text(model, supported, version, indent, collapsedGroup).toUtf8());
}

} // namespace DescriptionFixture

#endif // DESCRIPTIONFIXTURE_H
