#include "comm/clseriallibrary.h"
#include "comm/communicationthreadobject.h"
#include "comm/relayserver.h"
#include "tests/comm/threadsignalspy.h"
#include "tests/common/datatable.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QScopeGuard>
#include <QtTest>

#include <csignal>
#include <sys/socket.h>
#include <utility>

// Request lines the relay should receive, each followed by what it answers: a reply line (the
// line feed is added; "~" splits it into two pieces 50 ms apart), "" for no answer, or an action.
using Script = QList<QByteArray>;
const QByteArray Kill("<kill>");
const QByteArray Interrupt("<interrupt>");
const QByteArray Endless("<endless>");

class TestRelay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        // The relay program inherits these: the simulated library's port and one simulated camera.
        qputenv(CLSerialLibrary::PathVariable, MFXSIMCLSERIAL_PATH);
        qputenv("MARNIFEX_SIMCL_CAMERAS", "Linked");
        qputenv("MARNIFEX_RELAY_CAMERAS", "Far");
        mSocat = QStandardPaths::findExecutable(QStringLiteral("socat"));
        QVERIFY(mTap.listen(mDir.path() + QStringLiteral("/tap")));
    }

    void cleanup()
    {
        if (mThread) {
            mThread->quit();
            QVERIFY(mThread->wait(5000));
        }
        delete std::exchange(mComm, nullptr);
        delete std::exchange(mThread, nullptr);
        delete std::exchange(mRelay, nullptr);
    }

    void conversation_data()
    {
        // A relay that is killed takes its ports with it.
        columns<Script, int, int, QVariantList, QList<bool>>(
            { "script", "commands", "result", "args", "modes" });
        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        const QVariantList value { 123 };
        // "@GAI?" CR and ACK "@123" CR in Base64.
        const Script exchange { "@ISO|relay:A", "@true", "@WRT|relay:A|QEdBST8N", "@true",
            "@RED|relay:A|750|true", "@BkAxMjMN" };
        const Script unanswered = exchange.mid(0, 5);
        QTest::newRow("opened, reply in pieces")
            << Script { "@ISO|relay:A", "@false", "@OPN|relay:A", "@true", "@ISO|relay:A", "@true",
                   "@WRT|relay:A|QEdBST8N", "@true", "@RED|relay:A|750|true", "@BkAx~MjMN" }
            << 1 << ok << value << QList<bool> { true };
        QTest::newRow("broken Base64") << unanswered + Script { "@B!A", "@CLS|relay:A", "@true" }
                                       << 1 << fail << QVariantList() << QList<bool>();
        QTest::newRow("endless line, then in step again")
            << unanswered + Script { Endless, "@CLS|relay:A", "AAAA\n@true" } + exchange << 2 << ok
            << value << QList<bool> { true };
        // Replies given up on are skipped when they come, also when they come late.
        QTest::newRow("no reply; late replies skipped") << unanswered
                + Script { "", "@CLS|relay:A", "", "@ISO|relay:A", "@BkAxMjMN\n@true\n@true" }
                + exchange.mid(2) << 2 << ok << value << QList<bool> { true };
        QTest::newRow("relay killed mid-exchange")
            << exchange + unanswered + Script { Kill } << 2 << fail << QVariantList()
            << QList<bool> { true, false };
        QTest::newRow("stop request ends the wait")
            << unanswered + Script { Interrupt } << 1 << fail << QVariantList() << QList<bool>();
    }

    void conversation()
    {
        QFETCH(Script, script);
        QFETCH(int, commands);
        QFETCH(int, result);
        QFETCH(QVariantList, args);
        QFETCH(QList<bool>, modes);
        if (mSocat.isEmpty())
            QSKIP("socat is not installed");
        QVERIFY(startTappedRelay());
        ThreadSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
        ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
        ThreadSignalSpy mode(mComm, &CommunicationThreadObject::onlineModeChanged);

        // Listing: a port without manufacturer is left out, a missing version counts as 0.
        const Script listing { "@NOC|", "@3", "@NFO|0", "@Mfr|relay:A|2", "@NFO|1",
            "@|relay:Nameless|1", "@NFO|2", "@mfr|relay:B" };
        for (int i = 0; i < listing.size(); i += 2) {
            QCOMPARE(nextRequest(), listing.at(i) + '\n');
            mRelay->write(listing.at(i + 1) + '\n');
        }
        // After the simulated library's own port.
        QTRY_COMPARE(mComm->portNames().mid(1), (QStringList { "relay:A", "relay:B" }));
        mComm->setCurrentPort(QStringLiteral("relay:A"));
        for (int i = 0; i < commands; ++i)
            QVERIFY(mComm->sendCommand(QStringLiteral("t%1").arg(i), "GAI?", {}, true));

        QElapsedTimer endless;
        for (int i = 0; i < script.size(); i += 2) {
            QCOMPARE(nextRequest(), script.at(i) + '\n');
            // An endless line fails the read at once: the next request follows without waiting.
            QVERIFY(!endless.isValid() || endless.elapsed() < 1000);
            endless.invalidate();
            const QByteArray reply = script.value(i + 1);
            const int before = replies.count();
            if (reply == Kill) {
                ucred peer {};
                socklen_t size = sizeof peer;
                QCOMPARE(::getsockopt(int(mRelay->socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                             &peer, &size),
                    0);
                ::kill(peer.pid, SIGKILL);
            } else if (reply == Interrupt) {
                mThread->requestInterruption();
            } else if (reply == Endless) {
                mRelay->write(QByteArray(100000, 'A'));
                endless.start();
            } else if (!reply.isEmpty()) {
                const QList<QByteArray> pieces = (reply + '\n').split('~');
                mRelay->write(pieces.first());
                if (pieces.size() > 1)
                    QTimer::singleShot(
                        50, mRelay, [this, pieces]() { mRelay->write(pieces.last()); });
            }
            // A relay that is gone or a stop request ends the exchange at once.
            if (reply == Kill || reply == Interrupt)
                QTRY_COMPARE_WITH_TIMEOUT(replies.count(), before + 1, 1000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(replies.count(), commands, 5000);
        QCOMPARE(int(replies.last().at(2).value<AbstractCommunicator::Result>()), result);
        QCOMPARE(replies.last().at(3).toList(), args);
        QList<bool> seen;
        for (const QVariantList &emission : qAsConst(mode))
            seen.append(emission.first().toBool());
        QCOMPARE(seen, modes);
        if (script.last() == Kill) {
            QTRY_VERIFY(!mComm->portNames().contains(QStringLiteral("relay:A")));
            QCOMPARE(status.last().at(1).value<CommStatus>(), StatusRemoved);
        }
    }

    void foreignClientRefused()
    {
        // A file left under the server's name by a crashed run is no obstacle.
        const QString name = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)
            + QStringLiteral("/MfxRelayServer_%1").arg(QCoreApplication::applicationPid());
        QVERIFY(QFile(name).open(QIODevice::WriteOnly));
        // A relay program that never connects.
        startThread(
            QStringLiteral("/bin/sh"), { QStringLiteral("-c"), QStringLiteral("exec sleep 30") });
        mComm->relayServer()->start();
        QTRY_VERIFY(QFileInfo(name).exists() && !QFileInfo(name).isFile());
        const QFile::Permissions others
            = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
        QCOMPARE(QFileInfo(name).permissions() & others, QFile::Permissions());

        // Another process of ours is not the relay that was started: closed at once, never asked.
        QLocalSocket foreign;
        foreign.connectToServer(name);
        QTRY_COMPARE(foreign.state(), QLocalSocket::UnconnectedState);
        QCOMPARE(foreign.bytesAvailable(), 0);
    }

    void relayProgramEndToEnd()
    {
        const QString workingDirectory = QDir::currentPath();
        startThread(QStringLiteral(MFXRELAY_PATH), {});
        ThreadSignalSpy status(mComm, &CommunicationThreadObject::statusUpdate);
        mComm->startDiscovery();
        auto found = [&status](const QString &port, const QString &model) {
            for (const QVariantList &emission : qAsConst(status)) {
                if (emission.at(0) == port
                    && emission.at(1).value<CommStatus>() == StatusCameraFound)
                    return emission.at(2) == model;
            }
            return false;
        };
        // Probed once the relay has listed its ports, without waiting for the discovery timer.
        QTRY_VERIFY(mComm->portNames().contains(QStringLiteral("relay:Far")));
        mComm->checkAllCommDevices();
        QTRY_VERIFY(found("relay:Far", "VirtualDevice-Far")
            && found("relay:MfxSimLink - port0", "VirtualDevice-Linked"));
        mComm->stopDiscovery();
        QCOMPARE(QDir::currentPath(), workingDirectory);

        ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
        mComm->setCurrentPort(QStringLiteral("relay:Far"));
        QVERIFY(mComm->sendCommand(QStringLiteral("set"), "GAI", { 7 }, false));
        QVERIFY(mComm->sendCommand(QStringLiteral("get"), "GAI?", {}, true));
        QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 2, 5000);
        QCOMPARE(replies.last().at(3).toList(), QVariantList { 7 });

        // No relay process outlives the communication thread.
        qint64 pid = 0;
        RelayServer *server = mComm->relayServer();
        QMetaObject::invokeMethod(
            server, [&]() { pid = server->relayProcessId(); }, Qt::BlockingQueuedConnection);
        QVERIFY(pid > 0);
        cleanup();
        QCOMPARE(::kill(pid_t(pid), 0), -1);
    }

    // The listing separates its fields with "|", which a port name may hold as well.
    void portNameWithSeparator()
    {
        const QByteArray cameras = qgetenv("MARNIFEX_RELAY_CAMERAS");
        const auto restore = qScopeGuard([&]() { qputenv("MARNIFEX_RELAY_CAMERAS", cameras); });
        qputenv("MARNIFEX_RELAY_CAMERAS", "Pipe|Line");
        startThread(QStringLiteral(MFXRELAY_PATH), {});
        mComm->relayServer()->start();
        QTRY_VERIFY(mComm->portNames().contains(QStringLiteral("relay:Pipe|Line")));
    }

    // The relay runs in its own folder, yet a state file named relative to ours reaches it.
    void relativeLinkState()
    {
        QTemporaryFile state(QStringLiteral("simcl-XXXXXX.state"));
        QVERIFY(state.open() && state.write("GAI77\n") == 6 && state.flush());
        const QString relative = QDir::current().relativeFilePath(state.fileName());
        QVERIFY(QDir::isRelativePath(relative));
        const auto restore = qScopeGuard([]() { qunsetenv("MARNIFEX_SIMCL_STATE"); });
        qputenv("MARNIFEX_SIMCL_STATE", QFile::encodeName(relative));
        startThread(QStringLiteral(MFXRELAY_PATH), {});
        mComm->relayServer()->start();
        const QString port = QStringLiteral("relay:MfxSimLink - port0");
        QTRY_VERIFY(mComm->portNames().contains(port));
        ThreadSignalSpy replies(mComm, &CommunicationThreadObject::receivedReply);
        mComm->setCurrentPort(port);
        QVERIFY(mComm->sendCommand(QStringLiteral("get"), "GAI?", {}, true));
        QTRY_COMPARE_WITH_TIMEOUT(replies.count(), 1, 5000);
        QCOMPARE(replies.first().at(3).toList(), QVariantList { 77 });
    }

private:
    void startThread(const QString &program, const QStringList &arguments)
    {
        mThread = new QThread;
        mComm = new CommunicationThreadObject(mThread);
        mComm->setSerialPortScanning(false);
        mComm->relayServer()->setProgram(program, arguments);
        connect(mThread, &QThread::started, mComm, &CommunicationThreadObject::startCommunication);
        mThread->start();
    }

    // The relay is socat, joining the server's socket to our tap, where the test speaks for it.
    bool startTappedRelay()
    {
        startThread(QStringLiteral("/bin/sh"),
            { QStringLiteral("-c"),
                QStringLiteral("exec \"$0\" UNIX-CONNECT:\"$1\" UNIX-CONNECT:")
                    + mTap.fullServerName(),
                mSocat });
        mComm->relayServer()->start();
        return mTap.waitForNewConnection(5000) && (mRelay = mTap.nextPendingConnection());
    }

    QByteArray nextRequest()
    {
        if (!QTest::qWaitFor([this]() { return mRelay->canReadLine(); }, 5000))
            return QByteArray();
        return mRelay->readLine();
    }

    QString mSocat;
    QTemporaryDir mDir;
    QLocalServer mTap;
    QLocalSocket *mRelay = nullptr;
    QThread *mThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
};

QTEST_GUILESS_MAIN(TestRelay)
#include "tst_relay.moc"
