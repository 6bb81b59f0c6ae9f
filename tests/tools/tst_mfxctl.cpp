#include "comm/simulatedcamera.h"
#include "comm/simulatedcamerastate.h"
#include "tests/comm/ptycamerafixture.h"
#include "tests/common/datatable.h"

#include <QImage>
#include <QProcess>
#include <QtTest>

namespace {

const QString kSource = qEnvironmentVariable("MARNIFEX_SOURCE_DIR");
const QString kState = kSource + "/XML/VirtualDevice-Demo.state";

struct Run
{
    int exit = -1;
    QString out, err;
};

Run run(const QString &program, const QStringList &args, const QString &workDir,
    const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setWorkingDirectory(workDir);
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(120000))
        process.kill();
    // A system serial port that a test running beside this one holds is said busy while mfxctl
    // looks for cameras; that is no output of the case.
    static const QRegularExpression busy(
        QStringLiteral(R"(^mfxctl: Cannot open /dev/tty\S*: another program is using it\.\n)"),
        QRegularExpression::MultilineOption);
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        QString::fromUtf8(process.readAllStandardOutput()),
        QString::fromUtf8(process.readAllStandardError()).remove(busy) };
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Nothing to write counts as a failure: it stands for a file that could not be read.
bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return !data.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestMfxctl : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void settingsFiles();
    void installedFromAnotherFolder();
    void imagesAsCommitted();
};

using Faults = QList<int>;

