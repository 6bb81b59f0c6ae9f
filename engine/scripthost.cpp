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

// Globals besides the camera values that a straight-line expression may use: the library's
// functions and the language's plain values and conversions.
const char *const StraightLineGlobals[] = { "min", "max", "contains", "startsWith", "endsWith",
    "hexToDec", "decToHex", "true", "false", "null", "undefined", "NaN", "Infinity", "typeof",
    "Math", "Number", "String", "Boolean", "parseInt", "parseFloat", "isNaN", "isFinite" };

// Properties that lead to the function constructor or change how calls behave.
const char *const DeniedMembers[] = { "constructor", "prototype", "__proto__", "__defineGetter__",
    "__defineSetter__", "__lookupGetter__", "__lookupSetter__", "call", "apply", "bind", "caller",
    "callee", "arguments", "eval", "watch" };

// Longest first, so that the first match is the one the language reads. Assignments, "++",
// "--", brackets, braces and ";" are missing on purpose.
const char *const Operators[]
    = { ">>>", "===", "!==", "==", "!=", "<=", ">=", "&&", "||", "<<", ">>", "(", ")", ",", ".",
          "?", ":", "+", "-", "*", "/", "%", "<", ">", "!", "~", "&", "|", "^" };

bool isNameStart(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_')
        || c == QLatin1Char('$');
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

bool isDigit(QChar c, bool hex = false)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        || (hex
            && ((c >= QLatin1Char('a') && c <= QLatin1Char('f'))
                || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))));
}

} // namespace

struct ScriptHost::Message
{
    enum Type { None, Clear, Evaluate, Quit, ReadValue, ValueReady, Done };
    Type type = None;
    QString text;
    // With Evaluate: build an engine with these names first.
    bool rebuild = false;
    QStringList names;
    // Time the reply to a value request spent in camera exchanges.
    qint64 cameraMs = 0;
    Kind kind = Kind::Bool;
    Outcome outcome;
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
                if (mHost->mScript.watchdog)
                    mHost->mScript.watchdog->check();
            });
        mHost->serve(nullptr, nullptr);
        ScriptHost::dropEngine(mHost->mScript);
        qDeleteAll(mHost->mScript.retired);
        mHost->mScript.retired.clear();
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
    dropEngine(mCaller);
    qDeleteAll(mCaller.retired);
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
    case Message::Clear:
        dropEngine(mScript);
        break;
    case Message::Evaluate:
        if (message.rebuild) {
            dropEngine(mScript);
            createEngine(mScript, message.names, true);
        }
        done.outcome = runEvaluation(mScript, message.text, message.kind);
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
    ScriptWatchdog *watchdog = mScript.watchdog;
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
    dropEngine(mCaller);
    createEngine(mCaller, names, false);
    mNames = names;
    mGlobals = QSet<QString>(names.cbegin(), names.cend());
    for (const char *name : StraightLineGlobals)
        mGlobals.insert(QLatin1String(name));
    mStraightLine.clear();
    if (mScriptEngineCurrent) {
        Message request;
        request.type = Message::Clear;
        call(request);
        mScriptEngineCurrent = false;
    }
    return mCaller.engine;
}

void ScriptHost::clear()
{
    dropEngine(mCaller);
    mNames.clear();
    mGlobals.clear();
    mStraightLine.clear();
    if (mScriptEngineCurrent) {
        Message request;
        request.type = Message::Clear;
        call(request);
        mScriptEngineCurrent = false;
    }
}

bool ScriptHost::hasEngine() const
{
    return mCaller.engine != nullptr;
}

ScriptHost::Outcome ScriptHost::evaluate(const QString &expression, Kind kind)
{
    if (!mCaller.engine) {
        Outcome outcome;
        outcome.error = QStringLiteral("Error: no camera description is set");
        return outcome;
    }
    auto straight = mStraightLine.constFind(expression);
    if (straight == mStraightLine.constEnd())
        straight = mStraightLine.insert(expression, isStraightLine(expression, mGlobals));
    // Nothing to stop and no thread to cross.
    if (straight.value())
        return runEvaluation(mCaller, expression, kind);

    Message request;
    request.type = Message::Evaluate;
    request.text = expression;
    request.kind = kind;
    if (!mScriptEngineCurrent) {
        request.rebuild = true;
        request.names = mNames;
        mScriptEngineCurrent = true;
    }
    return call(request).outcome;
}

