#include "engine/scripthost.h"

#include "engine/cameradatabase.h"
#include "engine/scriptedcameravalue.h"
#include "engine/scriptwatchdog.h"

#include <QAbstractEventDispatcher>
#include <QDebug>
#include <QFile>
#include <QScriptEngine>
#include <QThread>

namespace {

const char *const ScriptResource = ":/script/basicScript.js";
// How often a running script looks at the clock when it executes no statement of its own
// (an empty loop); the checks process the script thread's event queue, which is empty.
const int CheckIntervalMs = 20;

} // namespace

struct ScriptHost::Message
{
    enum Type { None, Rebuild, Clear, Evaluate, Quit, ReadValue, ValueReady, Done };
    Type type = None;
    QString text;
    QStringList names;
    // Time the reply to a value request spent in camera exchanges.
    qint64 cameraMs = 0;
    Kind kind = Kind::Bool;
    Outcome outcome;
    QScriptEngine *engine = nullptr;
};

class ScriptHost::Thread : public QThread
{
public:
    explicit Thread(ScriptHost *host)
        : mHost(host)
    { }

protected:
    void run() override
    {
        QObject::connect(
            QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [this] {
                if (mHost->mWatchdog)
                    mHost->mWatchdog->check();
            });
        mHost->serve(nullptr, nullptr);
        mHost->dropEngine();
        qDeleteAll(mHost->mRetired);
        mHost->mRetired.clear();
    }

private:
    ScriptHost *mHost;
};

ScriptHost::ScriptHost(CameraDatabase *database)
    : mDatabase(database)
    , mThread(new Thread(this))
    , mToScript(new Message)
    , mToCaller(new Message)
{
    mThread->setObjectName(QStringLiteral("Script engine"));
    mThread->start();
}

ScriptHost::~ScriptHost()
{
    Message quit;
    quit.type = Message::Quit;
    post(mToScript.get(), quit);
    mThread->wait();
}

void ScriptHost::post(Message *slot, const Message &message)
{
    QMutexLocker lock(&mMutex);
    *slot = message;
    mWake.wakeAll();
}

ScriptHost::Message ScriptHost::call(const Message &request)
{
    post(mToScript.get(), request);
    QMutexLocker lock(&mMutex);
    for (;;) {
        while (mToCaller->type == Message::None)
            mWake.wait(&mMutex);
        Message reply = *mToCaller;
        *mToCaller = Message();
        if (reply.type == Message::Done)
            return reply;
        // The script wants a camera value: read it here, in the database's thread.
        lock.unlock();
        Message value;
        value.type = Message::ValueReady;
        const qint64 before = mDatabase->cameraWaitMs();
        value.text = mDatabase->getValueWait(reply.text).toString();
        value.cameraMs = mDatabase->cameraWaitMs() - before;
        lock.relock();
        *mToScript = value;
        mWake.wakeAll();
    }
}

void ScriptHost::serve(QString *valueReady, qint64 *cameraMs)
{
    QMutexLocker lock(&mMutex);
    for (;;) {
        while (mToScript->type == Message::None)
            mWake.wait(&mMutex);
        const Message message = *mToScript;
        *mToScript = Message();
        if (message.type == Message::Quit)
            return;
        if (message.type == Message::ValueReady) {
            if (valueReady) {
                *valueReady = message.text;
                *cameraMs = message.cameraMs;
                return;
            }
            continue;
        }
        lock.unlock();
        handle(message);
        lock.relock();
    }
}

void ScriptHost::handle(const Message &message)
{
    Message done;
    done.type = Message::Done;
    switch (message.type) {
    case Message::Rebuild:
        dropEngine();
        done.engine = createEngine(message.names);
        break;
    case Message::Clear:
        dropEngine();
        break;
    case Message::Evaluate:
        done.outcome = runEvaluation(message.text, message.kind);
        break;
    default:
        break;
    }
    post(mToCaller.get(), done);
}

QString ScriptHost::readValue(const QString &id)
{
    if (!isScriptThread())
        return mDatabase->getValueWait(id).toString();
    ScriptWatchdog *watchdog = mWatchdog;
    Message request;
    request.type = Message::ReadValue;
    request.text = id;
    post(mToCaller.get(), request);
    QString value;
    qint64 cameraMs = 0;
    serve(&value, &cameraMs);
    // Waiting for the camera is not the script's own time.
    if (watchdog)
        watchdog->exclude(cameraMs);
    return value;
}

bool ScriptHost::isScriptThread() const
{
    return QThread::currentThread() == mThread.get();
}

QScriptEngine *ScriptHost::rebuild(const QStringList &names)
{
    Message request;
    request.type = Message::Rebuild;
    request.names = names;
    QScriptEngine *engine = call(request).engine;
    QMutexLocker lock(&mMutex);
    mHasEngine = engine != nullptr;
    return engine;
}

