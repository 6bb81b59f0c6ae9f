// Prints a summary of camera description files, checks them, or exports one without its
// developer items.

#include "description/cameradescriptionfile.h"
#include "description/descriptionchecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

// Prints the summary; returns whether the file is a description.
bool describe(const QString &path)
{
    CameraDescriptionFile file(path);
    // The digest reads the whole file; the summary below then uses what it read.
    const QByteArray digest = file.md5Hash();
    qint32 major = 0, minor = 0, subMinor = 0;
    file.version(major, minor, subMinor);
    QStringList groups = file.groupNames();
    out() << file.fileName() << '\n';
    if (!file.isValid())
        out() << "  (not a valid description: no model name)\n";
    out() << "  model:     " << file.modelName() << '\n'
          << "  supported: " << file.supportedModels().join(QLatin1Char(',')) << '\n'
          << "  version:   " << major << '.' << minor << '.' << subMinor << '\n'
          << "  commands:  " << file.commands().size() << '\n'
          << "  elements:  " << file.displayElements().size() << '\n'
          << "  groups:    " << groups.join(QLatin1String(", ")) << '\n'
          << "  md5:       " << QString::fromLatin1(digest.toHex()) << '\n';
    return file.isValid();
}

// Prints one line per finding; returns whether there were none.
bool check(const QString &path)
{
    CameraDescriptionFile file(path);
    file.loadFully();
    if (!file.isValid()) {
        out() << path << ": not a valid description (no model name)\n";
        return false;
    }
    const QList<DescriptionChecker::Finding> findings = DescriptionChecker::check(file);
    for (const DescriptionChecker::Finding &finding : findings)
        out() << path << ": " << finding.text() << '\n';
    return findings.isEmpty();
}

int usage()
{
    err() << "Usage: mfxdescribe <file or folder>...\n"
             "       mfxdescribe --check <file or folder>...\n"
             "       mfxdescribe --export <in.xml> <out.xml>\n";
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty())
        return usage();

    if (args.first() == QLatin1String("--export")) {
        if (args.size() != 3)
            return usage();
        if (!QFileInfo(args.at(1)).isFile()) {
            err() << "mfxdescribe: cannot read " << args.at(1) << '\n';
            return 1;
        }
        CameraDescriptionFile file(args.at(1));
        file.loadFully();
        if (!file.isValid()) {
            err() << "mfxdescribe: " << args.at(1) << " is not a valid description\n";
            return 1;
        }
        if (!file.exportTo(args.at(2))) {
            err() << "mfxdescribe: cannot write " << args.at(2) << '\n';
            return 1;
        }
        out() << "Exported " << args.at(1) << " to " << args.at(2) << '\n';
        return 0;
    }

    const bool checking = args.first() == QLatin1String("--check");
    if (checking && args.size() == 1)
        return usage();
    int status = 0;
    const auto handle = [checking, &status](const QString &path) {
        if (!(checking ? check(path) : describe(path)))
            status = 1;
    };
    for (const QString &arg : args.mid(checking ? 1 : 0)) {
        const QFileInfo info(arg);
        if (info.isDir()) {
            const QFileInfoList entries = QDir(arg).entryInfoList(
                { QStringLiteral("*.xml") }, QDir::Files | QDir::Readable, QDir::Name);
            for (const QFileInfo &entry : entries)
                handle(entry.filePath());
        } else if (info.isFile()) {
            handle(arg);
        } else {
            err() << "mfxdescribe: no such file or folder: " << arg << '\n';
            status = 1;
        }
    }
    return status;
}
