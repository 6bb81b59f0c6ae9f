#include "engine/cameradatabase.h"

#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "description/cameradescriptionfile.h"
#include "engine/commandrequest.h"
#include "engine/commthreadchannel.h"
#include "engine/scriptedcameravalue.h"
#include "engine/scripthost.h"
#include "engine/transferprogress.h"
#include "engine/valuesubscriber.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

// The resources of a static library must be registered by hand, outside any namespace.
static void initCoreResources()
{
    Q_INIT_RESOURCE(core);
}

namespace {

const char *const IdentificationId = "intrnal_cmd_ident";

// A region lies within the int range: no negative position or size, and no right or bottom
// edge beyond it. Anything else is refused before QRect does arithmetic on it.
bool regionFrom(qint64 x, qint64 y, qint64 width, qint64 height, QRect *region)
{
    const qint64 limit = std::numeric_limits<int>::max();
    if (x < 0 || y < 0 || width < 0 || height < 0 || x + width > limit || y + height > limit)
        return false;
    *region = QRect(int(x), int(y), int(width), int(height));
    return true;
}

} // namespace

CameraDatabase::CameraDatabase(CommunicationThreadObject *comm, QObject *parent)
    : QObject(parent)
    , mCommThread(comm)
    , mOwnChannel(new CommThreadChannel(comm))
{
    mChannel = mOwnChannel.data();
    init();
    if (comm) {
        connect(
            comm, &CommunicationThreadObject::receivedReply, this, &CameraDatabase::processReply);
        connect(comm, &CommunicationThreadObject::onlineModeChanged, this,
            &CameraDatabase::onOnlineModeChanged);
    }
}

CameraDatabase::CameraDatabase(CommandChannel *channel, QObject *parent)
    : QObject(parent)
    , mChannel(channel)
{
    init();
}

CameraDatabase::~CameraDatabase()
{
    // The engine's value objects point back here: stop the script thread first.
    mScripts.reset();
}

void CameraDatabase::init()
{
    initCoreResources();
    mScripts.reset(new ScriptHost(this));
    mOfflineTimer = new QTimer(this);
    mOfflineTimer->setSingleShot(true);
    connect(mOfflineTimer, &QTimer::timeout, this, &CameraDatabase::checkOnline);
}

void CameraDatabase::setDescription(
    CameraDescriptionFile *description, const QString &model, const QString &type)
{
    mDescription = description;
    mCameraModel = model;
    mCameraType = type;
    mCachedValues.clear();
    mCommandMap.clear();
    mItemMap.clear();
    mSubscriptions.clear();
    mScriptNames.clear();
    mWithheld.clear();

    if (description) {
        const QList<Command> commands = description->commands();
        for (const Command &command : commands) {
            mCommandMap.insert(command.id, command);
            for (const QList<CommandParameter> *list : { &command.paramsGet, &command.paramsSet,
                     &command.returnValueGet, &command.returnValueSet }) {
                for (const CommandParameter &parameter : *list) {
                    if (parameter.type == CommandParameterType::Const)
                        continue;
                    mScriptNames.append(parameter.id);
                    mCommandMap.insert(parameter.id, command);
                }
            }
        }
        if (!mCommandMap.contains(QStringLiteral("ID"))) {
            Command identification;
            identification.id = QLatin1String(IdentificationId);
            identification.code = "ID";
            CommandParameter result;
            result.type = CommandParameterType::String;
            result.id = QStringLiteral("ID");
            identification.returnValueGet.append(result);
            mCommandMap.insert(QStringLiteral("ID"), identification);
            mCommandMap.insert(identification.id, identification);
            mScriptNames.append(QStringLiteral("ID"));
        }
    }

    mScriptNames.sort();
    mScriptNames.removeDuplicates();

    mEngine = createScriptEngine();
}

QVariant CameraDatabase::getValue(const QString &id)
{
    if (!mCachedValues.contains(id) || mStaleFlags.value(id))
        doGetValue(id);
    return mCachedValues[id];
}

QVariant CameraDatabase::getValueWait(const QString &id)
{
    if (!mCachedValues.contains(id) || mStaleFlags.value(id))
        doGetValueWait(id);
    return mCachedValues[id];
}