void TestMfxctl::commands_data()
{
    columns<QStringList, Faults, int, QString, QString, QStringList>(
        { "args", "faults", "exit", "out", "err", "values" });

    // "%tty": the camera on the pseudo-terminal, holding the demo state; leading the arguments,
    // it is the port. out "" expects no output, "...text" output containing text; err "=text" is
    // the whole error output, other texts are contained in it; values are the camera's afterwards.
    const auto row
        = [](const char *name, const QStringList &args, int exit, const QString &out = "",
              const QString &err = "", const QStringList &values = {}, const Faults &faults = {}) {
              QTest::newRow(name) << args << faults << exit << out << err << values;
          };
    using C = SimulatedCamera;
    // The identification is answered; every attempt at the next command is not.
    const Faults noReply { C::NoFault, C::NoAnswer, C::NoAnswer, C::NoAnswer };

    row("help", { "--help" }, 0, "...Exit codes: 0 success, 1 camera");
    row("version", { "--version" }, 0, "mfxctl 1.0.8\n");
    row("id", { "%tty", "id" }, 0, "VirtualDevice-Demo\n");
    row("get shows values as the tree does",
        { "%tty", "get", "Gain", "Exposure time", "Test pattern", "Flip horizontal", "User id",
            "Image/Region/Region of interest" },
        0, "12 dB\n10000 us\nOff\ntrue\nLine 3 left\n64,32,1152,960\n");
    row("dump at a level", { "%tty", "dump", "--level", "beginner" }, 0,
        "Acquisition/Exposure time\t10000 us\nAcquisition/Analog/Gain\t12 dB\n"
        "Image/Flip horizontal\ttrue\nStatus/Sensor temperature\t41.2 \u00b0C\n"
        "Device/User id\tLine 3 left\n");
    row("dump as JSON with the regions", { "%tty", "dump", "--json", "--transfers" }, 0,
        "...\"value\": [\n            {\n                \"height\": 960,");
    row("set converts back",
        { "%tty", "set", "Gain=13.57 dB", "Test pattern=vertical ramp", "Flip horizontal=off",
            "User id=Bay 2", "Region of interest=1,2,3,4" },
        0, "", "", { "GAI=135", "TPN=2", "FLH=0", "UID=\"Bay 2", "ROI=1;2;3;4" });
    row("enumeration by number; a command sends the waiting values",
        { "%tty", "set", "Test pattern=3", "Red gain=100", "Apply white balance=" }, 0, "", "",
        { "TPN=3", "WBL=100;135" });
    row("a value waiting for its command is reported", { "%tty", "set", "Red gain=99" }, 0, "",
        "Red gain reaches the camera only with the command WhiteBalance", { "WBL=112;135" });
    row("send", { "%tty", "send", "gai?" }, 0, "120\n");
    row("script", { "%tty", "script", "%script" }, 0, "120\n125\n", "", { "GAI=125" });

    row("unknown command", { "frobnicate" }, 2, "", "Unknown command frobnicate");
    row("unknown option", { "--bogus", "id" }, 2, "", "Unknown option 'bogus'");
    row("unknown element", { "%tty", "get", "Nope" }, 2, "", "Unknown element Nope");
    row("out of range sends nothing", { "%tty", "set", "Exposure time=20", "Gain=24.1" }, 2, "",
        "Gain takes 0 to 24, not 24.1", { "EXP=10000", "GAI=120" });
    row("not convertible", { "%tty", "set", "Flip horizontal=maybe" }, 2, "",
        "Flip horizontal takes true or false");
    row("read-only", { "%tty", "set", "Sensor temperature=20" }, 2, "",
        "Sensor temperature is read-only");
    row("no such item", { "%tty", "set", "Test pattern=Stripes" }, 2, "",
        "Test pattern takes one of: Off,");
    row("a region starts at 0", { "%tty", "set", "Region of interest=-1,2,3,4" }, 2, "",
        "Region of interest takes regions", { "ROI=64;32;1152;960" });
    row("no more regions than the camera has",
        { "%tty", "set", "Region of interest=1,2,3,4 5,6,7,8" }, 2, "",
        "Region of interest takes at most 1 region, not 2", { "ROI=64;32;1152;960" });
    row("characters outside Latin-1", { "%tty", "send", "gai\u20ac?" }, 2, "",
        "Characters outside Latin-1 cannot be sent");
    row("a simulated camera needs a name", { "V:=%state", "id" }, 2, "", "V: needs a camera name");
    row("a simulated camera given twice", { "V:A", "V:A=%state", "id" }, 2, "",
        "Simulated camera A given twice");
    row("an empty list", { "%tty", "set", "LUT=" }, 2, "", "LUT takes whole numbers", { "LTS=" });
    row("ports takes no port", { "V:Demo", "--port", "Demo", "ports" }, 2, "",
        "--port does not go with it");
    row("unknown port", { "--port", "/nonexistent/ttyX", "id" }, 2, "", "Unknown port");
    row("several cameras", { "V:A", "V:B", "id" }, 2, "", "choose one with --port");

    row("no camera answers", { "%tty", "id" }, 1, "", "No camera answers", {}, { C::NoAnswer });
    row("NAK", { "%tty", "send", "gai?" }, 1, "", "No valid reply to GAI?", {},
        { C::NoFault, C::NakAnswer, C::NakAnswer, C::NakAnswer });
    row("no reply", { "%tty", "get", "Gain" }, 1, "\n", "No valid reply from the camera to GAI?",
        {}, noReply);
    row("control characters in a failed command are shown escaped",
        { "%tty", "--description", "%description", "get", "Exposure time" }, 1, "\n",
        "No valid reply from the camera to EXP[9B]?", {}, noReply);
    row("a line end is refused once, not blamed on the camera",
        { "%tty", "--description", "%description", "set", "LUT=1 2 3" }, 1, "",
        "=mfxctl: Not sent: a line end in the command LUT[ETX] or its arguments would reach the "
        "camera as a command of its own\n");
    row("port cannot be opened", { "--port", "/dev/null", "id" }, 1, "", "Cannot open port");

    row("unreadable description", { "%tty", "--description", "/nonexistent.xml", "id" }, 0,
        "VirtualDevice-Demo\n");
    row("unreadable description for values",
        { "%tty", "--description", "/nonexistent.xml", "get", "Gain" }, 3, "",
        "Cannot read /nonexistent.xml");
    row("no description fits", { "V:Other", "get", "Gain" }, 3, "", "No description fits");
    row("state file missing", { "V:Demo=/nonexistent.state", "id" }, 3, "",
        "Simulated camera Demo starts without values");
    row("script missing", { "%tty", "script", "/nonexistent" }, 3, "", "Cannot read");

    row("simulated camera with its state", { "V:Demo=%state", "get", "Gain" }, 0, "12 dB\n");
    row("ports", { "V:Demo", "ports" }, 0, "...Demo\tVirtualDevice-Demo\n");
}

