#include "comm/metatypes.h"
#include "tests/comm/fakecommunicator.h"

#include <QtTest>

#include <memory>

// One request: append ("a") or prepend with error check ("p") or without ("q").
struct Request
{
    char how;
    QString id;
    QByteArray command;
    int arg;
};
using Requests = QList<Request>;
Q_DECLARE_METATYPE(Requests)

// "id:command,arg,..." per entry; "!" marks an entry that expects no reply.
static QString describe(const QList<QueuedCommand> &calls)
{
    QStringList parts;
    for (const QueuedCommand &call : calls) {
        QString text = call.id + QLatin1Char(':') + QString::fromLatin1(call.command);
        for (const QVariant &arg : call.args)
            text += QLatin1Char(',') + arg.toString();
        if (!call.expectReply)
            text += QStringLiteral("!");
        parts.append(text);
    }
    return parts.join(QLatin1Char(' '));
}

// What the communication thread does when the last dispatched exchange replies.
static void reply(CommandQueue &queue, FakeCommunicator &comm)
{
    queue.finishExchange(&comm, comm.calls.last().id, comm.calls.last().command);
    queue.checkNext();
}

class TestCommandQueue : public QObject
{
    Q_OBJECT

private slots:
    void waitingRequests_data()
    {
        QTest::addColumn<Requests>("requests");
        QTest::addColumn<QString>("dispatched");

        QTest::newRow("newer duplicate replaces, at the newer place")
            << Requests { { 'a', "1", "X", 1 }, { 'a', "2", "Y", 2 }, { 'a', "1", "X", 3 } }
            << "2:Y,2 1:X,3";
        QTest::newRow("duplicate of the running exchange is sent again")
            << Requests { { 'a', "busy", "B", 5 } } << "busy:B,5";
        QTest::newRow("same id, other command kept")
            << Requests { { 'a', "1", "X", 1 }, { 'a', "1", "Z", 2 } } << "1:X,1 1:Z,2";
        QTest::newRow("console command overtakes waiting reads, then ERR?")
            << Requests { { 'a', "1", "X", 1 }, { 'a', "2", "Y", 2 }, { 'p', "@Console", "C", 0 } }
            << "@Console:C,0 @Console:ERR? 1:X,1 2:Y,2";
        QTest::newRow("prepend replaces a waiting duplicate") << Requests {
            { 'a', "@Console", "A", 1 }, { 'a', "2", "Y", 2 }, { 'q', "@Console", "A", 3 }
        } << "@Console:A,3 2:Y,2";
        QTest::newRow("two console commands in typed order") << Requests {
            { 'a', "1", "X", 1 }, { 'p', "@Console", "GAI 120", 0 }, { 'p', "@Console", "GAI?", 0 }
        } << "@Console:GAI 120,0 @Console:ERR? @Console:GAI?,0 @Console:ERR? 1:X,1";
        // The error checks of two console commands are duplicates of each other.
        QTest::newRow("only the first duplicate replaced") << Requests {
            { 'p', "@Console", "A", 1 }, { 'p', "@Console", "B", 2 }, { 'a', "@Console", "ERR?", 9 }
        } << "@Console:A,1 @Console:B,2 @Console:ERR? @Console:ERR?,9";
    }

    void waitingRequests()
    {
        QFETCH(Requests, requests);
        QFETCH(QString, dispatched);

        FakeCommunicator comm;
        CommandQueue queue;
        // One exchange is under way while the requests come in.
        queue.appendCommand(&comm, "busy", "B", { 0 }, true);
        QCoreApplication::processEvents();
        QCOMPARE(describe(comm.calls), QStringLiteral("busy:B,0"));

        for (const Request &r : requests) {
            if (r.how == 'a')
                queue.appendCommand(&comm, r.id, r.command, { r.arg }, true);
            else
                queue.prependCommand(&comm, r.id, r.command, { r.arg }, true, r.how == 'p');
        }
        // The checks posted by the adds find the line busy.
        QCoreApplication::processEvents();
        queue.checkNext();
        QCOMPARE(comm.calls.size(), 1);

        // Each reply lets exactly the next entry go.
        reply(queue, comm);
        comm.calls.removeFirst();
        while (queue.size() > 0) {
            const int before = comm.calls.size();
            queue.checkNext();
            QCOMPARE(comm.calls.size(), before);
            reply(queue, comm);
        }
        QCOMPARE(describe(comm.calls), dispatched);
        reply(queue, comm); // on an empty queue
        QVERIFY(!queue.isExchangeRunning());
    }

    void onlyOwnReplyEndsExchange()
    {
        FakeCommunicator comm;
        FakeCommunicator other;
        CommandQueue queue;
        queue.appendCommand(&comm, "1", "A", {}, true);
        queue.appendCommand(&comm, "2", "B", {}, false);
        queue.appendCommand(&comm, "3", "C", {}, true);
        QCoreApplication::processEvents();
        QCOMPARE(queue.size(), 2);

        // Replies of another communicator, id or command leave the exchange running.
        queue.finishExchange(&other, "1", "A");
        queue.finishExchange(&comm, "2", "A");
        queue.finishExchange(&comm, "1", "B");
        QVERIFY(queue.isExchangeRunning());
        queue.checkNext();
        QCOMPARE(describe(comm.calls), QStringLiteral("1:A"));

        queue.finishExchange(&comm, "1", "A");
        QVERIFY(!queue.isExchangeRunning());
        queue.checkNext();
        queue.checkNext();
        QCOMPARE(describe(comm.calls), QStringLiteral("1:A 2:B!"));
        QVERIFY(other.calls.isEmpty());
    }

    void destroyedCommunicatorsAreDropped()
    {
        auto running = std::make_unique<FakeCommunicator>();
        auto waiting = std::make_unique<FakeCommunicator>();
        FakeCommunicator kept;
        CommandQueue queue;
        queue.appendCommand(running.get(), "1", "A", {}, true);
        queue.appendCommand(waiting.get(), "2", "B", {}, true);
        queue.appendCommand(&kept, "3", "C", {}, true);
        queue.appendCommand(&kept, "4", "D", {}, true);
        QCoreApplication::processEvents();
        QCOMPARE(running->calls.size(), 1);
        QVERIFY(kept.calls.isEmpty());

        // The entries of a communicator that is gone are dropped. The running exchange's reply will
        // never come; the queue goes on by itself, without a further add.
        waiting.reset();
        running.reset();
        QVERIFY(!queue.isExchangeRunning());
        QTRY_COMPARE(describe(kept.calls), QStringLiteral("3:C"));
        QCOMPARE(queue.size(), 1);
    }

    void checkFromOtherThreadRunsInQueueThread()
    {
        FakeCommunicator comm;
        CommandQueue queue;
        queue.appendCommand(&comm, "1", "A", {}, true);
        QThread *other = QThread::create([&queue]() { queue.checkNext(); });
        other->start();
        other->wait();
        delete other;
        // Nothing was dispatched from the other thread; the queue's own thread does it.
        QCOMPARE(comm.calls.size(), 0);
        QTRY_COMPARE(comm.calls.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestCommandQueue)
#include "tst_commandqueue.moc"
