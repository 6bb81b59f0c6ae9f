#ifndef THREADSIGNALSPY_H
#define THREADSIGNALSPY_H

#include <QList>
#include <QObject>
#include <QVariant>
#include <QtTest>

/// Records a signal like QSignalSpy, for senders that emit from another thread. QSignalSpy
/// appends in the emitting thread, so reading or destroying it while that thread runs on is a
/// data race; here emissions from other threads arrive queued in the spy's own thread, and
/// those from its own thread are recorded at once as before.
class ThreadSignalSpy : public QObject, public QList<QVariantList>
{
public:
    template<typename Sender, typename Declarer, typename... Args>
    ThreadSignalSpy(const Sender *sender, void (Declarer::*signal)(Args...))
    {
        connect(sender, signal, this,
            [this](Args... args) { append(QVariantList { QVariant::fromValue(args)... }); });
    }

    /// Waits until a further emission has been recorded.
    bool wait(int timeoutMs = 5000)
    {
        const int seen = size();
        return QTest::qWaitFor([this, seen]() { return size() > seen; }, timeoutMs);
    }
};

#endif // THREADSIGNALSPY_H
