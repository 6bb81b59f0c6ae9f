// Times building, filtering and re-levelling the parameter tree for generated descriptions of
// 1,000 and 10,000 elements, with every camera value already cached (no camera waits), and
// prints the ratio of the two sizes.

#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/commandchannel.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/standarditemmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>

namespace {

/// No camera behind it: queued requests are dropped, blocking ones fail at once.
class NoCameraChannel : public CommandChannel
{
public:
    bool sendCommand(const QString &, const QByteArray &, const QVariantList &, bool) override
    {
        return true;
    }
    bool sendCommandDirect(const QByteArray &, const QVariantList &, bool, QVariantList *) override
    {
        return false;
    }
    bool isOnline() const override { return true; }
    void setRetries(int) override { }
};

const int ParameterCount = 200;

QString parameter(int i)
{
    return QStringLiteral("P%1").arg(i % ParameterCount);
}

// Elements spread over 10 top-level groups with 10 sub-groups each; kinds, levels and
// availability expressions vary, a third of the elements carry an expression that reads a
// (cached) value.
QString generate(int elements, bool expressions)
{
    QString xml;
    QTextStream out(&xml);
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CameraDescription MajorVersion=\"1\" "
           "MinorVersion=\"0\" SubMinorVersion=\"0\" ModelName=\"Bench\" Supported=\"\" "
           "VendorName=\"Bench\"><CommandSet>";
    for (int p = 0; p < ParameterCount; ++p) {
        out << "<Command><Id>C" << p << "</Id><Code>C" << p
            << "</Code><CachedUpdate>False</CachedUpdate><DeveloperOnly>False</DeveloperOnly>"
               "<ParamsSet><Int><Id>P"
            << p << "</Id></Int></ParamsSet><ParamsGet/><ReturnValueSet/><ReturnValueGet><Int><Id>P"
            << p << "</Id></Int></ReturnValueGet></Command>";
    }
    out << "</CommandSet><Display><Groups/><DisplayElements>";
    const char *levels[] = { "Beginner", "Expert", "Guru", "Developer", "Hidden" };
    for (int i = 0; i < elements; ++i) {
        const QString ref = parameter(i);
        QString available;
        if (expressions && i % 3 == 1)
            available = QStringLiteral("%1 &gt; 3").arg(parameter(i + 7));
        out << "<DisplayElement><Name>E" << i << "</Name><Description>Element " << i
            << "</Description><ToolTip>E" << i << "</ToolTip><Group>G" << (i % 10) << "/S"
            << (i / 10 % 10) << "</Group><Visibility>" << levels[i % 5]
            << "</Visibility><AccessMode>RW</AccessMode><Cacheable>True</Cacheable>"
               "<InvalidatedBy>C"
            << (i % ParameterCount) << "</InvalidatedBy><IsAvailable>" << available
            << "</IsAvailable><Persistent>True</Persistent>";
        switch (i % 4) {
        case 0:
            out << "<Integer><MinimumValue>0</MinimumValue><MaximumValue>100</MaximumValue>"
                   "<Increment>1</Increment><Prefix/><Suffix>dB</Suffix><Reference>"
                << ref << "</Reference></Integer>";
            break;
        case 1:
            out << "<Bool><Reference>" << ref
                << "</Reference><TrueValue>1</TrueValue><FalseValue>0</FalseValue></Bool>";
            break;
        case 2:
            out << "<Enumeration><Items><Item><Value>0</Value><Name>Off</Name></Item><Item>"
                   "<Value>1</Value><Name>On</Name></Item></Items><Reference>"
                << ref << "</Reference></Enumeration>";
            break;
        default:
            out << "<Double><MinimumValue>0</MinimumValue><MaximumValue>10</MaximumValue>"
                   "<Increment>0.1</Increment><Prefix/><Suffix/><Convert><Multiply>0.1"
                   "</Multiply><Add>0</Add></Convert><Reference>"
                << ref << "</Reference></Double>";
            break;
        }
        out << "</DisplayElement>";
    }
    out << "</DisplayElements></Display></CameraDescription>\n";
    return xml;
}

// Processor time of the whole process: unlike the wall clock it does not count the time the
// shared machine gives to other programs.
double cpuMilliseconds()
{
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
}

double milliseconds(const std::function<void()> &work, double *cpu = nullptr)
{
    QElapsedTimer timer;
    const double cpuStart = cpuMilliseconds();
    timer.start();
    work();
    const double wall = timer.nsecsElapsed() / 1e6;
    if (cpu)
        *cpu = cpuMilliseconds() - cpuStart;
    return wall;
}

/// Visits every row the view could show, the way a view asks for them.
int walk(const QAbstractItemModel &model, const QModelIndex &parent)
{
    int rows = 0;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex name = model.index(row, 0, parent);
        const QModelIndex value = model.index(row, 1, parent);
        if (model.parent(name) != parent || !value.isValid())
            return -1;
        rows += 1 + walk(model, name);
    }
    return rows;
}

