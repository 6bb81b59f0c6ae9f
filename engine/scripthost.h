#ifndef SCRIPTHOST_H
#define SCRIPTHOST_H

#include <QHash>
#include <QMutex>
#include <QScriptProgram>
#include <QString>
#include <QStringList>
#include <QWaitCondition>

#include <memory>

class CameraDatabase;
class QScriptEngine;
class QThread;
class ScriptWatchdog;

/// Runs the expression engine in a thread of its own, so that a runaway expression can always
/// be stopped without running the user interface's event loop: the engine's periodic checks
/// process only that thread's own (empty) event queue. The calling thread waits for every
/// evaluation and meanwhile performs the camera reads the script asks for, so the database is
/// only ever touched in its own thread. Calls alternate strictly between the two threads; an
/// evaluation may nest inside a camera read (a reply handler evaluating another expression).
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

    /// Replaces the engine by a new one with one global per name and the library functions.
    /// Returns the new engine; it lives in the script thread and must not be used elsewhere.
    QScriptEngine *rebuild(const QStringList &names);
    /// Deletes the engine (no description).
    void clear();
    bool hasEngine() const;
    Outcome evaluate(const QString &expression, Kind kind);

    void setTimeLimit(int ms);
    int timeLimit() const;

    /// Called in the script thread by the value objects: has the waiting thread read id.
    QString readValue(const QString &id);
    bool isScriptThread() const;

private:
    struct Message;
    class Thread;

    Message call(const Message &request);
    void post(Message *slot, const Message &message);
    void serve(QString *valueReady, qint64 *cameraMs);
    void handle(const Message &message);
    QScriptEngine *createEngine(const QStringList &names);
    void dropEngine();
    Outcome runEvaluation(const QString &expression, Kind kind);

    CameraDatabase *mDatabase;
    std::unique_ptr<Thread> mThread;
    mutable QMutex mMutex;
    QWaitCondition mWake;
    std::unique_ptr<Message> mToScript;
    std::unique_ptr<Message> mToCaller;
    int mTimeLimit = 1000;

    // Script thread only.
    QScriptEngine *mEngine = nullptr;
    ScriptWatchdog *mWatchdog = nullptr;
    QList<QScriptEngine *> mRetired;
    QHash<QString, QScriptProgram> mPrograms;
    int mDepth = 0;
    bool mHasEngine = false;
};

#endif // SCRIPTHOST_H