void CameraDatabase::setValue(const QString &id, const QVariant &value)
{
    if (mCachedValues[id] == value)
        return;
    mCachedValues[id] = value;
    if (!mCommandMap.value(id).cachedUpdate)
        doSetValue(id);
    mStaleFlags[id] = true;
    updateCachedValue(id, value);
}

void CameraDatabase::refreshValue(const QString &id)
{
    mStaleFlags[id] = true;
    doGetValue(id);
}

void CameraDatabase::registerItem(const QString &id, ValueSubscriber *item)
{
    if (!item)
        return;
    const quint64 serial = mNextSubscription++;
    mItemMap[id].list.append({ serial, item });
    mSubscriptions[item].append(qMakePair(id, serial));
}

int CameraDatabase::findSubscription(const Subscribers &subscribers, quint64 serial)
{
    const auto begin = subscribers.list.constBegin();
    const auto end = subscribers.list.constEnd();
    const auto found = std::lower_bound(begin, end, serial,
        [](const Subscription &s, quint64 wanted) { return s.serial < wanted; });
    return found != end && found->serial == serial && found->item ? int(found - begin) : -1;
}

void CameraDatabase::unregisterItem(ValueSubscriber *item)
{
    const auto found = mSubscriptions.find(item);
    if (found == mSubscriptions.end())
        return;
    const QVector<QPair<QString, quint64>> subscriptions = found.value();
    mSubscriptions.erase(found);
    for (const auto &subscription : subscriptions) {
        const auto names = mItemMap.find(subscription.first);
        if (names == mItemMap.end())
            continue;
        Subscribers &subscribers = *names;
        const int index = findSubscription(subscribers, subscription.second);
        if (index < 0)
            continue;
        subscribers.list[index].item = nullptr;
        ++subscribers.removed;
        if (subscribers.removed == subscribers.list.size()) {
            mItemMap.erase(names);
        } else if (2 * subscribers.removed > subscribers.list.size()) {
            // Compacting only when most are gone keeps removal amortised constant.
            subscribers.list.erase(std::remove_if(subscribers.list.begin(), subscribers.list.end(),
                                       [](const Subscription &s) { return !s.item; }),
                subscribers.list.end());
            subscribers.removed = 0;
        }
    }
}

int CameraDatabase::subscriptionCount(const QString &id) const
{
    const auto found = mItemMap.constFind(id);
    return found == mItemMap.constEnd() ? 0 : found->list.size() - found->removed;
}

void CameraDatabase::setFastFailure(bool on)
{
    if (mChannel)
        mChannel->setRetries(on ? 0 : 2);
}

CameraDatabase::ValueState CameraDatabase::valueState(const QString &id) const
{
    if (!mCachedValues.contains(id))
        return ValueState::Absent;
    return mStaleFlags.value(id) ? ValueState::Stale : ValueState::Cached;
}

QVariant CameraDatabase::cachedValue(const QString &id) const
{
    return mCachedValues.value(id);
}

void CameraDatabase::doGetValue(const QString &id)
{
    sendRequest(id, true, false, "doGetValue()");
}

void CameraDatabase::doSetValue(const QString &id)
{
    sendRequest(id, false, false, "doSetValue()");
}

void CameraDatabase::doGetValueWait(const QString &id)
{
    sendRequest(id, true, true, "doGetValueWait()");
}

void CameraDatabase::doSetValueWait(const QString &id)
{
    sendRequest(id, false, true, "doSetValueWait()");
}

void CameraDatabase::sendRequest(const QString &id, bool get, bool wait, const char *operation)
{
    // A copy: a description change during the exchange cannot alter the request.
    const Command command = mCommandMap.value(id);
    if (!CommandRequest::canBuild(command)) {
        qDebug().noquote() << QLatin1String(operation) + QStringLiteral(" unknown parameter: ")
                + id;
        return;
    }
    const CommandRequest request = get ? CommandRequest::forGet(command, mCachedValues)
                                       : CommandRequest::forSet(command, mCachedValues);
    if (!mChannel)
        return;
    if (!AbstractCommunicator::isOneFrame(request.code, request.args)) {
        // As for a blocking set the camera refused, transfers read nothing back.
        withhold(command, request.code, !get && !wait);
        return;
    }
    if (!wait) {
        mChannel->sendCommand(request.id, request.code, request.args, request.expectReply);
        return;
    }
    QVariantList reply;
    QElapsedTimer clock;
    clock.start();
    const bool success
        = mChannel->sendCommandDirect(request.code, request.args, request.expectReply, &reply);
    mCameraWaitMs += clock.elapsed();
    if (!get && !success)
        ++mRefusedWrites;
    // The reply to a blocking set is not decoded: list and region writes would otherwise
    // announce every entry.
    if (get && success)
        processReply(request.id, request.code, AbstractCommunicator::Success, reply);
}