struct Figures
{
    double build = 0;
    double filter = 0;
    double level = 0;
    double rebuild = 0;
    double teardown = 0;
    double buildCpu = 0;
    double levelCpu = 0;
    int shownAtStart = 0;
    int shownAfterLevel = 0;
};

Figures run(int elements, bool expressions, const QString &folder)
{
    const QString path = QStringLiteral("%1/bench%2.xml").arg(folder).arg(elements);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write(generate(elements, expressions).toUtf8());
    file.close();
    CameraDescriptionFile description(path);
    if (description.displayElements().size() != elements)
        qFatal("generated description has %d elements", description.displayElements().size());

    NoCameraChannel channel;
    CameraDatabase database(&channel);
    database.setDescription(&description, QStringLiteral("Bench"), QString());
    for (int p = 0; p < ParameterCount; ++p)
        database.updateCachedValue(QStringLiteral("P%1").arg(p), p % 10);

    ModelHiddenItemFilter filter;
    std::unique_ptr<StandardItemModel> model(new StandardItemModel(&filter));
    filter.setSourceModel(model.get());

    Figures figures;
    figures.build
        = milliseconds([&] { model->loadDescription(&database, &description); }, &figures.buildCpu);
    figures.filter = milliseconds([&] { figures.shownAtStart = walk(filter, QModelIndex()); });
    figures.level = milliseconds([&] { model->setLevel(3); }, &figures.levelCpu);
    figures.shownAfterLevel = walk(filter, QModelIndex());
    figures.rebuild = milliseconds([&] {
        database.setDescription(&description, QStringLiteral("Bench"), QString());
        model->loadDescription(&database, &description);
    });
    // The cells are still subscribed: each one leaves the database's subscriber lists.
    figures.teardown = milliseconds([&] { model.reset(); });
    return figures;
}

/// Median of several runs: the machine is shared, and single runs scatter widely.
Figures typical(int elements, bool expressions, const QString &folder, int runs)
{
    QList<Figures> all;
    for (int i = 0; i < runs; ++i)
        all.append(run(elements, expressions, folder));
    auto median = [&all](double Figures::*field) {
        QList<double> values;
        for (const Figures &f : all)
            values.append(f.*field);
        std::sort(values.begin(), values.end());
        return values.at(values.size() / 2);
    };
    Figures result = all.first();
    result.build = median(&Figures::build);
    result.filter = median(&Figures::filter);
    result.level = median(&Figures::level);
    result.rebuild = median(&Figures::rebuild);
    result.teardown = median(&Figures::teardown);
    result.buildCpu = median(&Figures::buildCpu);
    result.levelCpu = median(&Figures::levelCpu);
    return result;
}

void report(const char *title, const Figures &small, const Figures &large)
{
    std::printf("\n%-36s %12s %12s %8s\n", title, "1,000", "10,000", "ratio");
    auto line = [](const char *what, double a, double b) {
        std::printf("%-36s %9.1f ms %9.1f ms %8.1f\n", what, a, b, a > 0 ? b / a : 0.0);
    };
    line("build (loadDescription)", small.build, large.build);
    line("walk every shown row", small.filter, large.filter);
    line("switch level Beginner -> Developer", small.level, large.level);
    line("  build, processor time", small.buildCpu, large.buildCpu);
    line("  level switch, processor time", small.levelCpu, large.levelCpu);
    line("rebuild (setDescription + load)", small.rebuild, large.rebuild);
    line("teardown with live subscriptions", small.teardown, large.teardown);
    std::printf(
        "%-36s %12d %12d\n", "rows shown at Beginner", small.shownAtStart, large.shownAtStart);
    std::printf("%-36s %12d %12d\n", "rows shown at Developer", small.shownAfterLevel,
        large.shownAfterLevel);
    const double ratio = large.build / small.build;
    const double cpuRatio = large.buildCpu / small.buildCpu;
    std::printf("build of 10,000 elements %s one second; build ratio %.1f wall clock, %.1f "
                "processor time (goal: at most 15)\n",
        large.build < 1000 ? "under" : "OVER", ratio, cpuRatio);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Only the figures: the expression engine's diagnostics are not part of the measurement.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type >= QtWarningMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;

    // "--once N": one plain run of N elements and nothing else, for profilers.
    const QStringList args = app.arguments();
    const int once = args.indexOf(QStringLiteral("--once"));
    if (once > 0 && once + 1 < args.size()) {
        const Figures f = run(args.at(once + 1).toInt(), false, folder.path());
        std::printf("build %.1f ms, level %.1f ms\n", f.build, f.level);
        return 0;
    }

    run(200, true, folder.path()); // warm-up
    const Figures plainSmall = typical(1000, false, folder.path(), 9);
    const Figures plainLarge = typical(10000, false, folder.path(), 5);
    const Figures scriptSmall = typical(1000, true, folder.path(), 9);
    const Figures scriptLarge = typical(10000, true, folder.path(), 5);
    report("no availability expressions", plainSmall, plainLarge);
    report("expressions on a third of elements", scriptSmall, scriptLarge);
    return 0;
}