void ScriptHost::clear()
{
    Message request;
    request.type = Message::Clear;
    call(request);
    QMutexLocker lock(&mMutex);
    mHasEngine = false;
}

bool ScriptHost::hasEngine() const
{
    QMutexLocker lock(&mMutex);
    return mHasEngine;
}

ScriptHost::Outcome ScriptHost::evaluate(const QString &expression, Kind kind)
{
    Message request;
    request.type = Message::Evaluate;
    request.text = expression;
    request.kind = kind;
    return call(request).outcome;
}

void ScriptHost::setTimeLimit(int ms)
{
    QMutexLocker lock(&mMutex);
    mTimeLimit = ms;
}

int ScriptHost::timeLimit() const
{
    QMutexLocker lock(&mMutex);
    return mTimeLimit;
}

// ---- Script thread ----

void ScriptHost::dropEngine()
{
    mPrograms.clear();
    mWatchdog = nullptr;
    if (!mEngine)
        return;
    // A description change while a value is read for a running script: that engine is still
    // on the stack and goes when the outermost evaluation has ended.
    if (mDepth > 0)
        mRetired.append(mEngine);
    else
        delete mEngine;
    mEngine = nullptr;
}

QScriptEngine *ScriptHost::createEngine(const QStringList &names)
{
    auto *engine = new QScriptEngine;
    engine->setProcessEventsInterval(CheckIntervalMs);
    // Installed before anything is compiled, so that every statement and call is watched.
    auto *watchdog = new ScriptWatchdog(engine);
    engine->setAgent(watchdog);

    for (const QString &name : names) {
        QScriptValue object = engine->newQObject(
            new ScriptedCameraValue(name, mDatabase), QScriptEngine::ScriptOwnership);
        engine->globalObject().setProperty(name, object);
    }

    QFile library(QString::fromLatin1(ScriptResource));
    if (library.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromUtf8(library.readAll());
        const QScriptValue result = engine->evaluate(text, QString::fromLatin1(ScriptResource), 0);
        if (result.isError() || engine->hasUncaughtException()) {
            qDebug().noquote() << engine->uncaughtExceptionBacktrace().join(QLatin1Char('\n'));
            qDebug().noquote() << QStringLiteral("Error loading basic script: ")
                    + result.toString();
            engine->clearExceptions();
        }
    }
    mEngine = engine;
    mWatchdog = watchdog;
    return engine;
}

ScriptHost::Outcome ScriptHost::runEvaluation(const QString &expression, Kind kind)
{
    Outcome outcome;
    if (!mEngine) {
        outcome.error = QStringLiteral("Error: no camera description is set");
        return outcome;
    }
    auto found = mPrograms.constFind(expression);
    if (found == mPrograms.constEnd())
        found = mPrograms.insert(expression, QScriptProgram(expression, QString(), 1));
    const QScriptProgram program = found.value();

    QScriptEngine *engine = mEngine;
    ScriptWatchdog *watchdog = mWatchdog;
    watchdog->setTimeLimit(timeLimit());
    watchdog->enter();
    ++mDepth;
    const QScriptValue result = engine->evaluate(program);
    outcome.timedOut = watchdog->timedOut();
    // An invalid result means the evaluation was stopped from outside its own frame.
    const bool failed = outcome.timedOut || !result.isValid() || result.isError()
        || engine->hasUncaughtException();
    if (failed) {
        outcome.backtrace = engine->uncaughtExceptionBacktrace().join(QLatin1Char('\n'));
        if (outcome.timedOut)
            outcome.error = QStringLiteral("Error: evaluation aborted after %1 ms")
                                .arg(watchdog->timeLimit());
        else if (!result.isValid())
            outcome.error = QStringLiteral("Error: evaluation aborted");
        else
            outcome.error = result.toString();
        engine->clearExceptions();
        // The engine keeps an abort pending until its next evaluation starts; a script that
        // is still running further out must not be stopped by it.
        if (mDepth > 1)
            engine->evaluate(QString());
    } else if (kind == Kind::Bool) {
        // A camera value stands for its text (true when not empty), not for an object, which
        // would always be true.
        if (auto *value = qobject_cast<ScriptedCameraValue *>(result.toQObject()))
            outcome.boolValue = !value->toString().isEmpty();
        else
            outcome.boolValue = result.toBool();
    } else {
        outcome.number = result.toInteger();
    }
    watchdog->leave();
    outcome.ok = !failed;
    if (--mDepth == 0) {
        qDeleteAll(mRetired);
        mRetired.clear();
    }
    return outcome;
}
