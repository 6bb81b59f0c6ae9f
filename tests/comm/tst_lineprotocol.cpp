#include "comm/abstractcommunicator.h"
#include "comm/metatypes.h"
#include "comm/simulatedcamera.h"

#include <QtTest>

class TestLineProtocol : public QObject
{
    Q_OBJECT

private slots:
    void buildFrame_data();
    void buildFrame();
    void parseReply_data();
    void parseReply();
    void failedParseLeavesArgumentsAlone();
    void roundTripThroughCamera_data();
    void roundTripThroughCamera();
    void cameraAnswers_data();
    void cameraAnswers();
    void cameraFraming_data();
    void cameraFraming();
    void metaTypesRegistered_data();
    void metaTypesRegistered();
};

static QByteArray cr(const char *text)
{
    return QByteArray(text) + '\r';
}

void TestLineProtocol::buildFrame_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("query without arguments") << QByteArray("ID?") << QVariantList() << cr("@ID?");
    QTest::newRow("two integers") << QByteArray("XYZ") << QVariantList { 5, -3 } << cr("@XYZ5;-3");
    QTest::newRow("one string") << QByteArray("XYZ") << QVariantList { QStringLiteral("a b") }
                                << cr("@XYZ\"a b");
    QTest::newRow("string then integer")
        << QByteArray("N") << QVariantList { QStringLiteral("x"), 7 } << cr("@N\"x7");
    QTest::newRow("integer then string")
        << QByteArray("N ") << QVariantList { 1, QStringLiteral("y") } << cr("@N 1;\"y");
    QTest::newRow("bool counts as integer")
        << QByteArray("B") << QVariantList { true } << cr("@B1");
    QTest::newRow("numeric text in a non-string type")
        << QByteArray("D") << QVariantList { QVariant(qlonglong(-12)) } << cr("@D-12");
    QTest::newRow("separator in command text is kept")
        << QByteArray("GAI ") << QVariantList { 3 } << cr("@GAI 3");
    QTest::newRow("own trailing separator removed")
        << QByteArray("X;") << QVariantList() << cr("@X");
    QTest::newRow("latin-1 string")
        << QByteArray("S") << QVariantList { QStringLiteral("\u00e9") } << QByteArray("@S\"\xe9\r");
}

void TestLineProtocol::buildFrame()
{
    QFETCH(QByteArray, command);
    QFETCH(QVariantList, args);
    QFETCH(QByteArray, frame);
    QCOMPARE(AbstractCommunicator::buildFrame(command, args), frame);
}

void TestLineProtocol::parseReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("result");
    QTest::addColumn<QVariantList>("args");

    const int ok = AbstractCommunicator::Success;
    const int fail = AbstractCommunicator::Failure;
    QTest::newRow("ack alone") << QByteArray("\x06") << ok << QVariantList();
    QTest::newRow("nak") << QByteArray("\x15") << fail << QVariantList { QStringLiteral("kept") };
    QTest::newRow("nothing") << QByteArray() << fail << QVariantList { QStringLiteral("kept") };
    QTest::newRow("data without ack")
        << cr("@12") << fail << QVariantList { QStringLiteral("kept") };
    QTest::newRow("empty data part") << cr("\x06@") << ok << QVariantList();
    QTest::newRow("ack and data missing CR") << QByteArray("\x06@12") << ok << QVariantList();
    QTest::newRow("three numbers") << cr("\x06@12;-4;7") << ok << QVariantList { 12, -4, 7 };
    QTest::newRow("space separator") << cr("\x06@3 4") << ok << QVariantList { 3, 4 };
    QTest::newRow("string") << cr("\x06@\"Model X") << ok
                            << QVariantList { QStringLiteral("Model X") };
    QTest::newRow("letter separator") << cr("\x06@12x34") << ok << QVariantList { 12, 34 };
    QTest::newRow("negative") << cr("\x06@-7") << ok << QVariantList { -7 };
    QTest::newRow("letters give zeros") << cr("\x06@abc") << ok << QVariantList { 0, 0, 0 };
    QTest::newRow("plus sign") << cr("\x06@+5") << ok << QVariantList { 5 };
    QTest::newRow("invalid sign run") << cr("\x06@+-;2") << ok << QVariantList { 0, 2 };
    QTest::newRow("leading separators") << cr("\x06@ ;;9") << ok << QVariantList { 9 };
    QTest::newRow("number then string")
        << cr("\x06@1;\"a;b 2") << ok << QVariantList { 1, QStringLiteral("a;b 2") };
    QTest::newRow("string keeps following text")
        << cr("\x06@\"x7") << ok << QVariantList { QStringLiteral("x7") };
    QTest::newRow("only the first data part")
        << QByteArray("\x06@1\r@2\r") << ok << QVariantList { 1 };
    QTest::newRow("bytes before ack") << cr("zz\x06@5") << ok << QVariantList { 5 };
    QTest::newRow("high byte ends a number") << cr("\x06@12\xb0"
                                                   "3")
                                             << ok << QVariantList { 12, 3 };
    QTest::newRow("overflow gives zero") << cr("\x06@99999999999") << ok << QVariantList { 0 };
    // Separators after the last number end the payload; no phantom 0 is added.
    QTest::newRow("trailing separator pair") << cr("\x06@5; ") << ok << QVariantList { 5 };
    QTest::newRow("trailing separators three") << cr("\x06@5;;;") << ok << QVariantList { 5 };
    QTest::newRow("separators only") << cr("\x06@ ; ") << ok << QVariantList();
    QTest::newRow("single trailing separator") << cr("\x06@5;") << ok << QVariantList { 5 };
}

