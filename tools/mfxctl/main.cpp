// mfxctl: the program's camera settings without a window, for production lines and scripts.
// It uses the program's discovery, description choice, queue, value engine and conversions;
// data goes to standard output, messages to standard error, and the exit code says how it went.

#include "app/appsettings.h"
#include "app/camerasession.h"
#include "app/commandline.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "ctlcommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSet>
#include <QTextStream>

#include <cstdio>

namespace {

bool showDiagnostics = false;

// The diagnostics of the core and of Qt are for developers; users see them with --debug. The
// program's own warnings for users (a port they may not open) always reach them.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const bool forUsers = type == QtCriticalMsg || type == QtFatalMsg
        || (type == QtWarningMsg && QByteArray(context.category).startsWith("marnifex."));
    if (!showDiagnostics && !forUsers)
        return;
    QTextStream(stderr) << "mfxctl: " << message << '\n';
}

const char *const kUsage = R"(Usage: mfxctl [options] [V:<name>[=<state file>] ...] <command>

Reads and changes camera settings through the camera descriptions, without a window.

Commands:
  ports                 every port with the identification of the camera on it, or none
  id                    the identification of the camera
  get NAME...           values as the tree shows them (lists and regions with contents)
  set NAME=VALUE...     change values (enumerations by item name or number, booleans
                        true/false, lists as numbers, regions as x,y,width,height)
  dump [--level beginner|expert|guru|developer] [--json] [--transfers]
                        every available element of the level (default guru) with its value
  save FILE.cdt         save the persistent settings to a settings file
  load FILE.cdt [--dry-run]
                        load a settings file into the camera (or only show what it would set)
  diff FILE.cdt         the elements whose file value differs from the camera's
  send COMMAND          a console command; prints the reply
  script FILE           a console script, one command a line; prints the replies

Options:
  --port P              the port: a name that "ports" lists or a device path (default: the
                        only port with a camera)
  --description FILE    the camera description (default: the best match, as the program
                        chooses it)
  --debug               print the program's diagnostics
  --help, --version

NAME is an element's name or its group path and name ("Image/LUT/LUT enable").
V:<name> adds a simulated camera; with =<state file> it starts with the values that the
console set commands in the file give it.

