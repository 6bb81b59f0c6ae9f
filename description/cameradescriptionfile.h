#ifndef CAMERADESCRIPTIONFILE_H
#define CAMERADESCRIPTIONFILE_H

#include "description/command.h"
#include "description/displayelement.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class QIODevice;

/// One camera description file: what one camera model understands (commands) and what the user
/// sees (display elements in groups). Reads its file lazily: the root attributes first, the
/// whole contents when commands, elements or the digest are first asked for.
///
/// Ownership: the file owns every display element handed to it (addDisplayElement,
/// replaceDisplayElement) and every element it reads. Elements that leave the list (replaced,
/// removed, or dropped by a reload) are not freed but kept until the file object is destroyed,
/// so pointers held by the tree, the database or the editor never dangle while the description
/// is in use. Callers never delete an element they have given to or received from the file;
/// handing such an element back (adding it again, or replacing with it) is safe.
class CameraDescriptionFile
{
public:
    explicit CameraDescriptionFile(const QString &filePath = QString());
    ~CameraDescriptionFile();
    CameraDescriptionFile(const CameraDescriptionFile &) = delete;
    CameraDescriptionFile &operator=(const CameraDescriptionFile &) = delete;

    /// Loads the header; true when the model name is not empty.
    bool isValid();

    /// File name without its folder.
    QString fileName() const;
    QString filePath() const { return mFilePath; }
    void setFilePath(const QString &filePath) { mFilePath = filePath; }

    bool isHeaderLoaded() const { return mHeaderLoaded; }
    bool isFullyLoaded() const { return mFullyLoaded; }

    void version(qint32 &major, qint32 &minor, qint32 &subMinor);
    void setVersion(qint32 major, qint32 minor, qint32 subMinor);
    QString modelName();
    void setModelName(const QString &modelName);
    QString vendorName();
    void setVendorName(const QString &vendorName);
    QStringList supportedModels();
    void setSupportedModels(const QStringList &supportedModels);

    /// Loads fully; a copy of the command set in file order.
    QList<Command> commands();
    bool hasCommand(const QString &id);
    /// First command with that id, or an empty command.
    Command command(const QString &id);
    void addCommand(const Command &command);
    /// Overwrites the first command whose id is oldId, keeping its place.
    void replaceCommand(const QString &oldId, const Command &command);
    void removeCommand(const QString &id);

    /// Loads fully; the elements in group-tree order (same pointers every call).
    QList<DisplayElement *> displayElements();
    /// First element with that name, or null.
    DisplayElement *displayElement(const QString &name);
    /// Takes ownership, appends and re-sorts by the group tree.
    void addDisplayElement(DisplayElement *element);
    /// Takes ownership of newElement and puts it in oldElement's place (appends it when
    /// oldElement is not in the list); no re-sort. oldElement stays alive until the file is
    /// destroyed: do not delete it.
    void replaceDisplayElement(DisplayElement *oldElement, DisplayElement *newElement);
    /// Takes the first element with that name out of the list (kept alive, see above).
    void removeDisplayElement(const QString &name);
    /// Takes that element out of the list (kept alive, see above); for names used twice.
    void removeDisplayElement(DisplayElement *element);
    /// Moves the first element with that name before the previous element of its group.
    void moveElementUp(const QString &name);
    void moveElementDown(const QString &name);
    /// Moves that element; for names used twice.
    void moveElementUp(DisplayElement *element);
    void moveElementDown(DisplayElement *element);

    /// The distinct groups of all elements, sorted.
    QStringList groupNames();
    /// Puts the elements in group-tree order.
    void sortElements();
    void moveGroupUp(const QString &groupPath);
    void moveGroupDown(const QString &groupPath);
    /// True unless the group was stored as collapsed.
    bool isGroupExpanded(const QString &groupPath) const;
    void setGroupExpanded(const QString &groupPath, bool expanded);
    /// All stored group states (path to expanded flag).
    QMap<QString, bool> groupStates() const { return mGroupStates; }

    /// Writes the whole model to the file path, replacing the file atomically; sets both
    /// loaded flags on success. On failure the file and the model stay as they were.
    bool save();
    /// Writes the model as it is in memory, without developer items, to another file,
    /// replacing it atomically. Does not load: call loadFully() first for an object that was
    /// only created. The own path and flags do not change.
    bool exportTo(const QString &path);
    /// Loads fully; MD5 digest (16 bytes) of the model serialised exactly as save writes it.
    QByteArray md5Hash();
    /// Writes the document to an open device; developer items only when includeDeveloper.
    bool write(QIODevice *device, bool includeDeveloper);

    /// Reads the root attributes, unless already done. Does nothing when the file cannot be
    /// opened (the next call tries again).
    void loadHeader();
    /// Reads the whole file, unless already done. Does nothing when it cannot be opened.
    void loadFully();

private:
    struct GroupNode;
    GroupNode buildGroupTree() const;
    void applyGroupTree(const GroupNode &root);
    void moveGroup(const QString &groupPath, int step);
    void resetHeader();
    void retire(DisplayElement *element);
    void reclaim(DisplayElement *element);
    void retireAll();

    QString mFilePath;
    bool mHeaderLoaded = false;
    bool mFullyLoaded = false;
    qint32 mMajorVersion = 0;
    qint32 mMinorVersion = 0;
    qint32 mSubMinorVersion = 0;
    QString mModelName;
    QString mVendorName;
    QStringList mSupported;
    QMap<QString, bool> mGroupStates;
    QList<Command> mCommands;
    QList<DisplayElement *> mDisplayElements;
    // Elements that left the list; freed with the file (see the class comment). Never holds an
    // element that is also in mDisplayElements.
    std::vector<std::unique_ptr<DisplayElement>> mRetired;

    friend class DescriptionReader;
    friend class DescriptionWriter;
};

#endif // CAMERADESCRIPTIONFILE_H
