#ifndef CAMERADATABASE_H
#define CAMERADATABASE_H

#include "comm/abstractcommunicator.h"
#include "description/command.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QRect>
#include <QScopedPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <memory>

class CameraDescriptionFile;
class CommandChannel;
class CommunicationThreadObject;
class QScriptEngine;
class ScriptHost;
class QTimer;
class TransferProgress;
class ValueSubscriber;

/// The one store of camera values: knows which command reads or writes each value, fetches
/// values when needed, sends the user's changes, decodes replies and tells the subscribed tree
/// items. Also evaluates the description's script expressions and transfers lists and regions.
/// Lives in the user-interface thread.
class CameraDatabase : public QObject
{
    Q_OBJECT

public:
    /// Per name, a value is absent (never asked for), cached, or stale (to be fetched again).
    enum class ValueState { Absent, Cached, Stale };

    /// Sends through the communication thread and listens to its replies and online mode.
    explicit CameraDatabase(CommunicationThreadObject *comm, QObject *parent = nullptr);
    /// Sends through channel (not owned); replies must be handed to processReply by its owner.
    explicit CameraDatabase(CommandChannel *channel, QObject *parent = nullptr);
    ~CameraDatabase() override;

    /// Replaces the commands, values, subscriptions and the script engine. description may be
    /// null; it is not owned and must outlive its use here.
    void setDescription(
        CameraDescriptionFile *description, const QString &model, const QString &type);
    CameraDescriptionFile *description() const { return mDescription; }
    QString cameraModel() const { return mCameraModel; }
    QString cameraType() const { return mCameraType; }

    /// Cached value; sends an asynchronous get first when the value is absent or stale.
    QVariant getValue(const QString &id);
    /// Cached value; runs a blocking get first when the value is absent or stale.
    QVariant getValueWait(const QString &id);
    /// Stores a value entered by the user, notifies and sends it (unless unchanged or the
    /// command has CachedUpdate).
    void setValue(const QString &id, const QVariant &value);
    /// Marks id stale and sends an asynchronous get.
    void refreshValue(const QString &id);
    /// Subscribes item to id; subscribing twice means being called twice.
    void registerItem(const QString &id, ValueSubscriber *item);
    /// Removes every subscription of item (call before deleting a subscriber); costs as much
    /// as item's own subscriptions, however many others exist.
    void unregisterItem(ValueSubscriber *item);
    /// Number of subscriptions to id (duplicates counted).
    int subscriptionCount(const QString &id) const;
    /// Retry count 0 (on) or 2 (off) for the selected port.
    void setFastFailure(bool on);

    /// State of id, without fetching and without inserting an entry.
    ValueState valueState(const QString &id) const;
    /// Cached value of id, without fetching and without inserting an entry.
    QVariant cachedValue(const QString &id) const;
    /// Names of every parameter of the description (plus "ID"), sorted; the script globals.
    QStringList scriptNames() const { return mScriptNames; }
    /// The command that carries or is called id; an empty command when there is none.
    Command commandFor(const QString &id) const { return mCommandMap.value(id); }

    void doGetValue(const QString &id);
    void doSetValue(const QString &id);
    void doGetValueWait(const QString &id);
    void doSetValueWait(const QString &id);
    void reportRefusedWrites(const QString &transfer);

    /// Empty expression: true. Otherwise the result as bool; false after an error.
    bool evaluateBool(const QString &expression);
    /// Empty expression: 0. Otherwise the result truncated toward zero; 0 after an error.
    int evaluateInt(const QString &expression);
    /// Replaces the engines by new ones with one global per script name and the library
    /// functions; setDescription calls it. Returns the engine of straight-line expressions;
    /// the others run in a thread of its own (so that a runaway expression can be stopped).
    /// Neither must be used directly.
    QScriptEngine *createScriptEngine();
    /// False before the first setDescription.
    bool hasScriptEngine() const;
    /// Script time after which an evaluation is aborted (blocking camera reads not counted).
    void setScriptTimeLimit(int ms);
    int scriptTimeLimit() const;
    /// The text of a camera value for the expression engine (from its thread or this one).
    QString readScriptValue(const QString &id);
    /// Total time spent waiting in blocking camera exchanges.
    qint64 cameraWaitMs() const { return mCameraWaitMs; }

