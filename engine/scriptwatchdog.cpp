#include "engine/scriptwatchdog.h"

#include <QScriptEngine>

ScriptWatchdog::ScriptWatchdog(QScriptEngine *engine)
    : QScriptEngineAgent(engine)
{
    mClock.start();
}

void ScriptWatchdog::enter()
{
    pause();
    Frame frame;
    frame.start = mClock.elapsed();
    mFrames.append(frame);
}

void ScriptWatchdog::leave()
{
    if (mFrames.isEmpty())
        return;
    mFrames.removeLast();
    resume();
}

void ScriptWatchdog::pause()
{
    if (mFrames.isEmpty())
        return;
    Frame &frame = mFrames.last();
    if (frame.pauseDepth++ == 0)
        frame.pausedAt = mClock.elapsed();
}

void ScriptWatchdog::resume()
{
    if (mFrames.isEmpty())
        return;
    Frame &frame = mFrames.last();
    if (frame.pauseDepth > 0 && --frame.pauseDepth == 0)
        frame.excluded += mClock.elapsed() - frame.pausedAt;
}

void ScriptWatchdog::exclude(qint64 ms)
{
    if (!mFrames.isEmpty() && ms > 0)
        mFrames.last().excluded += ms;
}

void ScriptWatchdog::positionChange(qint64, int, int)
{
    check();
}

void ScriptWatchdog::functionEntry(qint64)
{
    check();
}

void ScriptWatchdog::check()
{
    if (mFrames.isEmpty())
        return;
    Frame &frame = mFrames.last();
    if (frame.pauseDepth > 0)
        return;
    // Once over the limit keep aborting, in case the script survives the first abort.
    if (!frame.timedOut && mClock.elapsed() - frame.start - frame.excluded <= mTimeLimit)
        return;
    frame.timedOut = true;
    engine()->abortEvaluation();
}
