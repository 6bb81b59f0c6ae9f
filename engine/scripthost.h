#ifndef SCRIPTHOST_H
#define SCRIPTHOST_H

#include <QHash>
#include <QMutex>
#include <QScriptProgram>
#include <QScriptValue>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <memory>

class CameraDatabase;
class QScriptEngine;
class QThread;
class ScriptWatchdog;

/// Evaluates expressions so that a runaway one can always be stopped without running the user
/// interface's event loop. Expressions that cannot loop (known names, literals and operators
/// only) run at once in the calling thread, in an engine of their own. Everything else runs in
/// an engine in a thread of its own, whose periodic checks process only that thread's (empty)
/// event queue; the calling thread waits and meanwhile performs the camera reads the script asks
/// for, so the database is only ever touched in its own thread. Calls alternate strictly
/// between the two threads; an evaluation may nest inside a camera read (a reply handler
/// evaluating another expression).
class ScriptHost
{
public:
    enum class Kind { Bool, Int };

    /// Result of one evaluation, converted in the script thread.
    struct Outcome
    {
        bool ok = false;
        bool timedOut = false;
        bool boolValue = false;
        /// The result as a number with its fraction cut off (toInteger).
        double number = 0.0;
        QString error;
        QString backtrace;
    };

    explicit ScriptHost(CameraDatabase *database);
    ~ScriptHost();
    ScriptHost(const ScriptHost &) = delete;
    ScriptHost &operator=(const ScriptHost &) = delete;

    /// Replaces the engines by new ones with one global per name and the library functions.
    /// Returns the calling thread's engine; the script thread's is built when first needed.
    QScriptEngine *rebuild(const QStringList &names);
    /// Deletes the engines (no description).
    void clear();
    bool hasEngine() const;
    Outcome evaluate(const QString &expression, Kind kind);

    void setTimeLimit(int ms);
    int timeLimit() const;

    /// Called in the script thread by the value objects: has the waiting thread read id.
    QString readValue(const QString &id);
    bool isScriptThread() const;

    /// True when expression is made only of the given global names, literals and operators
    /// (no loops, functions, assignments or ways to make code at run time), so that it ends
    /// after a bounded number of steps.
    static bool isStraightLine(const QString &expression, const QSet<QString> &globals);

private:
    struct Message;
    class Thread;

    /// One engine with its compiled programs; each thread has its own.
    struct Context
    {
        QScriptEngine *engine = nullptr;
        ScriptWatchdog *watchdog = nullptr;
        QHash<QString, QScriptProgram> programs;
        // Straight-line expressions made into functions (invalid: run as a program).
        QHash<QString, QScriptValue> functions;
        // Engines replaced while an evaluation on them was still running.
        QList<QScriptEngine *> retired;
        int depth = 0;
    };

    Message call(const Message &request);
    void post(Message *slot, const Message &message);
    void serve(QString *valueReady, qint64 *cameraMs);
    void handle(const Message &message);
    void createEngine(Context &context, const QStringList &names, bool watched);
    static void dropEngine(Context &context);
    Outcome runEvaluation(Context &context, const QString &expression, Kind kind);

    CameraDatabase *mDatabase;
    std::unique_ptr<Thread> mThread;
    mutable QMutex mMutex;
    QWaitCondition mWake;
    std::unique_ptr<Message> mToScript;
    std::unique_ptr<Message> mToCaller;
    int mTimeLimit = 1000;

    // Calling thread only.
    Context mCaller;
    QStringList mNames;
    QSet<QString> mGlobals;
    QHash<QString, bool> mStraightLine;
    // The script thread has an engine for mNames.
    bool mScriptEngineCurrent = false;

    // Script thread only.
    Context mScript;
};

#endif // SCRIPTHOST_H