void TestMfxctl::commands()
{
    QFETCH(QStringList, args);
    QFETCH(Faults, faults);
    QFETCH(int, exit);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(QStringList, values);

    PtyCameraFixture tty(QStringLiteral("Demo"));
    QVERIFY(tty.isOpen());
    QList<QByteArray> state;
    QVERIFY(SimulatedCameraState::read(kState, &state, nullptr));
    SimulatedCameraState::apply(state, tty.camera());
    for (const int fault : faults)
        tty.camera().queueFault(SimulatedCamera::FaultKind(fault));
    QTemporaryDir dir;
    const QString script = dir.filePath("script.txt");
    QVERIFY(writeFile(script, "GAI?\r\n\nGAI125\rGAI?\n"));
    // The demo description with a terminal control character and a line end in command codes.
    const QString description = dir.filePath("description.xml");
    QVERIFY(writeFile(description,
        readFile(kSource + "/XML/VirtualDevice.xml")
            .replace("<Code>EXP<", "<Code>EXP&#155;<")
            .replace("<Code>LUT<", "<Code>LUT&#13;<")));
    if (args.value(0) == "%tty")
        args.prepend("--port");
    args.replaceInStrings("%tty", tty.path());
    args.replaceInStrings("%description", description);
    args.replaceInStrings("%state", kState);
    args.replaceInStrings("%script", script);

    const Run result = run(MFXCTL_PATH, args, kSource);
    QVERIFY2(result.exit == exit, qPrintable(result.err));
    if (out.startsWith("..."))
        QVERIFY2(result.out.contains(out.mid(3)), qPrintable(result.out));
    else
        QCOMPARE(result.out, out);
    if (err.isEmpty() || err.startsWith('='))
        QCOMPARE(result.err, err.mid(1));
    else
        QVERIFY2(result.err.contains(err), qPrintable(result.err));
    for (const QString &value : values) {
        const QString code = value.section('=', 0, 0);
        QCOMPARE(code + '=' + QString::fromLatin1(tty.camera().value(code)), value);
    }
}

void TestMfxctl::settingsFiles()
{
    PtyCameraFixture tty(QStringLiteral("Demo"));
    QList<QByteArray> state;
    QVERIFY(SimulatedCameraState::read(kState, &state, nullptr));
    SimulatedCameraState::apply(state, tty.camera());
    QTemporaryDir dir;
    const QString saved = dir.filePath("demo.cdt");
    const auto ctl = [&](const QStringList &args) {
        return run(MFXCTL_PATH, QStringList { "--port", tty.path() } + args, kSource);
    };
    QCOMPARE(ctl({ "save", saved }).exit, 0);

    tty.camera().setValue("GAI", "135");
    tty.camera().setValue("LUT", "1;77");
    tty.camera().answer("LUT1;77");
    Run result = ctl({ "diff", saved });
    QCOMPARE(result.exit, 0);
    const QStringList lines = result.out.split('\n');
    QCOMPARE(lines.value(0), QString("Acquisition/Analog/Gain\t12\t13.5"));
    QVERIFY2(
        lines.value(1).startsWith("Image/LUT/LUT\t0 5 9 ") && lines.value(1).contains("\t0 77 9 "),
        qPrintable(lines.value(1)));
    QCOMPARE(lines.size(), 3);
    result = ctl({ "load", saved, "--dry-run" });
    QVERIFY(result.out.contains("\nAcquisition/Analog/Gain\t12\n"));
    QCOMPARE(tty.camera().value("GAI"), QByteArray("135"));
    result = ctl({ "load", saved });
    QCOMPARE(result.exit, 0);
    QCOMPARE(tty.camera().value("GAI"), QByteArray("120"));
    QCOMPARE(tty.camera().answer("LUT?1"), QByteArray("\x06@1;5\r"));
    QCOMPARE(ctl({ "diff", saved }).out, QString());

    // Another type, and a damaged value: nothing is sent.
    const QByteArray xml = readFile(saved);
    for (const auto &[from, to] : { std::pair("type=\"Demo\"", "type=\"Bench\""),
             std::pair(">12</item><item id=\"Black", ">abc</item><item id=\"Black") }) {
        QVERIFY(writeFile(saved, QByteArray(xml).replace(from, to)));
        tty.camera().setValue("EXP", "5");
        QCOMPARE(ctl({ "load", saved }).exit, 3);
        QCOMPARE(tty.camera().value("EXP"), QByteArray("5"));
    }
}