void TestLineProtocol::parseReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, result);
    QFETCH(QVariantList, args);

    QVariantList decoded { QStringLiteral("kept") };
    QCOMPARE(int(AbstractCommunicator::parseReply(reply, decoded)), result);
    QCOMPARE(decoded, args);
    // Integers come back as integers, strings as strings.
    for (int i = 0; i < args.size(); ++i)
        QCOMPARE(decoded.at(i).userType(), args.at(i).userType());
}

void TestLineProtocol::failedParseLeavesArgumentsAlone()
{
    QVariantList args { 1, 2 };
    QCOMPARE(AbstractCommunicator::parseReply(QByteArray("\x15@3\r"), args),
        AbstractCommunicator::Failure);
    QCOMPARE(args, (QVariantList { 1, 2 }));
}

void TestLineProtocol::roundTripThroughCamera_data()
{
    QTest::addColumn<QVariantList>("args");
    QTest::addColumn<QVariantList>("decoded");

    QTest::newRow("two integers") << QVariantList { 12, 3 } << QVariantList { 12, 3 };
    QTest::newRow("negative") << QVariantList { -1 } << QVariantList { -1 };
    QTest::newRow("string") << QVariantList { QStringLiteral("Bench 1") }
                            << QVariantList { QStringLiteral("Bench 1") };
    // A string swallows what follows it.
    QTest::newRow("string before integer")
        << QVariantList { QStringLiteral("a"), 5 } << QVariantList { QStringLiteral("a5") };
    QTest::newRow("no arguments") << QVariantList() << QVariantList();
}

void TestLineProtocol::roundTripThroughCamera()
{
    QFETCH(QVariantList, args);
    QFETCH(QVariantList, decoded);

    SimulatedCamera camera(QStringLiteral("Rt"));
    const auto set = camera.receive(AbstractCommunicator::buildFrame("XYZ", args));
    QCOMPARE(set.size(), 1);
    QCOMPARE(set.first().bytes, QByteArray("\x06"));
    const auto query = camera.receive(AbstractCommunicator::buildFrame("XYZ?", {}));
    QCOMPARE(query.size(), 1);
    QVariantList out;
    QCOMPARE(
        AbstractCommunicator::parseReply(query.first().bytes, out), AbstractCommunicator::Success);
    QCOMPARE(out, decoded);
}

