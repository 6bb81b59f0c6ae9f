#include "comm/abstractcommunicator.h"
#include "comm/commandqueue.h"
#include "comm/metatypes.h"

#include <QtTest>

#include <memory>

// A communicator that only records what the queue dispatches to it.
class FakeRecordingCommunicator : public AbstractCommunicator
{
public:
    struct Call
    {
        QString id;
        QByteArray command;
        QVariantList args;
        bool expectReply;
    };
    QList<Call> *calls;

    explicit FakeRecordingCommunicator(QList<Call> *log)
        : calls(log)
    { }
    bool open() override { return true; }
    bool close() override { return true; }
    bool isOpen() override { return true; }
    bool hasCamera() override { return false; }
    QByteArray portName() override { return "REC"; }
    bool writeFrame(const QByteArray &) override { return true; }
    bool readReply(QByteArray &, int, bool) override { return false; }
    void sendCommandEventQueued(
        QString id, QByteArray cmd, QVariantList args, bool expectReply) override
    {
        calls->append({ id, cmd, args, expectReply });
    }
};

using Call = FakeRecordingCommunicator::Call;

// One request: append ("a") or prepend with error check ("p") or without ("q").
struct Request
{
    char how;
    QString id;
    QByteArray command;
    int arg;
};
Q_DECLARE_METATYPE(QList<Request>)

class TestCommandQueue : public QObject
{
    Q_OBJECT

private slots:
    void waitingRequests_data();
    void waitingRequests();
    void onlyFirstDuplicateRemoved();
    void onlyOwnReplyEndsExchange_data();
    void onlyOwnReplyEndsExchange();
    void emptyCheckDoesNothing();
    void destroyedCommunicatorIsDropped();
    void destroyedRunningCommunicatorDoesNotStall();
    void checkFromOtherThreadRunsInQueueThread();
};