// Installed into a new prefix, the program and mfxctl find their descriptions from anywhere.
void TestMfxctl::installedFromAnotherFolder()
{
    QTemporaryDir prefix;
    QTemporaryDir elsewhere;
    const Run install = run(CMAKE_PATH,
        { "--install", MARNIFEX_BUILD_DIR, "--prefix", prefix.path() }, elsewhere.path());
    QVERIFY2(install.exit == 0, qPrintable(install.out + install.err));
    for (const char *file : { "bin/marnifex", "bin/mfxctl", "bin/mfxdescribe", "bin/mfxttycamera",
             "share/marnifex/XML/VirtualDevice.xml", "share/marnifex/XML/VirtualDevice-Demo.state",
             "share/icons/hicolor/16x16/apps/marnifex.png",
             "share/icons/hicolor/256x256/apps/marnifex.png", "bin/relay/MfxRelay32",
             "lib/marnifex/libmfxsimclserial.so" })
        QVERIFY2(QFileInfo(prefix.filePath(file)).size() > 0, file);
    QVERIFY(readFile(prefix.filePath("share/applications/marnifex.desktop"))
                .contains("\nExec=\"" + prefix.filePath("bin/marnifex").toUtf8() + "\"\n"));

    // Neither needs a display to answer.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.remove("DISPLAY");
    const QString marnifex = prefix.filePath("bin/marnifex");
    QCOMPARE(
        run(marnifex, { "--version" }, elsewhere.path(), env).out, QString("Marnifex 1.0.8\n"));
    const Run help = run(marnifex, { "--help", "V:Demo" }, elsewhere.path(), env);
    QCOMPARE(help.exit, 0);
    QVERIFY(help.out.startsWith("Usage: marnifex"));
    QCOMPARE(run(MFXIMAGES_PATH, { "--icons", elsewhere.path() }, elsewhere.path(), env).exit, 0);

    // A description found only in the user's data folder, after the installed ones.
    QDir data(elsewhere.filePath("data/marnifex/XML"));
    QVERIFY(data.mkpath("."));
    QVERIFY(writeFile(data.filePath("extra.xml"),
        readFile(kSource + "/XML/VirtualDevice.xml")
            .replace("Supported=\"Demo,Bench\"", "Supported=\"Extra\"")));
    env.insert("XDG_DATA_HOME", elsewhere.filePath("data"));
    const QString mfxctl = prefix.filePath("bin/mfxctl");
    const QString state = prefix.filePath("share/marnifex/XML/VirtualDevice-Demo.state");
    Run got = run(mfxctl, { "V:Demo=" + state, "get", "Gain" }, elsewhere.path(), env);
    QCOMPARE(got.out + got.err, QString("12 dB\n"));
    got = run(mfxctl, { "V:Extra=" + state, "get", "User id" }, elsewhere.path(), env);
    QCOMPARE(got.out + got.err, QString("Line 3 left\n"));
    // Camera Link ports, and the same through the relay program beside mfxctl.
    QProcessEnvironment link = env;
    link.insert("MARNIFEX_CLSERIAL", prefix.filePath("lib/marnifex/libmfxsimclserial.so"));
    link.insert("MARNIFEX_SIMCL_CAMERAS", "Demo, ");
    link.insert("MARNIFEX_SIMCL_STATE", elsewhere.filePath("missing.state"));
    got = run(mfxctl, { "ports" }, elsewhere.path(), link);
    QVERIFY2(got.out.startsWith("MfxSimLink - port0\tVirtualDevice-Demo\n")
            && got.out.endsWith("\nrelay:MfxSimLink - port0\tVirtualDevice-Demo\n")
            && got.err.contains("mfxctl: Simulated Camera Link cameras start without values"),
        qPrintable(got.out + got.err));
    link.remove("MARNIFEX_SIMCL_STATE");
    // The relay program is found from the build tree as well.
    link.insert("MARNIFEX_RELAY_CAMERAS", "Relayed");
    got = run(MFXCTL_PATH, { "ports" }, elsewhere.path(), link);
    QVERIFY2(got.out.endsWith("\nrelay:Relayed\tVirtualDevice-Relayed\n"), qPrintable(got.out));

    // The program itself, started as from a menu: it loads the installed descriptions.
    QProcess program;
    env.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(elsewhere.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(marnifex, { "--debug", "V:Demo" });
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT(
        (log += program.readAll(), log.contains("Loaded  3 camera description files")), 20000);
    QVERIFY(log.contains("Found description file:  \"VirtualDevice\" (\"Extra\")"));
    program.kill();
    QVERIFY(program.waitForFinished(5000));
}

// The committed images are exactly what mfximages draws, on any processor.
void TestMfxctl::imagesAsCommitted()
{
    QTemporaryDir drawn;
    QCOMPARE(run(MFXIMAGES_PATH, { drawn.path() }, drawn.path()).exit, 0);
    const QDir committed(kSource + "/resources/images");
    const QStringList names = committed.entryList({ "*.png" });
    QCOMPARE(QDir(drawn.path()).entryList({ "*.png" }), names);
    for (const QString &name : names)
        QVERIFY2(
            QImage(committed.filePath(name)) == QImage(drawn.filePath(name)), qPrintable(name));
}

QTEST_GUILESS_MAIN(TestMfxctl)
#include "tst_mfxctl.moc"
