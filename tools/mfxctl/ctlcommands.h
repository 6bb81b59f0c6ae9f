#ifndef CTLCOMMANDS_H
#define CTLCOMMANDS_H

#include "description/displayelement.h"
#include "engine/camerasettingsfile.h"

#include <QList>
#include <QMetaObject>
#include <QPair>
#include <QRect>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>

class CameraDatabase;
class CameraSession;
class QTextStream;

/// The commands of mfxctl once a camera is connected: elements are found by the names the tree
/// shows, read, converted and written back exactly as the tree does, and raw console commands
/// and scripts go through the same queue as the program's. Data goes to out, messages to err;
/// each command returns mfxctl's exit code.
class CtlCommands
{
public:
    CtlCommands(CameraSession *session, QTextStream &out, QTextStream &err);
    ~CtlCommands();

    int get(const QStringList &names);
    int set(const QStringList &assignments);
    int dump(Visibility level, bool json, bool transfers);
    int save(const QString &fileName);
    int load(const QString &fileName, bool dryRun);
    int diff(const QString &fileName);
    int send(const QString &line);
    int script(const QString &fileName);

private:
    using FileItem = QPair<DisplayElement *, CameraSettingsFile::Item>;
    /// Reads and checks a settings file; items receives, in tree order, the available elements
    /// it holds with their items.
    int openSettings(const QString &fileName, QList<FileItem> *items);
    /// An item as text (values as saved, lists and regions with their contents); false when the
    /// item is damaged.
    static bool itemText(
        const DisplayElement *element, const CameraSettingsFile::Item &item, QString *text);
    void reportWaiting(const QList<DisplayElement *> &written, const QSet<QString> &commandsSent);
    /// An element that the tree can show (any level but Hidden), by name or by path.
    DisplayElement *find(const QString &name, QString *error) const;
    bool isAvailable(const DisplayElement *element) const;
    /// Reads the values of elements through the queue, as the tree's cells ask for them.
    void readValues(const QList<DisplayElement *> &elements);
    /// The element's value as the tree shows it; lists and regions with their contents when
    /// transfers is set.
    QString shownText(DisplayElement *element, bool transfers);
    QStringList readList(DisplayElement *element);
    QList<QRect> readRegions(DisplayElement *element);
    /// Exit code for the exchanges that failed since the last call, reported on err.
    int exchangeResult();
    int fail(int code, const QString &message);

    CameraSession *mSession;
    CameraDatabase *mDatabase;
    QTextStream &mOut;
    QTextStream &mErr;
    // Requests the engine did not send (a line end in them) since the last exchangeResult;
    // the engine has said why.
    int mNotSent = 0;
    QMetaObject::Connection mNotSentConnection;
};

#endif // CTLCOMMANDS_H