void CameraDatabase::processReply(const QString &id, const QByteArray &code,
    AbstractCommunicator::Result result, const QVariantList &args)
{
    const auto found = mCommandMap.constFind(id);
    if (found == mCommandMap.constEnd())
        return;
    const Command command = found.value();
    const bool isGet = CommandRequest::isGet(code);
    if (result == AbstractCommunicator::Failure) {
        if (!isGet)
            readBackRefusedSet(command);
        return;
    }

    updateCmdExecuted(id);

    const ReplyValues reply = CommandRequest::decode(command, isGet, args);
    int missingFrom = reply.values.size() - reply.missing;
    for (int i = 0; i < reply.values.size(); ++i) {
        if (i >= missingFrom) {
            qDebug().noquote() << id << QString::fromLatin1(code)
                               << QStringLiteral("Returned less parameters than expected");
        }
        updateCachedValue(reply.values.at(i).first, reply.values.at(i).second);
    }
    if (reply.extra > 0) {
        qDebug().noquote() << id << QString::fromLatin1(code)
                           << QStringLiteral("Returned more parameters than expected");
    }

    if (!isGet && !command.returnValueGet.isEmpty())
        doGetValue(command.id);
}

void CameraDatabase::readBackRefusedSet(const Command &command)
{
    // The cache holds what the user entered; left alone, a refused or unanswered set would stay
    // on screen as if the camera had taken it (for ever, when the value is cacheable).
    QStringList names;
    for (const CommandParameter &parameter : command.paramsSet) {
        if (parameter.type != CommandParameterType::Const && !parameter.id.isEmpty())
            names.append(parameter.id);
    }
    QString line = names.isEmpty()
        ? QStringLiteral("The camera did not take the command %1").arg(command.id)
        : QStringLiteral("The camera did not take the value of %1").arg(names.join(", "));
    const bool canRead = !command.returnValueGet.isEmpty();
    if (canRead)
        line += QStringLiteral("; reading back what it holds");
    Console::logNotice(line);
    if (canRead)
        readBack(command);
}

void CameraDatabase::readBack(const Command &command)
{
    // Stale until the camera's answer is stored, so that even an unchanged answer is shown and
    // a failed read is tried again.
    for (const CommandParameter &parameter : command.returnValueGet) {
        if (parameter.type != CommandParameterType::Const && mCachedValues.contains(parameter.id))
            mStaleFlags[parameter.id] = true;
    }
    doGetValue(command.id);
}

void CameraDatabase::withhold(const Command &command, const QByteArray &code, bool readBackSet)
{
    // The camera never saw it: no answer to report, and sending it again on every refresh
    // would only repeat the refusal.
    if (!mWithheld.contains(command.id)) {
        mWithheld.insert(command.id);
        AbstractCommunicator::reportNotSent(code);
    }
    emit requestNotSent(QString::fromLatin1(code));
    // The cache holds the value that never left; show the camera's, if its read can go out.
    if (!readBackSet || command.returnValueGet.isEmpty())
        return;
    const CommandRequest read = CommandRequest::forGet(command, mCachedValues);
    if (AbstractCommunicator::isOneFrame(read.code, read.args))
        readBack(command);
}

void CameraDatabase::updateCachedValue(const QString &id, const QVariant &val)
{
    const bool changed = mCachedValues[id] != val || mStaleFlags.value(id);
    if (!changed)
        return;
    mStaleFlags[id] = false;
    mCachedValues[id] = val;
    notify(id, val);
    emit valueUpdate(id, val);
}

void CameraDatabase::updateCmdExecuted(const QString &id)
{
    notify(id, QVariant());
}

