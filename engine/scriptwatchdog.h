#ifndef SCRIPTWATCHDOG_H
#define SCRIPTWATCHDOG_H

#include <QElapsedTimer>
#include <QScriptEngineAgent>

/// Aborts a script evaluation that runs longer than its time limit (an endless loop in an
/// availability expression must not freeze the program). Checks the clock at every statement and
/// function call, without running the event loop. Time spent blocked in camera reads is paused
/// out of the count.
class ScriptWatchdog : public QScriptEngineAgent
{
public:
    explicit ScriptWatchdog(QScriptEngine *engine);

    void setTimeLimit(int ms) { mTimeLimit = ms; }
    int timeLimit() const { return mTimeLimit; }

    /// Starts counting one evaluation.
    void start();
    /// True when the last evaluation was aborted for taking too long.
    bool timedOut() const { return mTimedOut; }
    /// Excludes a blocking wait from the count.
    void pause();
    void resume();

    void positionChange(qint64 scriptId, int lineNumber, int columnNumber) override;
    void functionEntry(qint64 scriptId) override;

private:
    void check();

    QElapsedTimer mClock;
    qint64 mPausedAt = -1;
    qint64 mPausedTotal = 0;
    int mTimeLimit = 1000;
    bool mRunning = false;
    bool mTimedOut = false;
};

#endif // SCRIPTWATCHDOG_H