void TestLineProtocol::cameraAnswers_data()
{
    QTest::addColumn<QList<QByteArray>>("commands");
    QTest::addColumn<QByteArray>("lastAnswer");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QByteArray>("storedText");

    QTest::newRow("identification")
        << QList<QByteArray> { "ID?" } << cr("\x06@\"VirtualDevice-Bench") << QString()
        << QByteArray();
    QTest::newRow("error register")
        << QList<QByteArray> { "ERR?" } << cr("\x06@0") << QString() << QByteArray();
    QTest::newRow("set answers ack") << QList<QByteArray> { "XYZ12;3" } << QByteArray("\x06")
                                     << QStringLiteral("XYZ") << QByteArray("12;3");
    QTest::newRow("set then query") << QList<QByteArray> { "XYZ12;3", "XYZ?" } << cr("\x06@12;3")
                                    << QStringLiteral("XYZ") << QByteArray("12;3");
    QTest::newRow("never set") << QList<QByteArray> { "ABC?" } << cr("\x06@") << QString()
                               << QByteArray();
    QTest::newRow("digit ends the name") << QList<QByteArray> { "LUT2?" } << QByteArray("\x06")
                                         << QStringLiteral("LUT") << QByteArray("2?");
    QTest::newRow("set of ID does not change ID?")
        << QList<QByteArray> { "ID\"Other", "ID?" } << cr("\x06@\"VirtualDevice-Bench")
        << QStringLiteral("ID") << QByteArray("\"Other");
    QTest::newRow("set of ERR does not change ERR?")
        << QList<QByteArray> { "ERR5", "ERR?" } << cr("\x06@0") << QStringLiteral("ERR")
        << QByteArray("5");
    QTest::newRow("string value") << QList<QByteArray> { "NAME\"a b", "NAME?" } << cr("\x06@\"a b")
                                  << QStringLiteral("NAME") << QByteArray("\"a b");
    QTest::newRow("later set replaces") << QList<QByteArray> { "G1", "G2", "G?" } << cr("\x06@2")
                                        << QStringLiteral("G") << QByteArray("2");
    QTest::newRow("space before argument") << QList<QByteArray> { "GAI 5", "GAI?" } << cr("\x06@ 5")
                                           << QStringLiteral("GAI") << QByteArray(" 5");
}

void TestLineProtocol::cameraAnswers()
{
    QFETCH(QList<QByteArray>, commands);
    QFETCH(QByteArray, lastAnswer);
    QFETCH(QString, storedName);
    QFETCH(QByteArray, storedText);

    SimulatedCamera camera(QStringLiteral("Bench"));
    QByteArray answer;
    for (const QByteArray &command : commands)
        answer = camera.answer(command);
    QCOMPARE(answer, lastAnswer);
    if (!storedName.isEmpty())
        QCOMPARE(camera.value(storedName), storedText);
}

void TestLineProtocol::cameraFraming_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QList<QByteArray>>("received");

    QTest::newRow("noise before the frame")
        << QList<QByteArray> { "xx\r\x06@ERR?\r" } << cr("\x06@0") << QList<QByteArray> { "ERR?" };
    QTest::newRow("two frames at once")
        << QList<QByteArray> { "@A1\r@A?\r" } << QByteArray("\x06") + cr("\x06@1")
        << QList<QByteArray> { "A1", "A?" };
    QTest::newRow("frame split over writes")
        << QList<QByteArray> { "@ER", "R?", "\r" } << cr("\x06@0") << QList<QByteArray> { "ERR?" };
    QTest::newRow("incomplete frame waits")
        << QList<QByteArray> { "@ID?" } << QByteArray() << QList<QByteArray>();
}

void TestLineProtocol::cameraFraming()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QByteArray, output);
    QFETCH(QList<QByteArray>, received);

    SimulatedCamera camera(QStringLiteral("F"));
    QByteArray all;
    for (const QByteArray &bytes : writes) {
        const auto chunks = camera.receive(bytes);
        for (const auto &chunk : chunks) {
            QCOMPARE(chunk.delayMs, 0);
            all += chunk.bytes;
        }
    }
    QCOMPARE(all, output);
    QCOMPARE(camera.receivedCommands(), received);
}

void TestLineProtocol::metaTypesRegistered_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("CommStatus") << QByteArray("CommStatus");
    QTest::newRow("QextPortInfo") << QByteArray("QextPortInfo");
    QTest::newRow("Result") << QByteArray("AbstractCommunicator::Result");
    QTest::newRow("bool pointer") << QByteArray("bool *");
    QTest::newRow("list pointer") << QByteArray("QVariantList *");
}

void TestLineProtocol::metaTypesRegistered()
{
    QFETCH(QByteArray, name);
    MetaTypes::registerAll();
    const int id = QMetaType::type(name.constData());
    QVERIFY2(QMetaType::isRegistered(id), name.constData());
    QVERIFY(id != QMetaType::UnknownType);
}

QTEST_GUILESS_MAIN(TestLineProtocol)
#include "tst_lineprotocol.moc"