void CameraDatabase::notify(const QString &id, const QVariant &value)
{
    // A copy, since a subscriber may subscribe or unsubscribe others while being told; one that
    // was unsubscribed meanwhile (and may be gone) is skipped.
    const QVector<Subscription> items = mItemMap.value(id).list;
    for (const Subscription &subscription : items) {
        if (!subscription.item)
            continue;
        const auto current = mItemMap.constFind(id);
        if (current == mItemMap.constEnd() || findSubscription(*current, subscription.serial) < 0)
            continue;
        subscription.item->valueChanged(id, value);
    }
}

void CameraDatabase::onOnlineModeChanged(bool online)
{
    if (!online)
        mOfflineTimer->start(mOfflinePollInterval);
}

bool CameraDatabase::isPollingOffline() const
{
    return mOfflineTimer->isActive();
}

void CameraDatabase::checkOnline()
{
    if (mChannel && mChannel->isOnline())
        return;
    doGetValue(QStringLiteral("ID"));
    mOfflineTimer->start(mOfflinePollInterval);
}

// ---- Expressions ----

QScriptEngine *CameraDatabase::createScriptEngine()
{
    return mScripts->rebuild(mScriptNames);
}

bool CameraDatabase::hasScriptEngine() const
{
    return mScripts->hasEngine();
}

void CameraDatabase::setScriptTimeLimit(int ms)
{
    mScripts->setTimeLimit(ms);
}

int CameraDatabase::scriptTimeLimit() const
{
    return mScripts->timeLimit();
}

bool CameraDatabase::evaluateBool(const QString &expression)
{
    if (expression.isEmpty())
        return true;
    const ScriptHost::Outcome outcome = mScripts->evaluate(expression, ScriptHost::Kind::Bool);
    if (!outcome.ok) {
        reportScriptError(expression, outcome.backtrace, outcome.error);
        return false;
    }
    return outcome.boolValue;
}

int CameraDatabase::evaluateInt(const QString &expression)
{
    if (expression.isEmpty())
        return 0;
    const ScriptHost::Outcome outcome = mScripts->evaluate(expression, ScriptHost::Kind::Int);
    if (!outcome.ok) {
        reportScriptError(expression, outcome.backtrace, outcome.error);
        return 0;
    }
    const double number = outcome.number;
    if (!std::isfinite(number) || number < double(std::numeric_limits<int>::min())
        || number > double(std::numeric_limits<int>::max())) {
        reportScriptError(expression, QString(),
            QStringLiteral("RangeError: result %1 is outside the integer range").arg(number));
        return 0;
    }
    return int(number);
}

QString CameraDatabase::readScriptValue(const QString &id)
{
    return mScripts->readValue(id);
}

void CameraDatabase::reportScriptError(
    const QString &expression, const QString &backtrace, const QString &error)
{
    qDebug().noquote() << QStringLiteral("Error evaluating expression: ") + expression;
    qDebug().noquote() << backtrace;
    qDebug().noquote() << error;
}

// ---- Lists and regions ----

bool CameraDatabase::loadList(
    QStringList &out, int count, const QString &getId, const QString &indexId)
{
    const QString title = QStringLiteral("Loading list from camera");
    out.clear();
    bool cancelled = false;
    if (mProgress)
        mProgress->begin(title, count);
    for (int i = 0; i < count; ++i) {
        if (mProgress
            && mProgress->update(
                i, QStringLiteral("Loading list from camera (%1/%2)").arg(i).arg(count))) {
            cancelled = true;
            break;
        }
        if (!indexId.isEmpty())
            mCachedValues[indexId] = i;
        doGetValueWait(getId);
        out.append(mCachedValues[getId].toString());
    }
    if (mProgress)
        mProgress->end();
    return !cancelled;
}

bool CameraDatabase::saveList(const QStringList &list, const QString &indexId,
    const QString &startId, const QString &endId, const QString &setId)
{
    const QString title = QStringLiteral("Saving list to camera");
    const int size = list.size();
    bool cancelled = false;
    mRefusedWrites = 0;
    if (mProgress)
        mProgress->begin(title, size);
    if (!startId.isEmpty())
        doSetValueWait(startId);
    for (int i = 0; i < size; ++i) {
        if (mProgress
            && mProgress->update(
                i, QStringLiteral("Saving list to camera (%1/%2)").arg(i).arg(size))) {
            cancelled = true;
            break;
        }
        if (!indexId.isEmpty())
            mCachedValues[indexId] = i;
        bool ok = false;
        const int entry = list.at(i).toInt(&ok, 10);
        mCachedValues[setId] = ok ? entry : 0;
        doSetValueWait(setId);
    }
    if (!endId.isEmpty())
        doSetValueWait(endId);
    if (mProgress)
        mProgress->end();
    reportRefusedWrites(title);
    return !cancelled;
}

