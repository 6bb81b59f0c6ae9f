#ifndef SCRIPTWATCHDOG_H
#define SCRIPTWATCHDOG_H

#include <QElapsedTimer>
#include <QScriptEngineAgent>
#include <QVector>

/// Aborts a script evaluation that runs longer than its time limit (an endless loop in an
/// availability expression must not freeze the program). Checks the clock at every statement and
/// function call, and when asked by the script thread's event processing (loops without
/// statements). Time spent blocked in camera reads is paused out of the count.
class ScriptWatchdog : public QScriptEngineAgent
{
public:
    explicit ScriptWatchdog(QScriptEngine *engine);

    void setTimeLimit(int ms) { mTimeLimit = ms; }
    int timeLimit() const { return mTimeLimit; }

    /// An evaluation starts; the clock runs from the outermost one (evaluations may nest when a
    /// camera reply triggers another expression).
    void enter();
    /// An evaluation ended.
    void leave();
    /// True when the current evaluation was aborted for taking too long.
    bool timedOut() const { return !mFrames.isEmpty() && mFrames.last().timedOut; }
    /// Excludes a stretch of time from the count of the running evaluation.
    void pause();
    void resume();
    void exclude(qint64 ms);

    /// Aborts the running evaluation when it is over its limit.
    void check();

    void positionChange(qint64 scriptId, int lineNumber, int columnNumber) override;
    void functionEntry(qint64 scriptId) override;

private:
    // One running evaluation; nested ones (a camera reply that triggers another expression)
    // get their own budget, and their time does not count against the outer one.
    struct Frame
    {
        qint64 start = 0;
        qint64 excluded = 0;
        qint64 pausedAt = 0;
        int pauseDepth = 0;
        bool timedOut = false;
    };

    QElapsedTimer mClock;
    QVector<Frame> mFrames;
    int mTimeLimit = 1000;
};

#endif // SCRIPTWATCHDOG_H