    /// Reads count entries through getId, storing each index in indexId first. False when the
    /// user cancelled; out then holds the entries read so far.
    bool loadList(QStringList &out, int count, const QString &getId, const QString &indexId);
    /// Writes list through setId between the Start and End commands. False when cancelled.
    bool saveList(const QStringList &list, const QString &indexId, const QString &startId,
        const QString &endId, const QString &setId);
    /// Reads count regions. A reply that is no region (negative, or reaching beyond the int
    /// range) gives an empty region in its place. False when the user cancelled; out then
    /// holds the regions read so far.
    bool loadRoi(QList<QRect> &out, int count, const QString &indexId, const QString &xId,
        const QString &yId, const QString &widthId, const QString &heightId,
        const QString &getCommandId);
    /// Writes count regions between the Start and End commands; positions beyond regions are
    /// sent as empty regions, regions that are no region are not sent. False when cancelled.
    bool saveRoi(const QList<QRect> &regions, int count, const QString &xId, const QString &yId,
        const QString &widthId, const QString &heightId, const QString &startId,
        const QString &endId, const QString &setCommandId);
    /// Progress display of list and region transfers (not owned); null runs transfers without
    /// one.
    void setTransferProgress(TransferProgress *progress) { mProgress = progress; }
    TransferProgress *transferProgress() const { return mProgress; }

    /// Time between two identification gets while offline (2500 ms).
    void setOfflinePollInterval(int ms) { mOfflinePollInterval = ms; }
    int offlinePollInterval() const { return mOfflinePollInterval; }
    /// The identification get is repeated because the camera is offline.
    bool isPollingOffline() const;

signals:
    /// A cached value changed or was refreshed.
    void valueUpdate(const QString &paramId, const QVariant &v);
    /// A request was not sent because its command or arguments hold a line end (code with "?"
    /// for a get). Emitted each time; the user is told once per command and description.
    void requestNotSent(const QString &code);

public slots:
    void processReply(const QString &id, const QByteArray &code,
        AbstractCommunicator::Result result, const QVariantList &args);
    void updateCachedValue(const QString &id, const QVariant &val);
    void updateCmdExecuted(const QString &id);
    void onOnlineModeChanged(bool online);
    void checkOnline();

private:
    void init();
    void sendRequest(const QString &id, bool get, bool wait, const char *operation);
    void notify(const QString &id, const QVariant &value);
    /// After a set the camera refused or did not answer: says so and reads the values again.
    void readBackRefusedSet(const Command &command);
    /// Marks the command's values stale and reads them from the camera.
    void readBack(const Command &command);
    /// A request that cannot go out as one frame: told once, never taken for the camera's
    /// answer. readBackSet: it was a set whose values the camera's may now replace.
    void withhold(const Command &command, const QByteArray &code, bool readBackSet);
    void reportScriptError(
        const QString &expression, const QString &backtrace, const QString &error);
    void startOfflinePoll();

    QString mCameraModel;
    QString mCameraType;
    QScriptEngine *mEngine = nullptr;
    std::unique_ptr<ScriptHost> mScripts;
    QMap<QString, QVariant> mCachedValues;
    QMap<QString, bool> mStaleFlags;
    QMap<QString, Command> mCommandMap;
    CommunicationThreadObject *mCommThread = nullptr;
    CommandChannel *mChannel = nullptr;
    QScopedPointer<CommandChannel> mOwnChannel;
    CameraDescriptionFile *mDescription = nullptr;
    // One registration; item is null once unregistered (until the list is compacted).
    struct Subscription
    {
        quint64 serial;
        ValueSubscriber *item;
    };
    // Per name, in registration order, so serials ascend: a subscription is found by binary
    // search, and appending keeps memory contiguous for trees with thousands of cells.
    struct Subscribers
    {
        QVector<Subscription> list;
        int removed = 0;
    };
    /// Index of the live subscription serial, or -1.
    static int findSubscription(const Subscribers &subscribers, quint64 serial);

    QHash<QString, Subscribers> mItemMap;
    // Per subscriber, its subscriptions (name and serial): unregistering costs only as much as
    // that subscriber has, not as much as the whole tree has.
    QHash<ValueSubscriber *, QVector<QPair<QString, quint64>>> mSubscriptions;
    quint64 mNextSubscription = 0;
    QStringList mScriptNames;
    TransferProgress *mProgress = nullptr;
    QTimer *mOfflineTimer = nullptr;
    int mOfflinePollInterval = 2500;
    qint64 mCameraWaitMs = 0;
    /// Blocking sets of the running list or region write that failed.
    int mRefusedWrites = 0;
    // Ids of the commands whose request was withheld and reported.
    QSet<QString> mWithheld;
};

#endif // CAMERADATABASE_H
