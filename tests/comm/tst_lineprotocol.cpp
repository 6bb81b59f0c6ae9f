#include "comm/abstractcommunicator.h"
#include "comm/metatypes.h"
#include "comm/simulatedcamera.h"
#include "comm/simulatedcamerastate.h"
#include "comm/virtualcommunicator.h"

#include <QtTest>

static QByteArray cr(const char *text)
{
    return QByteArray(text) + '\r';
}

class TestLineProtocol : public QObject
{
    Q_OBJECT

private slots:
    void buildFrame_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QVariantList>("args");
        QTest::addColumn<QByteArray>("frame");

        QTest::newRow("query without arguments")
            << QByteArray("ID?") << QVariantList() << cr("@ID?");
        QTest::newRow("two integers")
            << QByteArray("XYZ") << QVariantList { 5, -3 } << cr("@XYZ5;-3");
        QTest::newRow("string then integer")
            << QByteArray("N") << QVariantList { QStringLiteral("x y"), 7 } << cr("@N\"x y7");
        QTest::newRow("integer then string")
            << QByteArray("N ") << QVariantList { 1, QStringLiteral("y") } << cr("@N 1;\"y");
        QTest::newRow("separator after a typed number removed")
            << QByteArray("GAI120;") << QVariantList() << cr("@GAI120");
        // Only a separator after a number goes; one that is text stays.
        QTest::newRow("separator alone kept") << QByteArray(";") << QVariantList() << cr("@;");
        QTest::newRow("separator in typed text kept")
            << QByteArray("UID\"Line;") << QVariantList() << cr("@UID\"Line;");
        QTest::newRow("separator ending a string kept")
            << QByteArray("S") << QVariantList { QStringLiteral("a;") } << cr("@S\"a;");
        QTest::newRow("text constant as it is, numeric constant as a number") << QByteArray(
            "ST") << QVariantList { QByteArray("ALL"), QByteArray("7") } << cr("@STALL7");
        QTest::newRow("latin-1 string")
            << QByteArray("S") << QVariantList { QStringLiteral("\u00e9") }
            << QByteArray("@S\"\xe9\r");
    }

    void buildFrame()
    {
        QFETCH(QByteArray, command);
        QFETCH(QVariantList, args);
        QFETCH(QByteArray, frame);
        QCOMPARE(AbstractCommunicator::buildFrame(command, args), frame);
    }

    void parseReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("result");
        QTest::addColumn<QVariantList>("args");

        const int ok = AbstractCommunicator::Success;
        const int fail = AbstractCommunicator::Failure;
        // On failure the arguments are left as they were.
        const QVariantList kept { QStringLiteral("kept") };
        QTest::newRow("ack alone") << QByteArray("\x06") << ok << QVariantList();
        QTest::newRow("nak") << QByteArray("\x15@3\r") << fail << kept;
        QTest::newRow("nothing") << QByteArray() << fail << kept;
        QTest::newRow("data without ack") << cr("@12") << fail << kept;
        QTest::newRow("empty data part") << cr("\x06@") << ok << QVariantList();
        QTest::newRow("ack and data missing CR") << QByteArray("\x06@12") << ok << QVariantList();
        QTest::newRow("three numbers") << cr("\x06@12;-4;7") << ok << QVariantList { 12, -4, 7 };
        QTest::newRow("string") << cr("\x06@\"Model X") << ok
                                << QVariantList { QStringLiteral("Model X") };
        QTest::newRow("letter separator") << cr("\x06@12x34") << ok << QVariantList { 12, 34 };
        QTest::newRow("letters give zeros") << cr("\x06@abc") << ok << QVariantList { 0, 0, 0 };
        QTest::newRow("invalid sign run") << cr("\x06@+-;2") << ok << QVariantList { 0, 2 };
        QTest::newRow("string takes the rest")
            << cr("\x06@1;\"a;b 2") << ok << QVariantList { 1, QStringLiteral("a;b 2") };
        QTest::newRow("only the first data part")
            << QByteArray("\x06@1\r@2\r") << ok << QVariantList { 1 };
        QTest::newRow("bytes before ack") << cr("zz\x06@5") << ok << QVariantList { 5 };
        QTest::newRow("high byte ends a number") << cr("\x06@12\xb0"
                                                       "3")
                                                 << ok << QVariantList { 12, 3 };
        QTest::newRow("overflow gives zero") << cr("\x06@99999999999") << ok << QVariantList { 0 };
        // Separators after the last number end the payload; no phantom 0 is added.
        QTest::newRow("trailing separators") << cr("\x06@5; ") << ok << QVariantList { 5 };
        QTest::newRow("separators only") << cr("\x06@ ; ") << ok << QVariantList();
    }

    void parseReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, result);
        QFETCH(QVariantList, args);

        QVariantList decoded { QStringLiteral("kept") };
        QCOMPARE(int(AbstractCommunicator::parseReply(reply, decoded)), result);
        QCOMPARE(decoded, args);
        // QVariant compares 12 and "12" equal: check that integers come back as integers.
        for (int i = 0; i < args.size(); ++i)
            QCOMPARE(decoded.at(i).userType(), args.at(i).userType());
    }

    void camera_data()
    {
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::addColumn<QByteArray>("output");

        using Bytes = QList<QByteArray>;
        QTest::newRow("noise before the frame") << Bytes { "xx\r\x06@ERR?\r" } << cr("\x06@0");
        QTest::newRow("frame split over writes") << Bytes { "@ER", "R?", "\r" } << cr("\x06@0");
        QTest::newRow("incomplete frame waits") << Bytes { "@ID?" } << QByteArray();
        QTest::newRow("table rows by first argument")
            << Bytes { "@LUT0;5\r@LUT1;6\r@LUT?0\r@LUT?\r@LUT?7\r" }
            << QByteArray("\x06\x06\x06@0;5\r\x06@1;6\r\x06@1;6\r");
        QTest::newRow("answers wait for the read")
            << Bytes { cr("@A5"), cr("@A?") } << QByteArray("\x06") + cr("\x06@5");
    }

    void camera()
    {
        QFETCH(QList<QByteArray>, writes);
        QFETCH(QByteArray, output);

        // Through the port: what the camera answers waits there until it is read.
        VirtualCommunicator port(QStringLiteral("Bench"));
        for (const QByteArray &bytes : writes)
            QVERIFY(port.writeFrame(bytes));
        QByteArray all;
        QVERIFY(port.readReply(all, 0, true));
        QCOMPARE(all, output);
    }

    void startState_data()
    {
        QTest::addColumn<QByteArray>("state");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("queries");
        QTest::addColumn<QByteArray>("answers");

        QTest::newRow("set commands, CR LF, blank lines")
            << QByteArray("GAI120\r\n\r\nUID\"Line 3\nLUT1;7\n") << QString()
            << QByteArray("@GAI?\r@UID?\r@LUT?1\r")
            << QByteArray("\x06@120\r\x06@\"Line 3\r\x06@1;7\r");
        QTest::newRow("raw, as a script: letter case kept")
            << QByteArray("gai120") << QString() << cr("@GAI?") << cr("\x06@");
        QTest::newRow("a query refuses the whole state")
            << QByteArray("GAI120\nGAI?\n") << QString("line 2: GAI? is a query, not a set command")
            << cr("@GAI?") << cr("\x06@");
    }

    void startState()
    {
        QFETCH(QByteArray, state);
        QFETCH(QString, error);
        QFETCH(QByteArray, queries);
        QFETCH(QByteArray, answers);

        SimulatedCamera camera(QStringLiteral("Bench"));
        QList<QByteArray> commands;
        QString problem;
        QCOMPARE(SimulatedCameraState::parse(state, &commands, &problem), error.isEmpty());
        QCOMPARE(problem, error);
        SimulatedCameraState::apply(commands, camera);
        QByteArray all;
        for (const auto &chunk : camera.receive(queries))
            all += chunk.bytes;
        QCOMPARE(all, answers);
    }

    void metaTypesRegistered()
    {
        MetaTypes::registerAll();
        for (const char *name : { "CommStatus", "QextPortInfo", "AbstractCommunicator::Result",
                 "bool *", "QVariantList *" })
            QVERIFY2(QMetaType::isRegistered(QMetaType::type(name)), name);
    }
};

QTEST_GUILESS_MAIN(TestLineProtocol)
#include "tst_lineprotocol.moc"