bool ScriptHost::isStraightLine(const QString &expression, const QSet<QString> &globals)
{
    static const QSet<QString> deniedMembers = [] {
        QSet<QString> names;
        for (const char *name : DeniedMembers)
            names.insert(QLatin1String(name));
        return names;
    }();
    const int n = expression.size();
    // An operand comes next: a "/" there would start a regular expression (or a comment).
    bool operand = true;
    // A "." came last: a property name comes next.
    bool member = false;
    // Open parentheses: the expression must not close more than it opened, so that it can be
    // the body of a function.
    int depth = 0;
    int i = 0;
    while (i < n) {
        const QChar c = expression.at(i);
        // A line break may end a statement.
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
            || c == QChar::ParagraphSeparator)
            return false;
        if (c.isSpace()) {
            ++i;
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            if (member)
                return false;
            bool closed = false;
            for (++i; i < n && !closed; ++i) {
                const QChar d = expression.at(i);
                if (d == QLatin1Char('\\'))
                    ++i;
                else if (d == c)
                    closed = true;
                else if (d == QLatin1Char('\n') || d == QLatin1Char('\r'))
                    return false;
            }
            if (!closed)
                return false;
            operand = false;
            continue;
        }
        if (isDigit(c) || (c == QLatin1Char('.') && i + 1 < n && isDigit(expression.at(i + 1)))) {
            if (member)
                return false;
            if (c == QLatin1Char('0') && i + 1 < n
                && expression.at(i + 1).toLower() == QLatin1Char('x')) {
                for (i += 2; i < n && isDigit(expression.at(i), true); ++i) { }
            } else {
                while (i < n && isDigit(expression.at(i)))
                    ++i;
                if (i < n && expression.at(i) == QLatin1Char('.')) {
                    for (++i; i < n && isDigit(expression.at(i)); ++i) { }
                }
                if (i < n && expression.at(i).toLower() == QLatin1Char('e')) {
                    ++i;
                    if (i < n
                        && (expression.at(i) == QLatin1Char('+')
                            || expression.at(i) == QLatin1Char('-')))
                        ++i;
                    while (i < n && isDigit(expression.at(i)))
                        ++i;
                }
            }
            // A name glued to a number is read differently by the language.
            if (i < n && isNameChar(expression.at(i)))
                return false;
            operand = false;
            continue;
        }
        if (isNameStart(c)) {
            int end = i;
            while (end < n && isNameChar(expression.at(end)))
                ++end;
            const QString name = expression.mid(i, end - i);
            if (member ? deniedMembers.contains(name) : !globals.contains(name))
                return false;
            operand = !member && name == QLatin1String("typeof");
            member = false;
            i = end;
            continue;
        }
        if (member)
            return false;
        const QStringRef rest = expression.midRef(i);
        const char *found = nullptr;
        for (const char *op : Operators) {
            if (rest.startsWith(QLatin1String(op))) {
                found = op;
                break;
            }
        }
        if (!found)
            return false;
        const QLatin1String op(found);
        // "++" and "--" change a value; a "/" where an operand belongs is a regular expression.
        if ((op == QLatin1String("+") || op == QLatin1String("-")) && rest.size() > 1
            && rest.at(1) == c)
            return false;
        if (op == QLatin1String("/") && operand)
            return false;
        if (op == QLatin1String("("))
            ++depth;
        else if (op == QLatin1String(")") && --depth < 0)
            return false;
        i += op.size();
        member = op == QLatin1String(".");
        operand = op != QLatin1String(")");
    }
    return !member && depth == 0;
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

// ---- Either thread ----

void ScriptHost::dropEngine(Context &context)
{
    context.programs.clear();
    context.functions.clear();
    context.watchdog = nullptr;
    if (!context.engine)
        return;
    // A description change while a value is read for a running script: that engine is still
    // on the stack and goes when the outermost evaluation has ended.
    if (context.depth > 0)
        context.retired.append(context.engine);
    else
        delete context.engine;
    context.engine = nullptr;
}

void ScriptHost::createEngine(Context &context, const QStringList &names, bool watched)
{
    auto *engine = new QScriptEngine;
    if (watched) {
        engine->setProcessEventsInterval(CheckIntervalMs);
        // Installed before anything is compiled, so that every statement and call is watched.
        context.watchdog = new ScriptWatchdog(engine);
        engine->setAgent(context.watchdog);
    }

    // Comparisons and arithmetic reach a value through valueOf; as a plain native function it
    // costs half of what the slot costs when called through the meta-object.
    const QScriptValue valueOf = engine->newFunction([](QScriptContext *context, QScriptEngine *) {
        auto *value = qobject_cast<ScriptedCameraValue *>(context->thisObject().toQObject());
        return value ? value->valueOf()
                     : context->throwError(QScriptContext::TypeError,
                         QStringLiteral("valueOf called on something else than a camera value"));
    });
    for (const QString &name : names) {
        QScriptValue object = engine->newQObject(
            new ScriptedCameraValue(name, mDatabase), QScriptEngine::ScriptOwnership);
        object.setProperty(QStringLiteral("valueOf"), valueOf);
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
    context.engine = engine;
}

ScriptHost::Outcome ScriptHost::runEvaluation(
    Context &context, const QString &expression, Kind kind)
{
    Outcome outcome;
    if (!context.engine) {
        outcome.error = QStringLiteral("Error: no camera description is set");
        return outcome;
    }
    QScriptEngine *engine = context.engine;
    ScriptWatchdog *watchdog = context.watchdog;
    QScriptValue function;
    if (!watchdog) {
        // A straight-line expression as the body of a function is called many times faster
        // than it runs as a program. One that does not compile so is left to the program,
        // which reports it as always.
        auto made = context.functions.constFind(expression);
        if (made == context.functions.constEnd()) {
            QScriptValue candidate = engine->evaluate(
                QStringLiteral("(function(){ return (%1\n); })").arg(expression), QString(), 1);
            if (!candidate.isFunction()) {
                engine->clearExceptions();
                candidate = QScriptValue();
            }
            made = context.functions.insert(expression, candidate);
        }
        function = made.value();
    }
    QScriptProgram program;
    if (!function.isValid()) {
        auto found = context.programs.constFind(expression);
        if (found == context.programs.constEnd())
            found = context.programs.insert(expression, QScriptProgram(expression, QString(), 1));
        program = found.value();
    }

    if (watchdog) {
        watchdog->setTimeLimit(timeLimit());
        watchdog->enter();
    }
    ++context.depth;
    const QScriptValue result = function.isValid() ? function.call() : engine->evaluate(program);
    outcome.timedOut = watchdog && watchdog->timedOut();
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
        if (context.depth > 1)
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
    if (watchdog)
        watchdog->leave();
    outcome.ok = !failed;
    if (--context.depth == 0) {
        qDeleteAll(context.retired);
        context.retired.clear();
    }
    return outcome;
}
