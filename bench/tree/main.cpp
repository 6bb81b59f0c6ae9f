// Times building, filtering, re-levelling, refreshing, reloading and tearing down the parameter
// tree for generated descriptions of 1,000 and 10,000 elements, with every camera value already
// cached (no camera waits), and prints the ratio of the two sizes and what availability
// expressions cost. Then types a search into the search line of a real tree view.

#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/commandchannel.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/standarditemmodel.h"
#include "ui/treesearch.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTreeView>
#include <QVBoxLayout>

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
    // Three in ten names hold "gain", four in ten "ga", every description "g".
    const char *names[] = { "Gain", "Exposure time", "Black level", "Digital gain", "Frame rate",
        "Trigger delay", "Analog gain", "Offset", "Gamma", "White balance" };
    for (int i = 0; i < elements; ++i) {
        const QString ref = parameter(i);
        QString available;
        if (expressions && i % 3 == 1)
            available = QStringLiteral("%1 &gt; 3").arg(parameter(i + 7));
        out << "<DisplayElement><Name>" << names[i % 10] << ' ' << i
            << "</Name><Description>Setting " << i << " of group G" << (i % 10)
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

struct Timing
{
    double wall = 0;
    double cpu = 0;
};

Timing measure(const std::function<void()> &work)
{
    QElapsedTimer timer;
    const double cpuStart = cpuMilliseconds();
    timer.start();
    work();
    Timing t;
    t.wall = timer.nsecsElapsed() / 1e6;
    t.cpu = cpuMilliseconds() - cpuStart;
    return t;
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

/// Per-tree figures of one run, in ms.
struct Figures
{
    Timing build;
    Timing walk;
    Timing level;
    Timing refresh;
    Timing reload;
    Timing teardown;
    int shownAtStart = 0;
    int shownAfterLevel = 0;
};

/// One tree with its filter, as the main window holds them.
struct Tree
{
    ModelHiddenItemFilter filter;
    std::unique_ptr<StandardItemModel> model;
    Tree()
        : model(new StandardItemModel(&filter))
    {
        filter.setSourceModel(model.get());
    }
};

class Bench
{
public:
    Bench(int elements, bool expressions, const QString &folder)
        : mElements(elements)
    {
        const QString path = QStringLiteral("%1/bench%2%3.xml")
                                 .arg(folder)
                                 .arg(elements)
                                 .arg(expressions ? "x" : "");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            qFatal("cannot write %s", qPrintable(path));
        file.write(generate(elements, expressions).toUtf8());
        file.close();
        mDescription.reset(new CameraDescriptionFile(path));
        if (mDescription->displayElements().size() != elements)
            qFatal("generated description has %d elements", mDescription->displayElements().size());
        mDatabase.reset(new CameraDatabase(&mChannel));
        mDatabase->setDescription(mDescription.get(), QStringLiteral("Bench"), QString());
        cacheValues();
    }

    /// Every value cached and none stale.
    void cacheValues()
    {
        for (int p = 0; p < ParameterCount; ++p) {
            const QString name = QStringLiteral("P%1").arg(p);
            if (mDatabase->valueState(name) != CameraDatabase::ValueState::Cached)
                mDatabase->updateCachedValue(name, p % 10);
        }
    }

    CameraDatabase *database() const { return mDatabase.get(); }
    CameraDescriptionFile *description() const { return mDescription.get(); }

    /// Builds, walks, re-levels, refreshes, reloads and tears down `trees` trees one after the
    /// other, each step timed over all of them together and divided by their number: small trees
    /// are timed in batches as long as one large tree, so that both sizes meet the timer's
    /// resolution and the scheduler of a loaded machine alike.
    Figures run(int trees)
    {
        std::vector<std::unique_ptr<Tree>> all;
        for (int i = 0; i < trees; ++i)
            all.emplace_back(new Tree);
        Figures f;
        auto each = [&](const std::function<void(Tree &)> &step) {
            Timing t = measure([&] {
                for (auto &tree : all)
                    step(*tree);
            });
            t.wall /= trees;
            t.cpu /= trees;
            return t;
        };
        f.build
            = each([&](Tree &t) { t.model->loadDescription(mDatabase.get(), mDescription.get()); });
        f.walk = each([&](Tree &t) { f.shownAtStart = walk(t.filter, QModelIndex()); });
        // Switched there and back a few times, so that the small trees' sub-millisecond switch
        // is timed over enough work; the figure is per switch. Every round passes over all trees,
        // so that a batch of small trees is no more cache-resident than one large tree.
        const int switches = 6;
        f.level = measure([&] {
            for (int i = 0; i < switches; ++i) {
                for (auto &tree : all)
                    tree->model->setLevel(i % 2 == 0 ? 3 : 0);
            }
        });
        f.level.wall /= trees;
        f.level.cpu /= trees;
        f.level.wall /= switches;
        f.level.cpu /= switches;
        for (auto &tree : all)
            tree->model->setLevel(3);
        f.shownAfterLevel = walk(all.front()->filter, QModelIndex());
        // Every available row is read again; expressions reading a value that an earlier row
        // marked stale ask the (absent) camera.
        f.refresh = each([&](Tree &t) { t.model->refreshAll(); });
        cacheValues();
        // The old tree goes while its cells are still subscribed, then the new one is built.
        f.reload
            = each([&](Tree &t) { t.model->loadDescription(mDatabase.get(), mDescription.get()); });
        // The cells are still subscribed: each one leaves the database's subscriber lists.
        f.teardown = each([&](Tree &t) { t.model.reset(); });
        return f;
    }

    int elements() const { return mElements; }

private:
    int mElements;
    NoCameraChannel mChannel;
    std::unique_ptr<CameraDescriptionFile> mDescription;
    std::unique_ptr<CameraDatabase> mDatabase;
};

/// Median and minimum of several runs: the machine is shared, and single runs scatter.
struct Summary
{
    Figures median;
    Figures minimum;
};

Summary summarize(const QList<Figures> &all)
{
    Summary result;
    result.median = all.first();
    result.minimum = all.first();
    for (Timing Figures::*field : { &Figures::build, &Figures::walk, &Figures::level,
             &Figures::refresh, &Figures::reload, &Figures::teardown }) {
        for (double Timing::*part : { &Timing::wall, &Timing::cpu }) {
            QList<double> values;
            for (const Figures &f : all)
                values.append((f.*field).*part);
            std::sort(values.begin(), values.end());
            (result.median.*field).*part = values.at(values.size() / 2);
            (result.minimum.*field).*part = values.first();
        }
    }
    return result;
}

struct Comparison
{
    Summary small;
    Summary large;
};

/// Alternates the two sizes so that a change of the machine's load hits both alike.
Comparison compare(Bench &small, Bench &large, int repetitions)
{
    const int batch = large.elements() / small.elements();
    // Warm-up: code paths, the allocator's free lists and the script engine.
    small.run(batch);
    large.run(1);
    QList<Figures> smallRuns, largeRuns;
    for (int i = 0; i < repetitions; ++i) {
        smallRuns.append(small.run(batch));
        largeRuns.append(large.run(1));
    }
    return { summarize(smallRuns), summarize(largeRuns) };
}

void report(const char *title, const Comparison &c)
{
    const Figures &s = c.small.median;
    const Figures &l = c.large.median;
    std::printf("\n%s (medians; per tree)\n", title);
    std::printf("%-36s %12s %12s %8s %12s\n", "", "1,000", "10,000", "ratio", "min ratio");
    auto line = [&](const char *what, Timing Figures::*field, double Timing::*part) {
        const double a = (s.*field).*part, b = (l.*field).*part;
        const double minA = (c.small.minimum.*field).*part, minB = (c.large.minimum.*field).*part;
        std::printf("%-36s %9.2f ms %9.2f ms %8.1f %12.1f\n", what, a, b, a > 0 ? b / a : 0.0,
            minA > 0 ? minB / minA : 0.0);
    };
    line("build (loadDescription)", &Figures::build, &Timing::wall);
    line("  processor time", &Figures::build, &Timing::cpu);
    line("walk every shown row", &Figures::walk, &Timing::wall);
    line("switch level Beginner <-> Developer", &Figures::level, &Timing::wall);
    line("  processor time", &Figures::level, &Timing::cpu);
    line("refresh (refreshAll)", &Figures::refresh, &Timing::wall);
    line("reload (old tree replaced)", &Figures::reload, &Timing::wall);
    line("teardown with live subscriptions", &Figures::teardown, &Timing::wall);
    std::printf("%-36s %12d %12d\n", "rows shown at Beginner", s.shownAtStart, l.shownAtStart);
    std::printf(
        "%-36s %12d %12d\n", "rows shown at Developer", s.shownAfterLevel, l.shownAfterLevel);
    const double buildRatio = l.build.wall / s.build.wall;
    const double levelRatio = l.level.wall / s.level.wall;
    std::printf("build of 10,000 elements %.1f ms (%s one second); wall-clock ratios: build %.1f, "
                "level switch %.1f (goal: at most 15)\n",
        l.build.wall, l.build.wall < 1000 ? "under" : "OVER", buildRatio, levelRatio);
}

/// Types text into the search line of a shown tree view over the tree, one letter at a time,
/// and clears it again (Escape), several times over. The slowest keystroke of each round (the
/// filter applied, the view laid out and painted), as the median over the rounds.
Timing searchKeystrokeWorst(Bench &bench, const QString &text, int rounds)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *line = new QLineEdit;
    // As the main window's tree, whose rows are all expanded after a build.
    auto *view = new QTreeView;
    view->setUniformRowHeights(true);
    view->setAlternatingRowColors(true);
    view->setAnimated(true);
    view->setAllColumnsShowFocus(true);
    layout->addWidget(line);
    layout->addWidget(view);
    Tree tree;
    tree.model->loadDescription(bench.database(), bench.description());
    tree.model->setLevel(3);
    view->setModel(&tree.filter);
    view->setColumnWidth(0, 250);
    view->expandAll();
    new TreeSearch(line, view, &tree.filter);
    window.resize(600, 700);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the tree window was not shown");
    line->setFocus();
    QCoreApplication::processEvents();

    // Counts the paints of the tree's rows.
    struct PaintCounter : QObject
    {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override
        {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    view->viewport()->installEventFilter(&counter);

    QList<double> wall, cpu;
    for (int round = 0; round < rounds; ++round) {
        Timing worst;
        for (const QChar letter : text) {
            const int paints = counter.paints;
            const Timing t = measure([&] {
                QTest::keyClick(line, letter.toLatin1());
                QCoreApplication::processEvents();
                if (counter.paints == paints)
                    view->viewport()->repaint();
            });
            worst.wall = qMax(worst.wall, t.wall);
            worst.cpu = qMax(worst.cpu, t.cpu);
        }
        if (tree.filter.searchText() != text || tree.filter.rowCount() == 0)
            qFatal("the search did not reach the tree");
        QTest::keyClick(line, Qt::Key_Escape);
        QCoreApplication::processEvents();
        wall.append(worst.wall);
        cpu.append(worst.cpu);
    }
    view->setModel(nullptr);
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    Timing median;
    median.wall = wall.at(wall.size() / 2);
    median.cpu = cpu.at(cpu.size() / 2);
    return median;
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
        Bench bench(args.at(once + 1).toInt(), false, folder.path());
        const Figures f = bench.run(1);
        std::printf("build %.1f ms, level %.1f ms\n", f.build.wall, f.level.wall);
        return 0;
    }
    // "--repetitions N": measured runs per size (default 9).
    const int repeat = args.indexOf(QStringLiteral("--repetitions"));
    const int repetitions
        = repeat > 0 && repeat + 1 < args.size() ? qMax(1, args.at(repeat + 1).toInt()) : 9;

    Figures large[2];
    for (bool expressions : { false, true }) {
        Bench small(1000, expressions, folder.path());
        Bench big(10000, expressions, folder.path());
        const Comparison c = compare(small, big, repetitions);
        report(
            expressions ? "expressions on a third of elements" : "no availability expressions", c);
        large[expressions] = c.large.median;
    }
    std::printf("\nexpression cost ratios: build %.1f, refresh %.1f, level %.1f (10,000 elements, "
                "with expressions / without; goal: at most 3; processor time: %.1f, %.1f, %.1f)\n",
        large[1].build.wall / large[0].build.wall, large[1].refresh.wall / large[0].refresh.wall,
        large[1].level.wall / large[0].level.wall, large[1].build.cpu / large[0].build.cpu,
        large[1].refresh.cpu / large[0].refresh.cpu, large[1].level.cpu / large[0].level.cpu);

    Bench searched(10000, false, folder.path());
    const Timing keystroke = searchKeystrokeWorst(searched, QStringLiteral("gain"), repetitions);
    std::printf("search keystroke worst: %.1f ms (processor time %.1f ms; typing \"gain\" over "
                "10,000 elements at the Developer level, median of %d rounds; goal: at most 30)\n",
        keystroke.wall, keystroke.cpu, repetitions);
    return 0;
}