bool CameraDatabase::loadRoi(QList<QRect> &out, int count, const QString &indexId,
    const QString &xId, const QString &yId, const QString &widthId, const QString &heightId,
    const QString &getCommandId)
{
    const QString title = QStringLiteral("Loading regions from camera");
    out.clear();
    bool cancelled = false;
    if (mProgress)
        mProgress->begin(title, count);
    for (int i = 0; i < count; ++i) {
        if (mProgress
            && mProgress->update(i, QStringLiteral("%1 (%2/%3)").arg(title).arg(i).arg(count))) {
            cancelled = true;
            break;
        }
        if (!indexId.isEmpty())
            mCachedValues[indexId] = i;
        doGetValueWait(getCommandId.isEmpty() ? xId : getCommandId);
        const QVariant values[] = { mCachedValues[xId], mCachedValues[yId], mCachedValues[widthId],
            mCachedValues[heightId] };
        qint64 numbers[4] = {};
        bool ok = true;
        for (int v = 0; v < 4 && ok; ++v)
            numbers[v] = values[v].toLongLong(&ok);
        QRect region;
        if (!ok || !regionFrom(numbers[0], numbers[1], numbers[2], numbers[3], &region)) {
            const QString what = QStringLiteral("Region %1 read from the camera is no region, "
                                                "taken as empty:")
                                     .arg(i);
            qDebug().noquote() << what << values[0].toString() << values[1].toString()
                               << values[2].toString() << values[3].toString();
        }
        // An unusable region still takes its place, so that the others keep their numbers.
        out.append(region);
    }
    if (mProgress)
        mProgress->end();
    return !cancelled;
}

bool CameraDatabase::saveRoi(const QList<QRect> &regions, int count, const QString &xId,
    const QString &yId, const QString &widthId, const QString &heightId, const QString &startId,
    const QString &endId, const QString &setCommandId)
{
    const QString title = QStringLiteral("Saving regions to camera");
    bool cancelled = false;
    mRefusedWrites = 0;
    if (mProgress)
        mProgress->begin(title, count);
    if (!startId.isEmpty())
        doSetValueWait(startId);
    for (int i = 0; i < count; ++i) {
        if (mProgress
            && mProgress->update(i, QStringLiteral("%1 (%2/%3)").arg(title).arg(i).arg(count))) {
            cancelled = true;
            break;
        }
        QRect region;
        if (i < regions.size()) {
            // From the corners: width() itself overflows on a rectangle spanning the int range.
            const QRect &given = regions.at(i);
            if (!regionFrom(given.left(), given.top(), qint64(given.right()) - given.left() + 1,
                    qint64(given.bottom()) - given.top() + 1, &region)) {
                qDebug().noquote() << QStringLiteral("Region %1 is no region (corners %2,%3 and "
                                                     "%4,%5), not written")
                                          .arg(i)
                                          .arg(given.left())
                                          .arg(given.top())
                                          .arg(given.right())
                                          .arg(given.bottom());
                continue;
            }
        }
        mCachedValues[xId] = region.x();
        mCachedValues[yId] = region.y();
        mCachedValues[widthId] = region.width();
        mCachedValues[heightId] = region.height();
        doSetValueWait(setCommandId.isEmpty() ? xId : setCommandId);
    }
    if (!endId.isEmpty())
        doSetValueWait(endId);
    if (mProgress)
        mProgress->end();
    reportRefusedWrites(title);
    return !cancelled;
}

void CameraDatabase::reportRefusedWrites(const QString &transfer)
{
    // A transfer goes on past a refused entry; without this line the user would take the camera
    // to hold the whole table.
    if (mRefusedWrites > 0)
        Console::logNotice(QStringLiteral("%1: the camera did not take %2 of the commands sent")
                               .arg(transfer)
                               .arg(mRefusedWrites));
    mRefusedWrites = 0;
}
