#include "description/descriptionregistry.h"

#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionloadprogress.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

DescriptionRegistry::~DescriptionRegistry()
{
    qDeleteAll(mDescriptions);
}

QStringList DescriptionRegistry::searchDirectories()
{
    QStringList dirs { QDir::current().filePath(QStringLiteral("XML")) };
    dirs += AppSettings::instance().searchPaths;
    // Started from a desktop menu, the working directory is the home folder: the installed
    // descriptions and the user's data folders come after the folders above.
    QStringList data;
    if (QCoreApplication::instance())
        data.append(QCoreApplication::applicationDirPath() + QStringLiteral("/../share"));
    data += QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &folder : qAsConst(data)) {
        const QString path = QDir::cleanPath(folder + QStringLiteral("/marnifex/XML"));
        if (!dirs.contains(path))
            dirs.append(path);
    }
    return dirs;
}

bool DescriptionRegistry::loadDescriptions(DescriptionLoadProgress *progress)
{
    const auto report = [progress](const QString &text) {
        if (progress)
            progress->setStatus(text);
    };

    QList<CameraDescriptionFile *> oldDescriptions;
    QList<QByteArray> oldDigests;
    oldDescriptions.swap(mDescriptions);
    oldDigests.swap(mDigests);
    CameraDescriptionFile *oldCurrent = mCurrent;
    mCurrent = nullptr;

    report(QStringLiteral("Loading application data.."));

    const QStringList dirs = searchDirectories();
    for (const QString &path : dirs) {
        const QDir dir(path);
        if (path.isEmpty() || !dir.exists())
            continue;
        // Name order, so that the first of two identical files is the same on every run.
        const QFileInfoList files = dir.entryInfoList({ QStringLiteral("*.xml") },
            QDir::Files | QDir::Readable | QDir::NoDotAndDotDot, QDir::Name);
        report(QStringLiteral("Found %1 files.").arg(files.size()));
        for (const QFileInfo &file : files) {
            report(QStringLiteral("Loading: %1").arg(file.fileName()));
            auto *description = new CameraDescriptionFile(file.absoluteFilePath());
            const QByteArray digest = description->md5Hash();
            if (mDigests.contains(digest)) {
                qDebug() << "Found description file which is already loaded: "
                         << file.absoluteFilePath();
                delete description;
                continue;
            }
            qDebug() << "Found description file: " << description->modelName()
                     << description->supportedModels() << digest.toHex();
            mDescriptions.append(description);
            mDigests.append(digest);
        }
    }

    qDebug() << "Loaded " << mDescriptions.size() << "camera description files";
    report(QStringLiteral("Done"));

    if (oldCurrent) {
        const QString name = oldCurrent->fileName();
        const auto found = std::find_if(mDescriptions.cbegin(), mDescriptions.cend(),
            [&name](CameraDescriptionFile *d) { return d->fileName() == name; });
        const QByteArray oldDigest = oldDigests.value(oldDescriptions.indexOf(oldCurrent));
        const int sameContent = mDigests.indexOf(oldDigest);
        if (found != mDescriptions.cend()) {
            mCurrent = *found;
        } else if (sameContent >= 0) {
            // Renamed, or now hidden by an identical file found earlier: one entry per digest.
            mCurrent = mDescriptions.at(sameContent);
        } else {
            // The file has gone from disk; the object in use stays valid and current.
            mDescriptions.append(oldCurrent);
            mDigests.append(oldDigest);
            mCurrent = oldCurrent;
            oldDescriptions.removeAll(oldCurrent);
        }
    }
    qDeleteAll(oldDescriptions);
    return mCurrent != nullptr;
}

bool DescriptionRegistry::contains(const CameraDescriptionFile *description) const
{
    return std::find(mDescriptions.cbegin(), mDescriptions.cend(), description)
        != mDescriptions.cend();
}

CameraDescriptionFile *DescriptionRegistry::add(CameraDescriptionFile *description)
{
    if (!description || contains(description))
        return description;
    const QByteArray digest = description->md5Hash();
    const int known = mDigests.indexOf(digest);
    if (known >= 0) {
        delete description;
        return mDescriptions.at(known);
    }
    mDescriptions.append(description);
    mDigests.append(digest);
    return description;
}

void DescriptionRegistry::setCurrent(CameraDescriptionFile *description)
{
    Q_ASSERT(!description || contains(description));
    mCurrent = description;
}

void DescriptionRegistry::setCamera(const QString &model, const QString &type)
{
    mCameraModel = model;
    mCameraType = type;
}

void DescriptionRegistry::clearCamera()
{
    mCameraModel.clear();
    mCameraType.clear();
    mPartialMatchSuffix.clear();
}

QString DescriptionRegistry::cameraText() const
{
    return mCameraModel + QLatin1Char(' ') + mCameraType + mPartialMatchSuffix;
}

bool DescriptionRegistry::parseIdentification(const QByteArray &reply)
{
    clearCamera();
    if (reply.isEmpty())
        return false;
    qDebug() << "Connection selected camera: " << reply;
    splitIdentification(reply, mCameraModel, mCameraType);
    return true;
}

void DescriptionRegistry::splitIdentification(
    const QByteArray &reply, QString &model, QString &type)
{
    const QString text = QString::fromLatin1(reply);
    const int space = text.indexOf(QLatin1Char(' '));
    const QString word = space < 0 ? text : text.left(space);
    QStringList parts = word.split(QLatin1Char('-'), Qt::KeepEmptyParts);
    model = parts.takeFirst();
    type = parts.join(QLatin1Char('-'));
}

DescriptionRegistry::MatchCategory DescriptionRegistry::category(
    CameraDescriptionFile *description, const QString &model, const QString &type)
{
    if (description->modelName().toUpper() != model.toUpper())
        return NoMatch;
    const QString wanted = type.toUpper();
    const QStringList supported = description->supportedModels();
    // A description without a Supported attribute lists one empty entry.
    const bool typeListed = supported.isEmpty()
        ? wanted.isEmpty()
        : std::any_of(supported.cbegin(), supported.cend(),
            [&wanted](const QString &s) { return s.toUpper() == wanted; });
    return typeListed ? BestMatch : Match;
}

bool DescriptionRegistry::isNewer(CameraDescriptionFile *a, CameraDescriptionFile *b)
{
    qint32 aMajor, aMinor, aSub, bMajor, bMinor, bSub;
    a->version(aMajor, aMinor, aSub);
    b->version(bMajor, bMinor, bSub);
    if (aMajor != bMajor)
        return aMajor > bMajor;
    if (aMinor != bMinor)
        return aMinor > bMinor;
    return aSub > bSub;
}

void DescriptionRegistry::sortDescriptions(const QList<CameraDescriptionFile *> &files,
    const QString &model, const QString &type, QList<CameraDescriptionFile *> &bestMatch,
    QList<CameraDescriptionFile *> &match, QList<CameraDescriptionFile *> &noMatch)
{
    for (CameraDescriptionFile *file : files) {
        switch (category(file, model, type)) {
        case BestMatch:
            bestMatch.append(file);
            break;
        case Match:
            match.append(file);
            break;
        case NoMatch:
            noMatch.append(file);
            break;
        }
    }
    for (auto *list : { &bestMatch, &match, &noMatch })
        std::stable_sort(list->begin(), list->end(), &DescriptionRegistry::isNewer);
}

QString DescriptionRegistry::partialMatchSuffixFor(const QString &fileName)
{
    return QStringLiteral(" (Partial match: '") + fileName + QStringLiteral("')");
}