static QString describe(const QList<Call> &calls)
{
    QStringList parts;
    for (const Call &call : calls) {
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
static void reply(CommandQueue &queue, AbstractCommunicator *comm, const QList<Call> &calls)
{
    queue.finishExchange(comm, calls.last().id, calls.last().command);
    queue.checkNext();
}

static QList<Request> reads(int count)
{
    QList<Request> list;
    for (int i = 0; i < count; ++i)
        list.append({ 'a', QStringLiteral("r%1").arg(i), "GAI?", i });
    return list;
}

static QString readsDispatched(int count)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts.append(QStringLiteral("r%1:GAI?,%1").arg(i));
    return parts.join(QLatin1Char(' '));
}

void TestCommandQueue::waitingRequests_data()
{
    QTest::addColumn<QList<Request>>("requests");
    QTest::addColumn<QString>("dispatched");

    QTest::newRow("in order") << QList<Request> { { 'a', "1", "X", 1 }, { 'a', "2", "Y", 2 } }
                              << "1:X,1 2:Y,2";
    QTest::newRow("many reads wait for the reply") << reads(10) << readsDispatched(10);
    QTest::newRow("newer duplicate replaces, at the newer place")
        << QList<Request> { { 'a', "1", "X", 1 }, { 'a', "2", "Y", 2 }, { 'a', "1", "X", 3 } }
        << "2:Y,2 1:X,3";
    QTest::newRow("duplicate of the running exchange is sent again")
        << QList<Request> { { 'a', "busy", "B", 5 } } << "busy:B,5";
    QTest::newRow("same id, other command kept")
        << QList<Request> { { 'a', "1", "X", 1 }, { 'a', "1", "Z", 2 } } << "1:X,1 1:Z,2";
    QTest::newRow("same command, other id kept")
        << QList<Request> { { 'a', "1", "X", 1 }, { 'a', "2", "X", 2 } } << "1:X,1 2:X,2";
    QTest::newRow("console command first, then ERR?") << QList<Request> {
        { 'a', "1", "X", 1 }, { 'a', "2", "Y", 2 }, { 'p', "@Console", "GAI?", 0 }
    } << "@Console:GAI?,0 @Console:ERR? 1:X,1 2:Y,2";
    QTest::newRow("console command overtakes ten reads")
        << (reads(10) << Request { 'p', "@Console", "GAI?", 0 })
        << "@Console:GAI?,0 @Console:ERR? " + readsDispatched(10);
    QTest::newRow("prepend without error check") << QList<Request> { { 'a', "1", "X", 1 },
        { 'q', "@Console", "A", 0 } } << "@Console:A,0 1:X,1";
    QTest::newRow("prepend replaces a waiting duplicate") << QList<Request> {
        { 'a', "@Console", "A", 1 }, { 'a', "2", "Y", 2 }, { 'q', "@Console", "A", 3 }
    } << "@Console:A,3 2:Y,2";
    QTest::newRow("two console commands in typed order")
        << (reads(3) << Request { 'p', "@Console", "GAI 120", 0 }
                     << Request { 'p', "@Console", "GAI?", 0 })
        << "@Console:GAI 120,0 @Console:ERR? @Console:GAI?,0 @Console:ERR? " + readsDispatched(3);
    QTest::newRow("console commands without error check in typed order") << QList<Request> {
        { 'a', "1", "X", 1 }, { 'q', "@Console", "A", 1 }, { 'q', "@Console", "B", 2 }
    } << "@Console:A,1 @Console:B,2 1:X,1";
}

void TestCommandQueue::waitingRequests()
{
    QFETCH(QList<Request>, requests);
    QFETCH(QString, dispatched);

    QList<Call> calls;
    FakeRecordingCommunicator comm(&calls);
    CommandQueue queue;
    // One exchange is under way while the requests come in.
    queue.appendCommand(&comm, "busy", "B", { 0 }, true);
    QCoreApplication::processEvents();
    QCOMPARE(describe(calls), QStringLiteral("busy:B,0"));
    QVERIFY(queue.isExchangeRunning());

    for (const Request &r : requests) {
        const QVariantList args { r.arg };
        if (r.how == 'a')
            queue.appendCommand(&comm, r.id, r.command, args, true);
        else
            queue.prependCommand(&comm, r.id, r.command, args, true, r.how == 'p');
    }
    // The checks posted by the adds find the line busy.
    QCoreApplication::processEvents();
    queue.checkNext();
    QCOMPARE(calls.size(), 1);

    // Each reply lets exactly the next entry go.
    calls.clear();
    queue.finishExchange(&comm, "busy", "B");
    queue.checkNext();
    while (queue.size() > 0) {
        const int before = calls.size();
        queue.checkNext();
        QCOMPARE(calls.size(), before);
        reply(queue, &comm, calls);
    }
    QCOMPARE(describe(calls), dispatched);
    reply(queue, &comm, calls);
    QVERIFY(!queue.isExchangeRunning());
}

void TestCommandQueue::onlyFirstDuplicateRemoved()
{
    QList<Call> calls;
    FakeRecordingCommunicator comm(&calls);
    CommandQueue queue;
    // The error checks of two console commands are duplicates of each other.
    queue.prependCommand(&comm, "@Console", "A", { 1 }, true, true);
    queue.prependCommand(&comm, "@Console", "B", { 2 }, true, true);
    QCOMPARE(queue.size(), 4);
    queue.appendCommand(&comm, "@Console", "ERR?", { 9 }, false);
    const QList<QueuedCommand> entries = queue.entries();
    QCOMPARE(entries.size(), 4);
    QCOMPARE(entries.at(0).command, QByteArray("A"));
    QCOMPARE(entries.at(1).command, QByteArray("B"));
    QCOMPARE(entries.at(2).command, QByteArray("ERR?"));
    QCOMPARE(entries.at(2).args, QVariantList());
    QCOMPARE(entries.at(2).expectReply, true);
    QCOMPARE(entries.at(3).command, QByteArray("ERR?"));
    QCOMPARE(entries.at(3).args, QVariantList { 9 });
    QCOMPARE(entries.at(3).expectReply, false);
}

void TestCommandQueue::onlyOwnReplyEndsExchange_data()
{
    QTest::addColumn<bool>("sameCommunicator");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<bool>("ends");
    QTest::newRow("own reply") << true << "1" << QByteArray("A") << true;
    QTest::newRow("other communicator") << false << "1" << QByteArray("A") << false;
    QTest::newRow("other id") << true << "2" << QByteArray("A") << false;
    QTest::newRow("other command") << true << "1" << QByteArray("B") << false;
}

void TestCommandQueue::onlyOwnReplyEndsExchange()
{
    QFETCH(bool, sameCommunicator);
    QFETCH(QString, id);
    QFETCH(QByteArray, command);
    QFETCH(bool, ends);

    QList<Call> calls;
    QList<Call> otherCalls;
    FakeRecordingCommunicator comm(&calls);
    FakeRecordingCommunicator other(&otherCalls);
    CommandQueue queue;
    queue.appendCommand(&comm, "1", "A", {}, true);
    queue.appendCommand(&comm, "2", "B", {}, false);
    queue.appendCommand(&comm, "3", "C", {}, true);
    queue.checkNext();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(queue.size(), 2);
    // The posted checks of the three adds find the exchange running.
    QCoreApplication::processEvents();
    QCOMPARE(calls.size(), 1);

    queue.finishExchange(sameCommunicator ? &comm : &other, id, command);
    QCOMPARE(queue.isExchangeRunning(), !ends);
    queue.checkNext();
    queue.checkNext();
    QCOMPARE(describe(calls), ends ? QStringLiteral("1:A 2:B!") : QStringLiteral("1:A"));
    QVERIFY(otherCalls.isEmpty());
}

void TestCommandQueue::emptyCheckDoesNothing()
{
    CommandQueue queue;
    queue.checkNext();
    QCOMPARE(queue.size(), 0);
    QVERIFY(!queue.isExchangeRunning());
}

void TestCommandQueue::destroyedCommunicatorIsDropped()
{
    QList<Call> goneCalls;
    QList<Call> keptCalls;
    auto gone = std::make_unique<FakeRecordingCommunicator>(&goneCalls);
    FakeRecordingCommunicator kept(&keptCalls);
    CommandQueue queue;
    queue.appendCommand(gone.get(), "1", "A", {}, true);
    queue.appendCommand(gone.get(), "2", "B", {}, true);
    queue.appendCommand(&kept, "3", "C", {}, true);
    gone.reset();
    queue.checkNext();
    QCOMPARE(keptCalls.size(), 1);
    QCOMPARE(keptCalls.first().command, QByteArray("C"));
    QCOMPARE(goneCalls.size(), 0);
    QCOMPARE(queue.size(), 0);
}

void TestCommandQueue::destroyedRunningCommunicatorDoesNotStall()
{
    QList<Call> goneCalls;
    QList<Call> keptCalls;
    auto gone = std::make_unique<FakeRecordingCommunicator>(&goneCalls);
    FakeRecordingCommunicator kept(&keptCalls);
    CommandQueue queue;
    queue.appendCommand(gone.get(), "1", "A", {}, true);
    queue.appendCommand(&kept, "2", "B", {}, true);
    queue.appendCommand(&kept, "3", "C", {}, true);
    queue.checkNext();
    QCOMPARE(goneCalls.size(), 1);
    QCoreApplication::processEvents();
    QVERIFY(keptCalls.isEmpty());

    // Its reply will never come; the queue goes on by itself, without a further add.
    gone.reset();
    QVERIFY(!queue.isExchangeRunning());
    QTRY_COMPARE(keptCalls.size(), 1);
    QCOMPARE(describe(keptCalls), QStringLiteral("2:B"));
    QCOMPARE(queue.size(), 1);
}

void TestCommandQueue::checkFromOtherThreadRunsInQueueThread()
{
    QList<Call> calls;
    FakeRecordingCommunicator comm(&calls);
    CommandQueue queue;
    queue.appendCommand(&comm, "1", "A", {}, true);
    QThread *other = QThread::create([&queue]() { queue.checkNext(); });
    other->start();
    other->wait();
    delete other;
    // Nothing was dispatched from the other thread; the queue's own thread does it.
    QCOMPARE(calls.size(), 0);
    QTRY_COMPARE(calls.size(), 1);
}

QTEST_GUILESS_MAIN(TestCommandQueue)
#include "tst_commandqueue.moc"