Exit codes: 0 success, 1 camera or exchange failure, 2 usage error, 3 file error.
)";

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mfxctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(MARNIFEX_VERSION));
    qInstallMessageHandler(messageHandler);

    QTextStream out(stdout);
    QTextStream err(stderr);
    out.setCodec("UTF-8");
    err.setCodec("UTF-8");
    const auto usageError = [&err](const QString &message) {
        err << "mfxctl: " << message << "\nTry mfxctl --help.\n";
        return int(CameraSession::UsageError);
    };

    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("P"));
    const QCommandLineOption description(
        QStringLiteral("description"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption level(QStringLiteral("level"), QString(), QStringLiteral("LEVEL"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption transfers(QStringLiteral("transfers"));
    const QCommandLineOption dryRun(QStringLiteral("dry-run"));
    const QCommandLineOption debug(QStringLiteral("debug"));
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({ port, description, level, json, transfers, dryRun, debug, help, version });
    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        out << kUsage;
        return CameraSession::Ok;
    }
    if (parser.isSet(version)) {
        out << "mfxctl " << QCoreApplication::applicationVersion() << '\n';
        return CameraSession::Ok;
    }
    showDiagnostics = parser.isSet(debug);

    // Simulated cameras first, then the command and its arguments.
    QStringList words = parser.positionalArguments();
    QStringList cameras { QCoreApplication::arguments().value(0) };
    QSet<QString> names;
    while (!words.isEmpty() && words.first().startsWith(QLatin1String("V:"))) {
        // A nameless camera would answer "VirtualDevice-", and a second one of the same name
        // would hide behind the first.
        const QString name = words.first().mid(2).section(QLatin1Char('='), 0, 0);
        if (name.isEmpty())
            return usageError(QStringLiteral("V: needs a camera name: V:<name>"));
        if (names.contains(name))
            return usageError(QStringLiteral("Simulated camera %1 given twice").arg(name));
        names.insert(name);
        cameras.append(words.takeFirst());
    }
    if (words.isEmpty())
        return usageError(QStringLiteral("No command given"));
    const QString command = words.takeFirst();

    const QMap<QString, QPair<int, int>> arity { { "ports", { 0, 0 } }, { "id", { 0, 0 } },
        { "get", { 1, -1 } }, { "set", { 1, -1 } }, { "dump", { 0, 0 } }, { "save", { 1, 1 } },
        { "load", { 1, 1 } }, { "diff", { 1, 1 } }, { "send", { 1, -1 } }, { "script", { 1, 1 } } };
    if (!arity.contains(command))
        return usageError(QStringLiteral("Unknown command %1").arg(command));
    const QPair<int, int> count = arity.value(command);
    if (words.size() < count.first || (count.second >= 0 && words.size() > count.second))
        return usageError(QStringLiteral("Wrong number of arguments for %1").arg(command));
    if (command != QLatin1String("dump")
        && (parser.isSet(level) || parser.isSet(json) || parser.isSet(transfers)))
        return usageError(QStringLiteral("--level, --json and --transfers belong to dump"));
    if (command != QLatin1String("load") && parser.isSet(dryRun))
        return usageError(QStringLiteral("--dry-run belongs to load"));
    if (command == QLatin1String("ports") && parser.isSet(port))
        return usageError(QStringLiteral("ports lists every port; --port does not go with it"));
    Visibility dumpLevel = Visibility::Guru;
    if (parser.isSet(level)) {
        const QStringList levels { "beginner", "expert", "guru", "developer" };
        const int index = levels.indexOf(parser.value(level).toLower());
        if (index < 0)
            return usageError(QStringLiteral("Unknown level %1").arg(parser.value(level)));
        dumpLevel = Visibility(index);
    }
    const QString line = words.join(QLatin1Char(' '));
    if (command == QLatin1String("send") && line.trimmed().isEmpty())
        return usageError(QStringLiteral("No console command given"));

    AppSettings::instance(); // the program's description search paths
    MetaTypes::registerAll();
    // The program's simulated cameras wait half the time limit per read to feel like a slow
    // line in the window; here that would only make scripts wait.
    VirtualCommunicator::setDelayDivisor(0);
    QStringList stateErrors;
    CommandLine(cameras).registerVirtualDevices(&stateErrors);
    if (!stateErrors.isEmpty()) {
        err << "mfxctl: " << stateErrors.join(QStringLiteral("\nmfxctl: ")) << '\n';
        return CameraSession::FileError;
    }

    CameraSession session;
    session.start();
    if (command == QLatin1String("ports")) {
        for (const CameraSession::Port &p : session.discover())
            out << p.first << '\t' << (p.second.isEmpty() ? QStringLiteral("none") : p.second)
                << '\n';
        return CameraSession::Ok;
    }

    QString error;
    QByteArray identification;
    if (const int result = session.usePort(parser.value(port), &identification, &error)) {
        err << "mfxctl: " << error << '\n';
        return result;
    }
    if (command == QLatin1String("id")) {
        out << QString::fromLatin1(identification) << '\n';
        return CameraSession::Ok;
    }
    CtlCommands commands(&session, out, err);
    if (command == QLatin1String("send"))
        return commands.send(line);
    if (command == QLatin1String("script"))
        return commands.script(words.first());

    QString warning;
    if (const int result
        = session.useDescription(identification, parser.value(description), &error, &warning)) {
        err << "mfxctl: " << error << '\n';
        return result;
    }
    if (!warning.isEmpty())
        err << "mfxctl: " << warning << '\n';
    if (command == QLatin1String("get"))
        return commands.get(words);
    if (command == QLatin1String("set"))
        return commands.set(words);
    if (command == QLatin1String("dump"))
        return commands.dump(dumpLevel, parser.isSet(json), parser.isSet(transfers));
    if (command == QLatin1String("save"))
        return commands.save(words.first());
    if (command == QLatin1String("load"))
        return commands.load(words.first(), parser.isSet(dryRun));
    return commands.diff(words.first());
}
