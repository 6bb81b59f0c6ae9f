#ifndef DESCRIPTIONREGISTRY_H
#define DESCRIPTIONREGISTRY_H

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class CameraDescriptionFile;
class DescriptionLoadProgress;

/// All description files found on disk, the one in use, and the connected camera's model and
/// type; decides which descriptions fit a camera. Owns every registered description.
class DescriptionRegistry
{
public:
    enum MatchCategory { BestMatch, Match, NoMatch };

    DescriptionRegistry() = default;
    ~DescriptionRegistry();
    DescriptionRegistry(const DescriptionRegistry &) = delete;
    DescriptionRegistry &operator=(const DescriptionRegistry &) = delete;

    /// Folders searched, in order: "XML" under the working directory, the configured search
    /// paths, then "marnifex/XML" in the installed data folder (share/ beside the executable's
    /// bin/) and in the XDG data folders, each once.
    static QStringList searchDirectories();

    /// Rebuilds the registry from the search folders, reporting to progress when given. The
    /// current description stays current (replaced by a new file of the same name when there
    /// is one). Returns whether a description is current afterwards, so that the caller can
    /// apply it again.
    bool loadDescriptions(DescriptionLoadProgress *progress = nullptr);

    const QList<CameraDescriptionFile *> &descriptions() const { return mDescriptions; }
    const QList<QByteArray> &digests() const { return mDigests; }
    bool contains(const CameraDescriptionFile *description) const;
    /// Takes ownership and appends the description with its digest, unless it is registered.
    /// Returns the registered entry: when one of the same content is already known, that one,
    /// and the given description is deleted.
    CameraDescriptionFile *add(CameraDescriptionFile *description);

    CameraDescriptionFile *current() const { return mCurrent; }
    /// Null or a registered description.
    void setCurrent(CameraDescriptionFile *description);

    QString cameraModel() const { return mCameraModel; }
    QString cameraType() const { return mCameraType; }
    QString partialMatchSuffix() const { return mPartialMatchSuffix; }
    void setCamera(const QString &model, const QString &type);
    void setPartialMatchSuffix(const QString &suffix) { mPartialMatchSuffix = suffix; }
    /// Empties camera model, type and partial-match suffix.
    void clearCamera();
    /// Camera model, a blank, camera type and the partial-match suffix: the status bar text.
    QString cameraText() const;

    /// Clears model, type and suffix, then takes them from an identification reply; returns
    /// false (leaving them empty) for an empty reply.
    bool parseIdentification(const QByteArray &reply);
    /// The model and type parts of an identification reply: its first word split at "-".
    static void splitIdentification(const QByteArray &reply, QString &model, QString &type);

    static MatchCategory category(
        CameraDescriptionFile *description, const QString &model, const QString &type);
    /// Sorts files into the three categories, each newest version first.
    static void sortDescriptions(const QList<CameraDescriptionFile *> &files, const QString &model,
        const QString &type, QList<CameraDescriptionFile *> &bestMatch,
        QList<CameraDescriptionFile *> &match, QList<CameraDescriptionFile *> &noMatch);
    /// True when a is a newer version than b.
    static bool isNewer(CameraDescriptionFile *a, CameraDescriptionFile *b);
    static QString partialMatchSuffixFor(const QString &fileName);

private:
    QList<CameraDescriptionFile *> mDescriptions;
    QList<QByteArray> mDigests;
    CameraDescriptionFile *mCurrent = nullptr;
    QString mCameraModel;
    QString mCameraType;
    QString mPartialMatchSuffix;
};

#endif // DESCRIPTIONREGISTRY_H
