#include "app/appsettings.h"
#include "app/commandline.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionloadprogress.h"
#include "description/descriptionregistry.h"
#include "description/enumerationelement.h"
#include "editor/editdescriptionfileproperties.h"
#include "editor/editwindow.h"
#include "editor/selectreferencesdialog.h"
#include "engine/cameradatabase.h"
#include "tests/comm/threadsignalspy.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/aboutdialog.h"
#include "ui/dialogconnecttoport.h"
#include "ui/itemwidget.h"
#include "ui/luteditordialog.h"
#include "ui/mainwindow.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/progressdialogtransferprogress.h"
#include "ui/regiondisplaywidget.h"
#include "ui/roieditdialog.h"
#include "ui/selectdescriptiondialog.h"
#include "ui/settingsdialog.h"
#include "ui/splashscreen.h"
#include "ui/standarditemmodel.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QLocalServer>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

namespace {

EditWindow *editor()
{
    return EditWindow::existingInstance();
}

/// The named child of in, else of the editor, else of the main window; a missing one stops the
/// test program.
template<typename T = QWidget> T *find(const char *name, QObject *in = nullptr)
{
    if (!in)
        in = editor() ? static_cast<QObject *>(editor()) : MainWindow::instance();
    T *found = in ? in->findChild<T *>(QLatin1String(name)) : nullptr;
    if (!found)
        qFatal("no %s", name);
    return found;
}

/// Triggers that action or clicks that button.
void press(const char *name, QObject *in = nullptr)
{
    QObject *target = find<QObject>(name, in);
    if (auto *action = qobject_cast<QAction *>(target))
        action->trigger();
    else
        find<QAbstractButton>(name, in)->click();
}

/// Presses name, types path into the file dialog that opens and confirms a message box that
/// follows: "title: text" of that box, empty without one, "no file dialog" if none opened.
QString withFile(const QString &path, const char *name, QObject *in = nullptr)
{
    ModalAnswer picker(path);
    ModalAnswer box(QMessageBox::Ok);
    press(name, in);
    if (!picker.answered())
        return QStringLiteral("no file dialog");
    return box.answered() ? box.title() + ": " + box.text() : QString();
}

/// Whether a message names that file, with a reason on the next line.
bool namesFile(const QString &message, const QString &path)
{
    return message.contains(QDir::toNativeSeparators(path) + ":\n")
        && !message.section(":\n", 1).isEmpty();
}

/// The shown tree as "name" lines, children indented by two blanks per level, collapsed
/// groups marked with "+".
QStringList shownRows(const QTreeView *view, const QModelIndex &parent = {}, int depth = 0)
{
    QStringList out;
    for (int row = 0; row < view->model()->rowCount(parent); ++row) {
        const QModelIndex index = view->model()->index(row, 0, parent);
        const bool folded = view->model()->hasChildren(index) && !view->isExpanded(index);
        out.append(QString(depth * 2, ' ') + (folded ? "+" : "") + index.data().toString());
        out += shownRows(view, index, depth + 1);
    }
    return out;
}

/// The description panel's place (-1: hidden, 0 above the tree, 1 below) and the tree's
/// selection mode.
QString viewState(QWidget *window)
{
    auto *panel = window->findChild<QWidget *>("frmParamInfo");
    QLayout *layout = window->findChild<QWidget *>("wdgParams")->layout();
    return QStringLiteral("panel %1, selection %2")
        .arg(panel->isVisible() ? int(
                 layout->indexOf(panel) > layout->indexOf(window->findChild<QWidget *>("tvParams")))
                                : -1)
        .arg(window->findChild<QTreeView *>("tvParams")->selectionMode());
}

/// Port, online label, camera label, the registry's camera, the description of the registry
/// and of the database, first rows: what must agree however a connection attempt ends.
QString connectionState(MainWindow *window)
{
    const auto file = [](CameraDescriptionFile *d) { return d ? d->fileName() : QString(); };
    return QStringList { window->communication()->currentPort(), window->onlineLabel()->text(),
        window->cameraLabel()->text(), window->registry().cameraText(),
        file(window->registry().current()), file(window->database()->description()),
        shownRows(find<QTreeView>("tvParams", window)).mid(0, 2).join(',') }
        .join('|');
}

const QStringList kBeginnerRows { "Main", "  Brightness" };
// The description of camera "Fold" stores group "Main/Expert" as collapsed.
const QStringList kAllRows { "Main", "  Brightness", "  +Expert", "    Contrast" };

QTableWidget *tableOf(QWidget *dialog)
{
    return dialog->findChild<QTableWidget *>();
}

const QStringList kMatchRows { "best_new.xml|ABC|12|1.10.0|160,217,56",
    "best_old.xml|ABC|12, 13|1.2.0|160,217,56", "match.xml|abc|99|1.0.0|127,130,133" };

/// Chooses the description file of that name in the selection dialog; "-" or none cancels, a name
/// with a folder is first added through the dialog's file picker.
ModalAnswer::Action chooseDescription(const QString &file)
{
    return [file](QWidget *w) {
        if (MainWindow *window = MainWindow::instance()) {
            // Restoring the window meanwhile must not open a second connect dialog.
            ModalAnswer second(ModalAnswer::ofType<DialogConnectToPort>(),
                [](QWidget *connect) { static_cast<QDialog *>(connect)->reject(); });
            window->hide();
            window->show();
            QCoreApplication::processEvents();
            QVERIFY(!second.answered());
        }
        auto *dialog = static_cast<SelectDescriptionDialog *>(w);
        if (file.isEmpty() || file == QLatin1String("-")) {
            find<QPushButton>("pbCancel", dialog)->click();
            return;
        }
        if (file.contains(QLatin1Char('/')))
            dialog->openFilePressed();
        const auto found = tableOf(dialog)->findItems(QFileInfo(file).fileName(), Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        tableOf(dialog)->setCurrentCell(found.first()->row(), 0);
        find<QPushButton>("pbOk", dialog)->click();
    };
}

/// The sets a simulated camera received (queries left out), oldest first.
QList<QByteArray> setsReceived(const SimulatedCamera &camera)
{
    QList<QByteArray> sets = camera.receivedCommands();
    sets.erase(std::remove_if(sets.begin(), sets.end(),
                   [](const QByteArray &command) { return command.contains('?'); }),
        sets.end());
    return sets;
}

/// What a value editor's control shows.
QString shownText(QWidget *control)
{
    return control->property(qobject_cast<QComboBox *>(control) ? "currentText" : "text")
        .toString();
}

/// Table rows as "cell|cell|...", each followed by what extra gives for the row, if anything.
QStringList tableRows(QTableWidget *table, const std::function<QString(int)> &extra = {})
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < table->columnCount(); ++column)
            cells.append(table->item(row, column)->text());
        if (extra)
            cells.append(extra(row));
        rows.append(cells.join('|'));
    }
    return rows;
}

/// "file|model|supported|version|r,g,b" per row.
QStringList descriptionRows(QTableWidget *table)
{
    return tableRows(table, [table](int row) {
        const QColor colour = table->item(row, 1)->background().color();
        return QStringLiteral("%1,%2,%3").arg(colour.red()).arg(colour.green()).arg(colour.blue());
    });
}

/// Connect dialog rows as "port|status|camera marker".
QStringList portRows(QWidget *dialog)
{
    QTableWidget *table = tableOf(dialog);
    return tableRows(table, [table](int row) {
        return table->item(row, 0)->data(DialogConnectToPort::CameraMarkerRole).toString();
    });
}

/// Accepts the connect dialog once the first simulated camera has been found.
void acceptConnection(QWidget *dialog)
{
    QTRY_VERIFY_WITH_TIMEOUT(portRows(dialog).value(0).endsWith("|1"), 5000);
    tableOf(dialog)->setCurrentCell(0, 0);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

class RecordingProgress : public DescriptionLoadProgress
{
public:
    void setStatus(const QString &text) override { texts.append(text); }
    QStringList texts;
};

/// Paths of the files relative to the working directory.
QStringList paths(const QList<CameraDescriptionFile *> &files)
{
    QStringList out;
    for (CameraDescriptionFile *file : files)
        out.append(
            QDir::current().relativeFilePath(QFileInfo(file->filePath()).absoluteFilePath()));
    return out;
}

void type(const char *field, const QString &text)
{
    auto *edit = find<QLineEdit>(field);
    edit->setText(text);
    emit edit->editingFinished();
}

/// Clicks the first row with that text, or the row at that place in a walk through all rows.
void clickRow(const char *tree, const QVariant &row)
{
    find<QTabWidget>("tabWidget")->setCurrentIndex(QByteArray(tree) == "twElements");
    auto *view = find<QTreeWidget>(tree);
    QTreeWidgetItemIterator it(view);
    for (int i = 0;
         *it && (row.type() == QVariant::Int ? i < row.toInt() : (*it)->text(0) != row.toString());
         ++i)
        ++it;
    QVERIFY2(*it, qPrintable(row.toString()));
    view->scrollToItem(*it);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(*it).center());
}

/// The rows of that tree in the editor, else in the main window.
QStringList rows(const char *tree = "tvParams")
{
    return shownRows(find<QTreeView>(tree));
}

ModalAnswer::Match question()
{
    return [](QWidget *w) {
        return qobject_cast<QMessageBox *>(w)
            && w->windowTitle() == QLatin1String("Save current description");
    };
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        MainWindow::setSerialPortScanning(false);
        QFile demo(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/XML/VirtualDevice.xml");
        QVERIFY2(demo.open(QIODevice::ReadOnly), "MARNIFEX_SOURCE_DIR unset");
        QVERIFY(QDir::setCurrent(mWork.path()));
        // The program's own demo description and small ones for the simulated cameras.
        QVERIFY(DescriptionFixture::write("XML/demo.xml", demo.readAll()));
        QVERIFY(DescriptionFixture::write(
            { "XML/lab.xml VirtualDevice Lab 1.0.0", "XML/lab_other.xml VirtualDevice Other 1.0.0",
                "XML/lab_fold.xml VirtualDevice Fold 1.0.0 4 Main/Expert",
                "custom/mine.xml VirtualDevice Custom 2.0.0", "select/best_old.xml ABC 12,13 1.2.0",
                "select/other.xml XYZ 12 3.0.0", "select/match.xml abc 99 1.0.0",
                "select/best_new.xml ABC 12 1.10.0" }));
        for (const char *name : { "best_old", "other", "match", "best_new" })
            mFiles.append(new CameraDescriptionFile(
                mWork.filePath(QStringLiteral("select/%1.xml").arg(name))));
    }

    void cleanupTestCase() { qDeleteAll(mFiles); }

    void cleanup()
    {
        mWindow.reset();
        EditWindow::destroyInstance();
    }

    void init()
    {
        AppSettings &settings = AppSettings::instance();
        settings = AppSettings();
        settings.askExitWindows = false;
        settings.updateDelay = 0;
        QVERIFY(QDir::setCurrent(mWork.path()));
        VirtualCommunicator::clearVirtualDevices();
        VirtualCommunicator::setDelayDivisor(0);
        if (QByteArray(QTest::currentTestFunction()).startsWith("editor")) {
            QDir(path("lab.xml")).removeRecursively();
            // Commands Go (value v) and Sel (value s); elements Gain (integer) and Mode
            // (enumeration) in group Main, Flag (bool) in Main/Sub; Gain names a value nobody has.
            QFile lab(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/ui/data/lab.xml");
            QVERIFY(lab.open(QIODevice::ReadOnly));
            QVERIFY(DescriptionFixture::write(path("lab.xml"), lab.readAll()));
            EditWindow::showInstance();
        }
    }

    // Runs the program itself: the start-up sequence up to the connect dialog.
    void startsWithSimulatedCamera()
    {
        QTemporaryDir dir;
        QVERIFY(
            DescriptionFixture::write({ dir.filePath("XML/smoke.xml VirtualDevice Smoke 1.0.0") }));
        QProcess process; // with the test's own private settings and offscreen platform
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(MARNIFEX_BINARY), { "--debug", "V:Smoke" });

        QByteArray output;
        const QRegularExpression loaded(QStringLiteral("Loaded\\s+1 camera description files"));
        QTRY_VERIFY_WITH_TIMEOUT((output += process.readAll(),
                                     output.contains("Communication thread started.")
                                         && loaded.match(QString::fromLatin1(output)).hasMatch()),
            15000);
        QCOMPARE(process.state(), QProcess::Running);
        process.kill();
        QVERIFY(process.waitForFinished(5000));
    }

    void splashShowsVersionImageAndLoading()
    {
        SplashScreen splash;
        QVERIFY(!splash.findChild<QLabel *>("lblSplash")->pixmap(Qt::ReturnByValue).isNull());
        splash.show();
        DescriptionRegistry registry;
        registry.loadDescriptions(&splash);
        QCOMPARE(splash.findChild<QLabel *>("lblStatus")->text(), QStringLiteral("Done"));

        bool timerRan = false;
        QTimer::singleShot(30, &splash, [&timerRan] { timerRan = true; });
        const int minimum = int(splash.elapsed()) + 300;
        splash.finishAfter(minimum);
        QVERIFY(splash.elapsed() >= minimum);
        QVERIFY(!splash.isVisible());
        QVERIFY2(timerRan, "events were not processed while waiting");
    }

    void selectDescriptionRow_data()
    {
        QTest::addColumn<bool>("developerMode"); // also lists the non-matching file, last
        QTest::addColumn<int>("row"); // -1: none
        QTest::addColumn<QString>("how"); // ok, cancel, or the answer to the non-match question
        QTest::addColumn<QString>("file"); // empty: nothing returned
        QTest::newRow("newest best match") << false << 0 << QString("ok") << "best_new.xml";
        QTest::newRow("ok without a row does nothing") << false << -1 << QString("cancel") << "";
        QTest::newRow("non-match confirmed") << true << 3 << QString("yes") << "other.xml";
        QTest::newRow("non-match declined") << true << 3 << QString("no") << "";
    }

    void selectDescriptionRow()
    {
        QFETCH(bool, developerMode);
        QFETCH(int, row);
        QFETCH(QString, how);
        QFETCH(QString, file);
        AppSettings::instance().developerMode = developerMode;
        ModalAnswer answer(ModalAnswer::ofType<SelectDescriptionDialog>(), [=](QWidget *w) {
            auto *dialog = static_cast<SelectDescriptionDialog *>(w);
            QTableWidget *table = tableOf(dialog);
            QCOMPARE(descriptionRows(table),
                developerMode ? kMatchRows + QStringList { "other.xml|XYZ|12|3.0.0|255,66,34" }
                              : kMatchRows);
            if (row >= 0) {
                QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                    table->visualItemRect(table->item(row, 1)).center());
                QVERIFY(find<QPushButton>("pbOk", dialog)->isEnabled());
            } else {
                dialog->okPressed();
                dialog->itemDoubleClicked();
                QVERIFY(dialog->isVisible());
            }
            if (how == "yes" || how == "no") {
                ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), [how](QWidget *w) {
                    auto *question = static_cast<QMessageBox *>(w);
                    QCOMPARE(question->defaultButton(), question->button(QMessageBox::No));
                    question->button(how == "yes" ? QMessageBox::Yes : QMessageBox::No)->click();
                });
                dialog->itemDoubleClicked();
                QVERIFY(box.answered());
                if (how == "yes")
                    return;
                QVERIFY(dialog->isVisible());
            }
            find<QPushButton>(how == "ok" ? "pbOk" : "pbCancel", dialog)->click();
        });
        CameraDescriptionFile *chosen
            = SelectDescriptionDialog::getDescription(mFiles, "ABC", "12");
        QVERIFY(answer.answered());
        QCOMPARE(chosen ? chosen->fileName() : QString(), file);
        QVERIFY(!chosen || mFiles.contains(chosen));
    }

    // Added files: an invalid one is rejected, one of another model refused (kept, but out of
    // sight), a matching one listed first.
    void addCustomDescription()
    {
        SelectDescriptionDialog dialog(mFiles, "ABC", "12");
        dialog.show();
        const QList<QPair<QString, QString>> added {
            { "broken.xml =<CameraDescription ModelName=", "Failed to load description" },
            { "foreign.xml QQQ 12 1.0.0", "Selected description cannot be used" },
            { "mine.xml ABC 12 7.0.0", "" },
        };
        for (const auto &file : added) {
            const QString path = "select/custom/" + file.first;
            QVERIFY(DescriptionFixture::write({ path }));
            const QString box
                = withFile(mWork.filePath(path.section(' ', 0, 0)), "pbAddCustom", &dialog);
            QCOMPARE(box.section(": ", 0, 0), file.second);
        }
        QCOMPARE(dialog.candidates().size(), 6);
        QCOMPARE(descriptionRows(tableOf(&dialog)),
            QStringList { "mine.xml|ABC|12|7.0.0|160,217,56" } + kMatchRows);
    }

    void connectionEndings_data()
    {
        QTest::addColumn<QStringList>("cameras"); // the first is connected at start
        QTest::addColumn<QString>("choice"); // in the selection dialog; empty: no dialog expected
        QTest::addColumn<QString>("port"); // chosen on reconnecting; empty: cancel; null: none
        QTest::addColumn<QString>("state"); // afterwards, see connectionState

        const auto row = [](const char *name, const QStringList &cameras, const QString &choice,
                             const QString &port, const QString &state) {
            QTest::newRow(name) << cameras << choice << port << state;
        };
        const QString lab = "VirtualDevice %1|VirtualDevice %1|%2|%2|Main,  Brightness";
        const QString marked = "VirtualDevice %1 (Partial match: '%2')";
        const QString partial
            = "%1|ONLINE: %1|" + marked + '|' + marked + "|%2|%2|Main,  Brightness";
        const QString cancelled = "Nothing|OFFLINE|VirtualDevice Nothing|VirtualDevice Nothing|||";
        const QString released = "|OFFLINE| | |||";
        const QStringList three { "Lab", "Other", "Nothing" };
        row("demo description for V: camera", { "Demo" }, "", QString(),
            "Demo|ONLINE: Demo|VirtualDevice Demo|VirtualDevice Demo|demo.xml|demo.xml|"
            "Acquisition,  Exposure time");
        row("partial match asks and marks the label", { "Nothing" }, "lab_other.xml", QString(),
            partial.arg("Nothing", "lab_other.xml"));
        row("custom file joins the registry", { "Custom2" }, mWork.filePath("custom/mine.xml"),
            QString(), partial.arg("Custom2", "mine.xml"));
        row("cancelled selection leaves no description", { "Nothing" }, "-", QString(), cancelled);
        row("reconnect ok", three, "", "Other",
            "Other|ONLINE: Other|" + lab.arg("Other", "lab_other.xml"));
        row("reconnect cancelled", three, "", "", "Lab|ONLINE: Lab|" + lab.arg("Lab", "lab.xml"));
        // Double-clicked without camera; reported with one the thread does not know on OK.
        row("port without camera", three, "", "Ghost", released);
        row("port lost its camera", three, "", "Gone", released);
        row("description choice cancelled on reconnect", three, "-", "Nothing", cancelled);
    }

    void connectionEndings()
    {
        QFETCH(QStringList, cameras);
        QFETCH(QString, choice);
        QFETCH(QString, port);
        QFETCH(QString, state);

        ModalAnswer selection(
            ModalAnswer::ofType<SelectDescriptionDialog>(), chooseDescription(choice));
        ModalAnswer picker(choice);
        QVERIFY(start(cameras));
        QTRY_COMPARE(mWindow->statusBar()->currentMessage(), QStringLiteral("Camera connected"));
        if (!port.isNull()) {
            ModalAnswer connection(ModalAnswer::ofType<DialogConnectToPort>(), [port](QWidget *w) {
                auto *dialog = static_cast<DialogConnectToPort *>(w);
                QTableWidget *table = tableOf(dialog);
                QTRY_COMPARE_WITH_TIMEOUT(portRows(dialog),
                    QStringList({ "Lab|Detect camera: VirtualDevice-Lab|1",
                        "Other|Detect camera: VirtualDevice-Other|1",
                        "Nothing|Detect camera: VirtualDevice-Nothing|1" }),
                    5000);
                dialog->statusUpdate("Ghost", StatusNoCamera, QString());
                dialog->statusUpdate("Gone", StatusCameraFound, "VirtualDevice-Gone");
                const auto row = table->findItems(port, Qt::MatchExactly);
                if (!row.isEmpty())
                    table->setCurrentCell(row.first()->row(), 0);
                if (port == "Ghost")
                    emit table->cellDoubleClicked(table->currentRow(), 0);
                else
                    dialog->findChild<QDialogButtonBox *>()
                        ->button(port.isEmpty() ? QDialogButtonBox::Cancel : QDialogButtonBox::Ok)
                        ->click();
            });
            press("actConnect");
            QVERIFY(connection.answered());
        }
        QCOMPARE(selection.title(),
            choice.isEmpty() ? QString()
                             : QStringLiteral("Provide camera description for: 'VirtualDevice-%1'")
                                   .arg(port.isNull() ? cameras.first() : port));
        QCOMPARE(picker.answered(), choice.contains('/'));
        for (int pass = 0; pass < 2; ++pass) { // the second after a rebuild of the registry
            QCOMPARE(connectionState(mWindow.get()), state);
            if (!mWindow->registry().current())
                break;
            QVERIFY(mWindow->registry().contains(mWindow->registry().current()));
            mWindow->loadDescriptions();
        }
    }

    void closesWhileExchangeWaits()
    {
        QVERIFY(start({ "Lab" }));
        QPointer<VirtualCommunicator> lab = qobject_cast<VirtualCommunicator *>(
            mWindow->communication()->findCommunicator("Lab"));
        VirtualCommunicator::setDelayDivisor(2); // the line time of the running program
        lab->camera().queueFault(SimulatedCamera::NoAnswer);
        QVERIFY(mWindow->communication()->sendCommand("test", "ZZ?", {}, true));
        QTRY_VERIFY(lab->camera().receivedCommands().contains("ZZ?"));
        // The exchange now waits out its time limit and a retry: over a second of line time.
        mWindow.reset();
        QVERIFY2(lab.isNull(), "the communication thread did not stop in time");
    }

    void levels()
    {
        const char *levels[] = { "actBeginner", "actExpert", "actGuru", "actDeveloper" };
        const auto check = [&](int level, const QStringList &shown) {
            QCOMPARE(rows(), shown);
            for (int other = 0; other < 4; ++other)
                QCOMPARE(find<QAction>(levels[other])->isChecked(), other == level);
            QCOMPARE(find<QAction>("actEditor")->isVisible(), level == 3);
        };
        AppSettings::instance().developerMode = true;
        AppSettings::instance().modeView = 1;
        QVERIFY(start({ "Fold" }));
        QVERIFY(find<QAction>("actDeveloper")->isVisible());
        check(1, kAllRows);
        for (const int level : { 0, 2, 3, 1 }) {
            press(levels[level]);
            check(level, level == 0 ? kBeginnerRows : kAllRows);
            QCOMPARE(AppSettings::instance().modeView, level);
        }
        // A group the user opened is open again when a level has hidden it for a while.
        auto *view = find<QTreeView>("tvParams");
        view->expand(view->model()->index(1, 0, view->model()->index(0, 0)));
        press("actBeginner");
        press("actExpert");
        QCOMPARE(rows(), (QStringList { "Main", "  Brightness", "  Expert", "    Contrast" }));
        view->collapse(view->model()->index(1, 0, view->model()->index(0, 0)));

        // Searching by name or description shows matches with their groups expanded, still only
        // at their level; Escape brings back the rows and the collapsed group.
        auto *search = mWindow->findChild<QLineEdit *>("leSearch");
        QApplication::setActiveWindow(mWindow.get());
        QTRY_COMPARE(QApplication::activeWindow(), mWindow.get());
        QTest::keyClick(mWindow.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(search->hasFocus());
        QTest::keyClicks(search, "CONTR");
        QCOMPARE(rows(), (QStringList { "Main", "  Expert", "    Contrast" }));
        search->setText("about b");
        QCOMPARE(rows(), (QStringList { "Main", "  Brightness" }));
        search->setText("contr");
        press(levels[0]);
        QCOMPARE(rows(), QStringList());
        QTest::keyClick(search, Qt::Key_Escape);
        QVERIFY(search->text().isEmpty());
        check(0, kBeginnerRows);
        press(levels[1]);
        check(1, kAllRows);
    }

    // The demo as the README starts it: every value shown from the first reads, none retried.
    void demoStartsFilled()
    {
        const QString state
            = qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/XML/VirtualDevice-Demo.state";
        QStringList errors;
        CommandLine({ "marnifex", "V:Demo=" + state }).registerVirtualDevices(&errors);
        QCOMPARE(errors, QStringList());
        AppSettings::instance().modeView = 2;
        QVERIFY(start({}));
        const QAbstractItemModel *tree = mWindow->findChild<QTreeView *>("tvParams")->model();
        const auto emptyCells = [tree] {
            QStringList empty;
            const QModelIndexList names = tree->match(tree->index(0, 0), Qt::DisplayRole, "*", -1,
                Qt::MatchWildcard | Qt::MatchRecursive);
            for (const QModelIndex &name : names) {
                const QModelIndex value = name.siblingAtColumn(1);
                if (!tree->hasChildren(name) && value.data().toString().isEmpty()
                    && !value.data(Qt::CheckStateRole).isValid())
                    empty.append(name.data().toString());
            }
            return empty;
        };
        QTRY_COMPARE_WITH_TIMEOUT(emptyCells(), QStringList(), 10000);
        SimulatedCamera &camera = this->camera("Demo");
        for (const QByteArray &command : camera.receivedCommands()) {
            if (command.contains('?'))
                QVERIFY2(!camera.answer(command).endsWith("@\r"), command.constData());
        }
    }

    // The console, then the view options, settings files, disconnecting and leaving.
    void labSession()
    {
        AppSettings &settings = AppSettings::instance();
        settings.runtimeShowConsole = true;
        settings.modeDescription = 1;
        QVERIFY(start({ "Lab" }));
        QCOMPARE(viewState(mWindow.get()), QStringLiteral("panel 1, selection 1"));
        QVERIFY(mWindow->findChild<QWidget *>("wdgStackedExtra")->isVisible());
        press("actConsole");
        QVERIFY(!settings.runtimeShowConsole);
        QVERIFY(!mWindow->findChild<QMenu *>("menuConsole")->isEnabled());
        press("actConsole");

        auto *input = mWindow->findChild<QLineEdit *>("leConsoleInput");
        auto *output = mWindow->findChild<QPlainTextEdit *>("pteConsoleOutput");
        QTest::keyClicks(input, "id?");
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY2(output->toPlainText().contains("VirtualDevice-Lab[ETX]"),
            qPrintable(output->toPlainText()));

        // History: repeats are stored once; Up stops at the oldest line, Down past the newest
        // empties the line.
        for (const char *line : { "A?", "A?" }) {
            input->setText(line);
            QTest::keyClick(input, Qt::Key_Return);
        }
        const QStringList walk { "A?", "id?", "id?", "A?", "" };
        for (int step = 0; step < walk.size(); ++step) {
            QTest::keyClick(input, step < 3 ? Qt::Key_Up : Qt::Key_Down);
            QCOMPARE(input->text(), walk.at(step));
        }

        // A script's lines are queued in order, blank ones skipped; a query answered with a value
        // is not repeated.
        const QString script = mWork.filePath("script.txt");
        QVERIFY(DescriptionFixture::write(script, QByteArray("SCA 5\r\n\r\n\nSCB?\nSCC 7")));
        SimulatedCamera &lab = camera("Lab");
        lab.clearReceivedCommands();
        lab.setValue("SCB", "3");
        QCOMPARE(withFile(script, "actConsoleRunScript"), QString());
        QTRY_VERIFY(lab.receivedCommands().contains("SCC 7"));
        QList<QByteArray> scripted;
        const QList<QByteArray> received = lab.receivedCommands();
        for (const QByteArray &command : received)
            if (command.startsWith("SC"))
                scripted.append(command);
        QCOMPARE(scripted, QList<QByteArray>({ "SCA 5", "SCB?", "SCC 7" }));
        QLocalServer socket; // it exists, but cannot be opened as a file
        const QString unreadable = mWork.filePath("script.socket");
        QVERIFY(QLocalServer::removeServer(unreadable) && socket.listen(unreadable));
        QVERIFY(namesFile(withFile(unreadable, "actConsoleRunScript"), unreadable));

        const QString path = mWork.filePath("console.txt");
        QCOMPARE(withFile(path, "actConoleSaveOutput"), QString());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), output->toPlainText().toUtf8().replace("\n", "\r\n"));
        const QString missing = mWork.filePath("missing/console.txt");
        QVERIFY(namesFile(withFile(missing, "actConoleSaveOutput"), missing));
        press("actConsoleClear");
        QVERIFY(output->toPlainText().isEmpty());

        auto *view = mWindow->findChild<QTreeView *>("tvParams");
        // Showing the window again (it was restored) keeps its size and the selected row.
        AppSettings::instance().runtimeWindowsGeometry = mWindow->saveGeometry();
        mWindow->resize(mWindow->width() + 50, mWindow->height());
        const QSize size = mWindow->size();
        view->setCurrentIndex(mWindow->filter()->index(0, 0));
        mWindow->hide();
        mWindow->show();
        QCOMPARE(mWindow->size(), size);
        QVERIFY(view->selectionModel()->hasSelection());

        ModalAnswer about(ModalAnswer::ofType<AboutDialog>(),
            [](QWidget *w) { w->findChild<QPushButton *>(QStringLiteral("pushButton"))->click(); });
        press("actAbout");
        QVERIFY(about.answered() && !QApplication::activeModalWidget());

        emit view->entered(mWindow->filter()->index(0, 1, mWindow->filter()->index(0, 0)));
        QCOMPARE(find<QLabel>("lblParamInfo")->text(), "<B>Brightness</B>:<BR>About Brightness");

        // Each view action, then the state it leaves, also after the tree is rebuilt.
        const QList<QPair<const char *, const char *>> steps {
            { "actDescrTop", "panel 0, selection 1" },
            { "actDescrHide", "panel -1, selection 1" },
            { "actDescrBottom", "panel 1, selection 1" },
            { "actAlwaysEdt", "panel 1, selection 0" },
            { "actMouseOverEdit", "panel 1, selection 1" },
        };
        for (const auto &step : steps) {
            press(step.first);
            QCOMPARE(viewState(mWindow.get()), QString(step.second));
            mWindow->refreshModel();
            QCOMPARE(viewState(mWindow.get()), QString(step.second));
            QVERIFY(find<QAction>(step.first)->isChecked());
            // Always edit: every value row carries its editor, also one shown again after a search.
            mWindow->findChild<QLineEdit *>("leSearch")->setText("no such row");
            mWindow->findChild<QLineEdit *>("leSearch")->clear();
            const QModelIndex value
                = mWindow->filter()->index(0, 1, mWindow->filter()->index(0, 0));
            QCOMPARE(qobject_cast<ItemWidget *>(view->indexWidget(value)) != nullptr,
                QByteArray(step.first) == "actAlwaysEdt");
        }

        {
            ModalAnswer selection(
                ModalAnswer::ofType<SelectDescriptionDialog>(), chooseDescription("lab_other.xml"));
            press("actOpenFile");
            QVERIFY(selection.answered());
        }
        QCOMPARE(mWindow->registry().current()->fileName(), QStringLiteral("lab_other.xml"));
        // The suffix belongs to the connection, not to the chosen file.
        QCOMPARE(mWindow->cameraLabel()->text(), QStringLiteral("VirtualDevice Lab"));
        emit mWindow->communication()->onlineModeChanged(false);
        QTRY_COMPARE(mWindow->onlineLabel()->text(), QStringLiteral("OFFLINE"));
        emit mWindow->communication()->onlineModeChanged(true);
        QTRY_COMPARE(mWindow->onlineLabel()->text(), QStringLiteral("ONLINE: Lab"));

        // The camera's identification goes into a settings file, which loads back.
        const QString cdt = mWork.filePath("lab.cdt");
        QCOMPARE(withFile(cdt.chopped(4), "actSaveSettings"), QString()); // without the extension
        QCOMPARE(withFile(cdt, "actLoadSettings"), QString());
        QFile saved(cdt);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("<CameraDescriptionSave model=\"VirtualDevice\" "
                                         "type=\"Lab\" id=\"VirtualDevice-Lab\">"));

        press("actDisconnect");
        QCOMPARE(withFile(cdt, "actSaveSettings"), QStringLiteral("no file dialog"));
        QCOMPARE(withFile(cdt, "actLoadSettings"), QStringLiteral("no file dialog"));
        QCOMPARE(mWindow->statusBar()->currentMessage(), QStringLiteral("Camera disconnected"));
        {
            ModalAnswer box(QMessageBox::Ok);
            press("actOpenFile");
            QCOMPARE(box.title(), QStringLiteral("Unable to load another description file"));
        }

        // Leaving asks first when so configured; the geometry is stored only when it closes.
        AppSettings::instance().askExitWindows = true;
        AppSettings::instance().runtimeWindowsGeometry.clear();
        for (const auto button : { QMessageBox::No, QMessageBox::Yes }) {
            ModalAnswer box(button);
            press("actExit");
            QCOMPARE(mWindow->isVisible(), button == QMessageBox::No);
            QCOMPARE(AppSettings::instance().runtimeWindowsGeometry.isEmpty(),
                button == QMessageBox::No);
        }
    }

    void valueEditors_data()
    {
        // Of the row, at the Guru level of the demo camera; " (write-only)" makes it so.
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("holds"); // the camera's value before, as its set command
        QTest::addColumn<QString>("action"); // "escape", "return", "leave" are followed by the text
        QTest::addColumn<QList<QByteArray>>("sent"); // sets the camera received
        QTest::addColumn<bool>("closed"); // the editor closed afterwards
        QTest::addColumn<QString>("shown"); // by the control, or by the row once closed

        using Sets = QList<QByteArray>;
        const auto row = [](const char *name, const char *element, const char *holds,
                             const char *action, const Sets &sent, bool closed, const char *shown) {
            QTest::newRow(name) << element << QByteArray(holds) << action << sent << closed
                                << shown;
        };
        row("spin box step sends at once", "Exposure time", "EXP10000", "up", { "EXP10010" }, false,
            "10010 us");
        row("double spin box step", "Gain", "GAI130", "up", { "GAI131" }, false, "13.100 dB");
        row("slider drag, camera value ignored", "Black level", "BLK16", "drag",
            { "BLK17", "BLK18", "BLK19", "BLK19" }, false, "19 DN");
        row("value beyond the limits only visited", "Exposure time", "EXP5", "visit", {}, false,
            "10 us");
        row("unknown value only visited", "Gain", "", "visit", {}, false, "0.000 dB");
        row("unknown value typed as shown", "Exposure time", "", "leave 10", { "EXP10" }, false,
            "10 us");
        // The window then goes away with the edit under way.
        row("number typed, not finished", "Exposure time", "EXP10000", "unfinished 777", {}, false,
            "777 us");
        row("write-only double stepped", "Gain (write-only)", "", "up", { "GAI1" }, false,
            "0.100 dB");
        row("escape sends nothing", "Exposure time", "EXP10000", "escape 777", {}, true,
            "10000 us");
        row("return sends and closes", "User id", "UID\"Line 3", "return Cam 7", { "UID\"Cam 7" },
            true, "Cam 7");
        row("empty text editable", "User id", "UID\"", "return Cam 7", { "UID\"Cam 7" }, true,
            "Cam 7");
        row("text below the minimum length", "User id", "UID\"Line 3", "leave ", {}, false,
            "Line 3");
        row("text outside Latin-1", "User id", "UID\"Line 3", "leave Cam \u20ac", {}, false,
            "Line 3");
        row("unknown choice", "Test pattern", "", "visit", {}, false, "");
        row("no visible item for the value", "Test pattern", "TPN4", "none", {}, false, "");
        row("enumeration choice", "Test pattern", "TPN4", "pick", { "TPN2" }, false,
            "Vertical ramp");
        row("command button", "Save to flash", "", "click", { "SAV1" }, false, "Save");
        row("region edited", "Region of interest", "ROI64;32;1152;960", "region",
            { "ROI64;32;1216;960" }, false, "...");
        row("lookup table cancelled", "LUT", "LTO1", "table cancel", {}, false, "...");
        Sets table { "LTS1" };
        for (int entry = 0; entry < 256; ++entry)
            table.append("LUT" + QByteArray::number(entry) + (entry == 5 ? ";77" : ";3"));
        row("lookup table written", "LUT", "LTO1", "table ok", table << "LTE1", false, "...");
    }

    // The editors of the real tree on the demo camera: what reaches the camera, and when.
    void valueEditors()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, holds);
        QFETCH(QString, action);
        QFETCH(QList<QByteArray>, sent);
        QFETCH(bool, closed);
        QFETCH(QString, shown);

        AppSettings::instance().modeView = 2;
        QVERIFY(start({ "Demo" }));
        mWindow->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(mWindow.get()));
        if (name.endsWith(" (write-only)")) {
            name.chop(13);
            mWindow->registry().current()->displayElement(name)->accessMode = AccessMode::WO;
            mWindow->refreshModel();
        }
        SimulatedCamera &camera = this->camera("Demo");
        const QByteArray presets[] { "TPN0", "UID\"Line 3", "LUT0;3", holds };
        for (const QByteArray &set : presets)
            if (!holds.isEmpty()) // else the camera holds nothing at all
                camera.answer(set);
        mWindow->model()->refreshAll();
        const auto index = [this, &name] {
            for (PellixItem *item : mWindow->model()->items())
                if (item->name() == name)
                    return mWindow->filter()->mapFromSource(item->index());
            return QModelIndex();
        };
        QTRY_VERIFY(holds.isEmpty() ? index().isValid() : !index().data().isNull());
        auto *view = mWindow->findChild<QTreeView *>("tvParams");
        view->setAnimated(false);
        for (QModelIndex group = index().parent(); group.isValid(); group = group.parent())
            view->expand(group);
        view->scrollTo(index());
        // Every request queued before this one has been answered, and its reply handled, once the
        // reply to this one arrives.
        const auto settle = [this] {
            ThreadSignalSpy replies(
                mWindow->communication(), &CommunicationThreadObject::receivedReply);
            mWindow->communication()->sendCommand("@test", "ID?", {}, true);
            return QTest::qWaitFor([&replies] {
                return std::any_of(replies.begin(), replies.end(),
                    [](const QVariantList &reply) { return reply.value(0) == "@test"; });
            });
        };
        QVERIFY(settle());
        camera.clearReceivedCommands();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index()).center());
        auto *editor = qobject_cast<ItemWidget *>(view->indexWidget(index()));
        QVERIFY(editor);
        editor->setFocus();
        QWidget *control = QApplication::focusWidget();
        QVERIFY(control && editor->isAncestorOf(control));

        const QString key = action.section(' ', 0, 0);
        if (action == "up") {
            QTest::keyClick(control, Qt::Key_Up);
        } else if (action == "drag") {
            // Press, move and release as the slider's mouse handling performs them.
            auto *slider = editor->findChild<QSlider *>();
            slider->setSliderDown(true);
            for (const QByteArray value : { "17", "18", "19" }) {
                slider->setSliderPosition(value.toInt());
                QTRY_VERIFY(setsReceived(camera).contains("BLK" + value));
            }
            QVERIFY(settle());
            camera.answer("BLK99");
            mWindow->database()->refreshValue("BlackLevel");
            QTRY_COMPARE(mWindow->database()->cachedValue("BlackLevel").toInt(), 99);
            QCOMPARE(shownText(control), QStringLiteral("19 DN"));
            QCOMPARE(slider->value(), 19);
            slider->setSliderDown(false);
        } else if (key == "escape" || key == "return" || key == "leave" || key == "unfinished") {
            QMetaObject::invokeMethod(control, "selectAll");
            QTest::keyClick(control, Qt::Key_Backspace);
            for (const QChar typed : action.section(' ', 1)) // also beyond ASCII
                QTest::sendKeyEvent(QTest::Click, control, Qt::Key_unknown, typed, {});
            if (key == "leave")
                view->setFocus();
            else if (key != "unfinished")
                QTest::keyClick(control, key == "escape" ? Qt::Key_Escape : Qt::Key_Return);
        } else if (action == "visit") {
            view->setFocus();
        } else if (action == "pick") {
            static_cast<QComboBox *>(control)->setCurrentIndex(2);
        } else if (action != "none") {
            // A command button sends at once; the others open their dialog, the one with a table
            // (the list transfer shows its progress in a dialog too).
            const auto withTable = [](QWidget *w) { return tableOf(w) != nullptr; };
            ModalAnswer answer(withTable, [action](QWidget *w) {
                QTableWidget *table = tableOf(w);
                if (action == "region") {
                    QCOMPARE(tableRows(table), QStringList { "64|32|1152|960" });
                    table->item(0, 2)->setText("2000");
                } else {
                    QCOMPARE(table->rowCount(), 256);
                    table->item(5, 0)->setText("77");
                }
                press(action.endsWith("cancel") ? "pushButton_2" : "pushButton", w);
            });
            QTest::mouseClick(control, Qt::LeftButton);
            QCOMPARE(answer.answered(), action != "click");
        }

        QTRY_COMPARE(view->isPersistentEditorOpen(index()), !closed);
        QVERIFY(settle());
        QCOMPARE(setsReceived(camera), sent);
        // A read under way when the value was sent may show the old value until the read that
        // follows the set has come back.
        QTRY_COMPARE(closed ? index().data().toString() : shownText(control), shown);
    }

    void lutEditorFiles_data()
    {
        QTest::addColumn<QByteArray>("file"); // contents, or "/path" of an existing file
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("values");

        const auto row
            = [](const char *name, const char *file, int rows, const QStringList &values) {
                  QTest::newRow(name) << QByteArray(file) << rows << values;
              };
        row("short file, rest 0", "5\n6\n", 3, { "5", "6", "0" });
        row("long file, rest ignored", "1\n2\n3", 2, { "1", "2" });
        row("CR LF, blanks", " 7 \r\n-8\r\n", 2, { "7", "-8" });
        row("not numbers", "12abc\n2147483648\n", 2, { "0", "0" });
        row("endless file", "/dev/zero", 2, { "0", "0" });
        row("cannot be opened: reported, table kept", "socket", 3, { "9", "9", "9" });
    }

    void lutEditorFiles()
    {
        QFETCH(QByteArray, file);
        QFETCH(int, rows);
        QFETCH(QStringList, values);
        const QString path = file.startsWith('/') ? QString(file) : mWork.filePath("lut.txt");
        // A socket exists for the file dialog but cannot be opened as a file, even by root.
        QLocalServer socket;
        if (file == "socket")
            QVERIFY(QLocalServer::removeServer(path) && socket.listen(path));
        else
            QVERIFY(file.startsWith('/') || DescriptionFixture::write(path, file));

        LUTEditorDialog dialog;
        dialog.setValues(rows, { "9", "9", "9" });
        const QString box = withFile(path, "pbLoadFromFile", &dialog);
        QVERIFY2(file == "socket" ? namesFile(box, path) : box.isEmpty(), qPrintable(box));
        QStringList loaded;
        dialog.getValues(loaded);
        QCOMPARE(loaded, values);

        // Saved back: a line feed after every value. A failed save names the file and the reason.
        const QString saved = mWork.filePath("saved.txt");
        QFile::remove(saved);
        QCOMPARE(withFile(saved, "pbSaveToFile", &dialog), QString());
        const QString missing = mWork.filePath("missing/saved.txt");
        QVERIFY(namesFile(withFile(missing, "pbSaveToFile", &dialog), missing));
        QFile written(saved);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), (values.join('\n') + '\n').toLatin1());
    }

    void regionEditorClamps_data()
    {
        QTest::addColumn<QSize>("sensor");
        QTest::addColumn<int>("column"); // X, Y, Width, Height
        QTest::addColumn<QString>("typed"); // into the new region 10,10,50,50
        QTest::addColumn<QString>("region"); // as the table shows it afterwards
        const QSize vga(800, 600);
        QTest::newRow("x near the edge cuts the width")
            << vga << 0 << QString("790") << "790|10|10|50";
        QTest::newRow("y below 0 cuts the height") << vga << 1 << QString("-3") << "10|0|50|47";
        QTest::newRow("width 0 kept") << vga << 2 << QString("0") << "10|10|0|50";
        QTest::newRow("negative height is 0") << vga << 3 << QString("-5") << "10|10|50|0";
        QTest::newRow("not a number is 0") << vga << 0 << QString("x1") << "0|10|50|50";
        QTest::newRow("no sensor size") << QSize(0, -1) << 0 << QString("5000") << "5000|10|50|50";
        QTest::newRow("new region on a small sensor, X kept")
            << QSize(40, 30) << 0 << QString("10") << "10|10|30|20";
    }

    void regionEditorClamps()
    {
        QFETCH(QSize, sensor);
        QFETCH(int, column);
        QFETCH(QString, typed);
        QFETCH(QString, region);

        ROIEditDialog dialog;
        dialog.setData(1, {}, sensor.width(), sensor.height());
        auto *add = dialog.findChild<QToolButton *>("tbAdd");
        for (int click = 0; click < 2; ++click) // the second one beyond the maximum count
            add->click();
        QVERIFY(!add->isEnabled());
        tableOf(&dialog)->item(0, column)->setText(typed);
        QCOMPARE(tableRows(tableOf(&dialog)), QStringList { region });

        auto *remove = dialog.findChild<QToolButton *>("tbRemove");
        tableOf(&dialog)->selectRow(0);
        remove->click();
        QVERIFY(dialog.regions().isEmpty());
        QVERIFY(add->isEnabled() && !remove->isEnabled());
    }

    void regionDrawing_data()
    {
        QTest::addColumn<QSize>("sensor");
        QTest::addColumn<QRect>("region");
        QTest::addColumn<QStringList>("pixels"); // "x,y colour" in a 410 x 310 drawing

        // Background dark gray, sensor gray, regions white.
        QTest::newRow("wide sensor fills the width")
            << QSize(800, 600) << QRect(0, 0, 400, 300)
            << QStringList { "2,2 #808080", "100,80 #ffffff", "300,250 #a0a0a4",
                   "407,155 #808080" };
        QTest::newRow("tall sensor fills the height")
            << QSize(600, 800) << QRect(300, 400, 300, 400)
            << QStringList { "88,155 #808080", "150,100 #a0a0a4", "260,250 #ffffff" };
        QTest::newRow("no sensor size draws nothing") << QSize(
            0, 600) << QRect(0, 0, 400, 300) << QStringList { "100,80 #808080", "205,155 #808080" };
    }

    void regionDrawing()
    {
        QFETCH(QSize, sensor);
        QFETCH(QRect, region);
        QFETCH(QStringList, pixels);

        RegionDisplayWidget display;
        display.resize(410, 310);
        display.setSensorSize(sensor.width(), sensor.height());
        display.addRect(region.left(), region.top(), region.right(), region.bottom());
        const QImage image = display.grab().toImage();
        for (const QString &pixel : pixels) {
            const QStringList at = pixel.section(' ', 0, 0).split(',');
            QCOMPARE(image.pixelColor(at[0].toInt(), at[1].toInt()).name(), pixel.section(' ', 1));
        }
    }

    // The list transfer's dialog keeps its size through the labels and values that show it.
    void transferProgressSize()
    {
        ProgressDialogTransferProgress progress;
        progress.begin(QStringLiteral("Loading list from camera"), 4);
        for (int entry = 0; entry < 2; ++entry)
            QVERIFY(!progress.update(
                entry, QStringLiteral("Loading list from camera (%1/4)").arg(entry)));
        QVERIFY(progress.dialog()->isVisible());
        QCOMPARE(progress.dialog()->size(), QSize(350, 150));
    }

    // Cancelled, then accepted. Folders: one already listed is not added again, the same in other
    // letters is. The window applies the settings either way.
    void settingsDialog()
    {
        AppSettings &settings = AppSettings::instance();
        MainWindow window;
        window.applySettings();
        AppSettings before;
        before.load();
        QStringList folders;
        for (const char *name : { "B", "b" }) {
            folders.append(mWork.filePath(QStringLiteral("folders/") + name));
            QVERIFY(QDir().mkpath(folders.last()));
        }
        for (const bool accepted : { false, true }) {
            settings.updateDelay = 2500;
            settings.searchPaths = QStringList { "/old" };
            ModalAnswer answer(ModalAnswer::ofType<SettingsDialog>(), [&](QWidget *dialog) {
                for (const QString &folder : { folders[0], folders[0], folders[1] }) {
                    ModalAnswer picker(folder);
                    dialog->findChild<QPushButton *>("pbXMLAdd")->click();
                }
                dialog->findChild<QListWidget *>("lwXMLPaths")->setCurrentRow(0);
                dialog->findChild<QPushButton *>("pbXMLRemove")->click();
                dialog->findChild<QDialogButtonBox *>()
                    ->button(accepted ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)
                    ->click();
            });
            find<QAction>("actSettings", &window)->trigger();
            AppSettings stored;
            stored.load();
            const QStringList paths = accepted ? folders : QStringList { "/old" };
            QCOMPARE(settings.searchPaths, paths);
            QCOMPARE(settings.updateDelay, accepted ? 2000 : 2500);
            QCOMPARE(stored.searchPaths, accepted ? paths : before.searchPaths);
            QCOMPARE(stored.updateDelay, accepted ? 2000 : before.updateDelay);
            QVERIFY(window.model()->isRefreshTimerActive());
            QCOMPARE(window.model()->refreshInterval(), settings.updateDelay);
        }
    }

    // Description editor cases: init() shows the editor for them. Files they save in XML stay
    // there for the registry cases, which work in folders of their own.
    void editorCommands()
    {
        for (int i = 0; i < 3; ++i)
            press("tbAdd", find("twCommandList")->parent());
        type("leID", "ABC");
        type("leCommandCode", "gain");
        QCOMPARE(find<QLineEdit>("leCommandCode")->text(), QStringLiteral("GAIN"));
        QWidget *getRequest = find("wdgGetRequest");
        press("tbAdd", getRequest);
        press("tbAdd", getRequest);
        auto *table = find<QTableWidget>("twParameters", getRequest);
        table->item(0, 0)->setText("Constant");
        table->item(0, 1)->setText("");
        table->item(1, 0)->setText("String");
        // A value still in its cell editor counts, also when the form is committed by a shortcut.
        table->editItem(table->item(1, 1));
        table->findChild<QComboBox *>()->setEditText("gain");
        press("actCheck");
        QCOMPARE(
            editor()->description()->command("ABC").paramsGet.first().id, QStringLiteral("gain"));
        for (int copy = 0; copy < 2; ++copy) {
            clickRow("twCommandList", "ABC");
            press("tbCopy");
        }
        type("leID", "newCommand"); // ABC_1: newCommand and newCommand_0 are taken
        QCOMPARE(rows("twCommandList"),
            QStringList({ "newCommand", "newCommand_0", "ABC", "ABC_0", "newCommand_1" }));
        const Command abc = editor()->description()->command("ABC");
        QCOMPARE(abc.code, QByteArray("GAIN"));
        QCOMPARE(abc.paramsGet.size(), 1); // the constant without a value was dropped
        QCOMPARE(abc.paramsGet.first().id, QStringLiteral("gain"));
        QCOMPARE(editor()->description()->command("newCommand_1"), [abc] {
            Command copy = abc;
            copy.id = "newCommand_1";
            return copy;
        }());

        clickRow("twCommandList", "ABC_0");
        press("tbRemove", find("twCommandList")->parent());
        QCOMPARE(editor()->description()->commands().size(), 4);
        QVERIFY(!find("leID")->isEnabled());
        // The keyboard selects as a click does, and what the form held is kept.
        clickRow("twCommandList", "ABC");
        find<QLineEdit>("leCommandCode")->setText("KEY");
        QTest::keyClick(find("twCommandList"), Qt::Key_Down);
        QTRY_COMPARE(find<QLineEdit>("leID")->text(), QStringLiteral("newCommand_1"));
        QCOMPARE(editor()->description()->command("ABC").code, QByteArray("KEY"));

        // A template that appears after New never replaces what was edited since.
        QVERIFY(DescriptionFixture::write(QStringList { "leeg.xml Other - 1.0.0" }));
        QCOMPARE(editor()->description()->commands().size(), 4);
        QVERIFY(QFile::remove("leeg.xml"));
    }

    void editorElements()
    {
        press("tbElementAdd");
        press("tbElementAdd");
        QCOMPARE(rows("twElements"),
            QStringList({ "Generic", "  DisplayElement_0", "  DisplayElement_1" }));
        clickRow("twElements", "DisplayElement_0");
        type("leTooltip", "tip");
        find<QComboBox>("cboVisibility")->setCurrentIndex(1);
        find<QComboBox>("cboType")->setCurrentIndex(5);
        for (int i = 0; i < 3; ++i)
            press("tbEnumAddItem");
        auto *value = find<QSpinBox>("sbEnumItemValue");
        value->setValue(3);
        emit value->editingFinished();
        press("tbEnumAddItem");
        QTest::keyClick(find("lwEnumItems"), Qt::Key_Up); // the form follows the marked item
        QCOMPARE(value->value(), 3);
        press("tbElementCopy"); // commits the kind change, then copies
        DisplayElement *copy = editor()->description()->displayElement("DisplayElement_0_0");
        DisplayElement *changed = editor()->description()->displayElement("DisplayElement_0");
        QCOMPARE(changed->type(), DisplayElementType::Enumeration);
        QCOMPARE(changed->toolTip, QStringLiteral("tip"));
        QCOMPARE(changed->visibility, Visibility::Expert);
        QCOMPARE(changed->group, QStringLiteral("Generic"));
        QList<int> values;
        for (const EnumerationItem &item : static_cast<EnumerationElement *>(changed)->items)
            values.append(item.value);
        QCOMPARE(values, QList<int>({ 0, 1, 3, 2 }));
        const std::unique_ptr<DisplayElement> renamed(copy->clone());
        renamed->name = changed->name;
        QVERIFY(renamed->equals(*changed));

        // Groups: sub-groups move among their siblings only, emptied groups become Generic.
        clickRow("twElements", "DisplayElement_1");
        find<QComboBox>("cboGroup")->setCurrentText("A/B");
        emit find<QComboBox>("cboGroup")->lineEdit()->editingFinished();
        clickRow("twElements", "DisplayElement_0_0");
        find<QComboBox>("cboGroup")->setCurrentText("A/C");
        emit find<QComboBox>("cboGroup")->textActivated("A/C");
        clickRow("twElements", "B");
        press("tbElementMoveUp");
        QCOMPARE(rows("twElements"),
            QStringList({ "Generic", "  DisplayElement_0", "A", "  B", "    DisplayElement_1",
                "  C", "    DisplayElement_0_0" }));
        clickRow("twElements", "DisplayElement_1");
        find<QComboBox>("cboGroup")->setCurrentText("");
        emit find<QComboBox>("cboGroup")->lineEdit()->editingFinished();
        QCOMPARE(rows("twElements"),
            QStringList({ "Generic", "  DisplayElement_0", "  DisplayElement_1", "A", "  C",
                "    DisplayElement_0_0" }));
        clickRow("twElements", "A");
        QCOMPARE(find("swPages")->property("currentIndex").toInt(), 1);
        find<QCheckBox>("cbGroupExpand")->setChecked(false);
        clickRow("twElements", "DisplayElement_0");
        type("leName", "DisplayElement_0_0");
        QCOMPARE(find<QLineEdit>("leName")->text(), QStringLiteral("DisplayElement_0_0_0"));
        type("leName", ""); // an element without a name keeps the one it had
        QCOMPARE(find<QLineEdit>("leName")->text(), QStringLiteral("DisplayElement_0_0_0"));
        QTest::keyClick(find("twElements"), Qt::Key_Down);
        QTRY_COMPARE(find<QLineEdit>("leName")->text(), QStringLiteral("DisplayElement_1"));
        press("tbElementRemove");
        QVERIFY(!editor()->description()->isGroupExpanded("A"));
        QVERIFY(!editor()->description()->displayElement("DisplayElement_1"));
    }

    void editorReferences()
    {
        load(path("lab.xml"));
        find<QTabWidget>("tabWidget")->setCurrentIndex(1);
        clickRow("twElements", "Gain");
        QStringList offered;
        ModalAnswer chooser(ModalAnswer::ofType<QInputDialog>(), [&offered](QWidget *w) {
            auto *dialog = static_cast<QInputDialog *>(w);
            offered = dialog->comboBoxItems();
            dialog->setTextValue("v");
            dialog->accept();
        });
        press("tbIntSelectReference");
        QCOMPARE(offered, QStringList({ "s", "v" }));
        QCOMPARE(find<QLineEdit>("leIntReference")->text(), QStringLiteral("v"));

        type("leInvalidatedBy", "Sel,gone");
        ModalAnswer ticks(ModalAnswer::ofType<SelectReferencesDialog>(), [&offered](QWidget *w) {
            auto *list = find<QListWidget>("listWidget", w);
            offered.clear();
            for (int i = 0; i < list->count(); ++i)
                offered.append(list->item(i)->text() + (list->item(i)->checkState() ? "+" : ""));
            list->item(0)->setCheckState(Qt::Checked);
            static_cast<QDialog *>(w)->accept();
        });
        press("tbSelectRefsInvalidatedBy");
        QCOMPARE(offered, QStringList({ "Go", "Sel+", "s", "v" }));
        QCOMPARE(find<QLineEdit>("leInvalidatedBy")->text(), QStringLiteral("Go,Sel"));
    }

    void editorScriptStatus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("tooltip"); // empty: a tick, else an error mark
        const QString item("leEnumItemIsAvailable"), element("leIsAvailable");
        QTest::newRow("complete") << element << QString("v == 1 && s != 'x'") << "";
        QTest::newRow("ends in an operator")
            << element << QString("v ==") << "Expected more script to follow";
        QTest::newRow("item, broken") << item << QString("v == 1)") << "Expected `;', `;'";
    }

    void editorScriptStatus()
    {
        QFETCH(QString, field);
        QFETCH(QString, script);
        QFETCH(QString, tooltip);
        load(path("lab.xml"));
        clickRow("twElements", "Mode");
        find<QListWidget>("lwEnumItems")->setCurrentRow(0);
        emit find<QListWidget>("lwEnumItems")
            ->itemClicked(find<QListWidget>("lwEnumItems")->item(0));
        type(qPrintable(field), script);
        auto *status = find<QLabel>(qPrintable("lbl" + field.mid(2) + "Status"));
        QCOMPARE(status->pixmap(Qt::ReturnByValue).toImage(),
            QPixmap(tooltip.isEmpty() ? ":/images/tick.png" : ":/images/error.png").toImage());
        QCOMPARE(status->toolTip(), tooltip);

        // Field labels show their explanation at once.
        auto *label = find<QLabel>("lblName");
        QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), label->mapToGlobal(QPoint(3, 3)),
            Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(label, &move);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QStringLiteral("Name of the GUI element"));
    }

    void editorUnsavedChanges_data()
    {
        QTest::addColumn<int>("answer"); // 0: no question expected (the edit was undone)
        QTest::addColumn<bool>("open"); // the editor afterwards
        QTest::addColumn<QByteArray>("code"); // of Sel in the file afterwards
        QTest::newRow("undone edit") << 0 << false << QByteArray("SE");
        QTest::newRow("yes saves") << int(QMessageBox::Yes) << false << QByteArray("XY");
        QTest::newRow("no discards") << int(QMessageBox::No) << false << QByteArray("SE");
        QTest::newRow("cancel stays") << int(QMessageBox::Cancel) << true << QByteArray("SE");
        // The file became a folder: the failed save is reported and the changes stay.
        QTest::newRow("yes, but the save fails") << int(QMessageBox::Yes) << true << QByteArray();
    }

    void editorUnsavedChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, open);
        QFETCH(QByteArray, code);
        load(path("lab.xml"));
        clickRow("twCommandList", "Sel");
        type("leCommandCode", "XY");
        if (!answer)
            type("leCommandCode", "SE");
        if (code.isEmpty())
            QVERIFY(QFile::remove(path("lab.xml")) && QDir().mkpath(path("lab.xml")));
        ModalAnswer failure(
            [](QWidget *w) { return w->windowTitle() == "Unable to write description"; },
            ModalAnswer::clickButton(QMessageBox::Ok));
        ModalAnswer box(question(),
            ModalAnswer::clickButton(
                answer ? QMessageBox::StandardButton(answer) : QMessageBox::Cancel));
        press("actClose");
        QCOMPARE(box.answered(), answer != 0);
        QCOMPARE(editor()->isVisible(), open);
        QCOMPARE(failure.answered(), code.isEmpty());
        QCOMPARE(CameraDescriptionFile(path("lab.xml")).command("Sel").code, code);
    }

    // Edit XML opens the same editor. A saved file is known to the main window at once; a failed
    // save is reported and leaves everything alone; an export does not count as saving, so the
    // question is still asked, also when the program is left.
    void editorSaves()
    {
        AppSettings::instance().developerMode = true;
        EditWindow *const shared = editor();
        auto main = std::make_unique<MainWindow>();
        main->loadDescriptions();
        press("actDeveloper", main.get());
        shared->hide();
        press("actEditor", main.get());
        QCOMPARE(editor(), shared);
        QVERIFY(shared->isVisible());

        ModalAnswer props(ModalAnswer::ofType<EditDescriptionFileProperties>(), [](QWidget *w) {
            find<QLineEdit>("leModelName", w)->setText(" Cam ");
            find<QLineEdit>("leSupported", w)->setText("cam1 , cam2,, cam3");
            static_cast<QDialog *>(w)->accept();
        });
        QCOMPARE(withFile(path("XML/new"), "actSave"), QString()); // listed last
        CameraDescriptionFile saved(path("XML/new.xml"));
        QCOMPARE(saved.modelName(), QStringLiteral("Cam"));
        QCOMPARE(saved.supportedModels(), QStringList({ "cam1", "cam2", "cam3" }));
        qint32 major = 0, minor = 0, patch = 0;
        saved.version(major, minor, patch);
        QCOMPARE(QList<int>({ major, minor, patch }), QList<int>({ 1, 0, 0 }));
        QCOMPARE(main->registry().descriptions().size(), 5); // after the four in XML
        QCOMPARE(main->registry().descriptions().last()->modelName(), QStringLiteral("Cam"));

        const QList<CameraDescriptionFile *> registered = main->registry().descriptions();
        press("tbAdd", find("twCommandList")->parent());
        const QString target = path("XML/no/such/folder/x.xml");
        const QString failure = withFile(target, "actSaveAs");
        QVERIFY2(failure.startsWith("Unable to write description: ") && failure.contains(target),
            qPrintable(failure));
        QCOMPARE(editor()->filePath(), path("XML/new.xml"));
        QCOMPARE(editor()->description()->filePath(), path("XML/new.xml"));
        QCOMPARE(main->registry().descriptions(), registered);
        QCOMPARE(withFile(path("cam.XML"), "actSaveAs"), QString());
        press("tbAdd", find("twCommandList")->parent());
        find<QCheckBox>("cbDeveloperOnly")->setChecked(true);
        QCOMPARE(withFile(path("pub"), "actExport"), QString());
        CameraDescriptionFile exported(path("pub.xml"));
        QCOMPARE(exported.commands().size(), 1); // without the developer-only one
        QCOMPARE(CameraDescriptionFile(path("cam.XML")).commands().size(), 1);
        QCOMPARE(editor()->filePath(), path("cam.XML"));
        for (const bool leave : { false, true }) {
            ModalAnswer box(question(), ModalAnswer::clickButton(QMessageBox::Cancel));
            if (leave)
                QVERIFY(!main->close());
            else
                press("actNew");
            QVERIFY(box.answered());
        }
        QVERIFY(editor()->isVisible());
        QCOMPARE(editor()->description()->commands().size(), 2);
    }

    void editorCheck()
    {
        load(path("lab.xml"));
        // Files without a description are refused; the findings show lab.xml is still loaded.
        for (const QByteArray notes : { "<notes><note>x</note></notes>", "" }) {
            QVERIFY(DescriptionFixture::write(path("notes.xml"), notes));
            const QString refusal = withFile(path("notes.xml"), "actLoad");
            QVERIFY2(refusal.startsWith("Unable to load description: "), qPrintable(refusal));
            QCOMPARE(editor()->filePath(), path("lab.xml"));
        }
        press("actCheck");
        auto *list = find<QListWidget>("lwFindings");
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts.append(list->item(i)->text());
        QCOMPARE(texts,
            QStringList({ "command \"Go\": another command has the same Id",
                "element \"Gain\": Reference \"nobody\" names no camera value" }));
        emit list->itemClicked(list->item(1));
        QCOMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 1);
        QCOMPARE(find<QLineEdit>("leName")->text(), QStringLiteral("Gain"));
        emit list->itemClicked(list->item(0));
        QCOMPARE(find<QTabWidget>("tabWidget")->currentIndex(), 0);
        QCOMPARE(find<QLineEdit>("leID")->text(), QStringLiteral("Go"));

        // Of two elements with one name, the marked one is removed.
        QVERIFY(DescriptionFixture::write(path("twins.xml"),
            "<CameraDescription ModelName=\"T\"><Display><DisplayElements><DisplayElement><Name>X"
            "</Name><Bool/></DisplayElement><DisplayElement><Name>X</Name><String/>"
            "</DisplayElement></DisplayElements></Display></CameraDescription>"));
        load(path("twins.xml"));
        press("actCheck"); // the second finding concerns the second X
        QCOMPARE(list->item(1)->text(),
            QStringLiteral("element \"X\": another element has the same name"));
        emit list->itemClicked(list->item(1));
        QCOMPARE(find<QComboBox>("cboType")->currentText(), QStringLiteral("String"));
        press("tbElementMoveUp"); // the marked one moves
        QCOMPARE(
            editor()->description()->displayElements().first()->type(), DisplayElementType::String);
        clickRow("twElements", 1);
        press("tbElementRemove");
        QCOMPARE(
            editor()->description()->displayElements().last()->type(), DisplayElementType::String);
    }

    // Accepting the properties keeps a version nobody changed, however high its parts.
    void editorPropertiesKeepVersion()
    {
        QVERIFY(DescriptionFixture::write({ path("high.xml") + " High - 2024.100.7" }));
        load(path("high.xml"));
        ModalAnswer props(ModalAnswer::ofType<EditDescriptionFileProperties>(),
            [](QWidget *w) { static_cast<QDialog *>(w)->accept(); });
        press("actProperties");
        QVERIFY(props.answered());
        qint32 major = 0, minor = 0, patch = 0;
        editor()->description()->version(major, minor, patch);
        QCOMPARE(QList<int>({ major, minor, patch }), QList<int>({ 2024, 100, 7 }));
    }

    void editorRoundTrip_data()
    {
        QTest::addColumn<QString>("file");
        const QDir demo(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/XML");
        const QStringList files = demo.entryList({ "*.xml" }, QDir::Files);
        QVERIFY(!files.isEmpty());
        for (const QString &file : files)
            QTest::newRow(qPrintable(file)) << demo.filePath(file);
    }

    // Every command, element and group is shown and committed; saving under another name keeps the
    // digest.
    void editorRoundTrip()
    {
        QFETCH(QString, file);
        load(file);
        for (const char *tree : { "twCommandList", "twElements" }) {
            for (int row = 0; row < rows(tree).size(); ++row)
                clickRow(tree, row);
        }
        const QString copy = path("copy_" + QFileInfo(file).fileName());
        QCOMPARE(withFile(copy, "actSaveAs"), QString());
        QCOMPARE(CameraDescriptionFile(copy).md5Hash(), CameraDescriptionFile(file).md5Hash());
    }

    // Description registry cases, last: they change the data folders of the environment.
    void parseIdentification_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("camera"); // model|type; empty: refused
        QTest::newRow("words after the first") << QByteArray("ABC-12-XY rev 3") << "ABC|12-XY";
        QTest::newRow("no dash, more words") << QByteArray("ABC 12-XY") << "ABC|";
        QTest::newRow("empty parts kept") << QByteArray("A--B") << "A|-B";
        QTest::newRow("empty reply clears") << QByteArray() << "";
    }

    void parseIdentification()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, camera);
        DescriptionRegistry registry;
        registry.setCamera(QStringLiteral("Old"), QStringLiteral("Type"));
        registry.setPartialMatchSuffix(DescriptionRegistry::partialMatchSuffixFor("a.xml"));
        QCOMPARE(registry.parseIdentification(reply), !camera.isEmpty());
        QCOMPARE(
            registry.cameraModel() + '|' + registry.cameraType(), camera.isEmpty() ? "|" : camera);
        QCOMPARE(registry.cameraText(), registry.cameraModel() + ' ' + registry.cameraType());
    }

    // Best matches, matches, others, each newest first: versions chosen so that text order and
    // numeric order differ. Model and type compare without case; a file without Supported
    // matches no type; an invalid one matches nothing.
    void sortsByMatchThenNewestFirst()
    {
        enterEmptyFolder();
        QVERIFY(DescriptionFixture::write({ "XML/a.xml ABC 99 1.2.0", "XML/b.xml ABC XY 1.2.9",
            "XML/c.xml ABC 99 1.2.10", "XML/d.xml abc 13,Xy 0.99.99", "XML/e.xml ABC - 2.0.0",
            "XML/f.xml ABC xy 1.10.0", "XML/g.xml XYZ xY 9.0.0", "XML/h.xml =<Camera" }));
        DescriptionRegistry registry;
        registry.loadDescriptions();
        QList<CameraDescriptionFile *> best, match, noMatch;
        DescriptionRegistry::sortDescriptions(
            registry.descriptions(), "abc", "xY", best, match, noMatch);
        QCOMPARE(paths(best), QStringList({ "XML/f.xml", "XML/b.xml", "XML/d.xml" }));
        QCOMPARE(paths(match), QStringList({ "XML/e.xml", "XML/c.xml", "XML/a.xml" }));
        QCOMPARE(paths(noMatch), QStringList({ "XML/g.xml", "XML/h.xml" }));
    }

    // Started from a menu: after the described folders, the installed one and the data folders.
    void searchOrder()
    {
        qputenv("XDG_DATA_HOME", "/home/u/data");
        qputenv("XDG_DATA_DIRS", "/opt/a:/opt/b/");
        AppSettings::instance().searchPaths = QStringList { "/configured" };
        const QString installed = QCoreApplication::applicationDirPath() + "/../share/marnifex/XML";
        QCOMPARE(DescriptionRegistry::searchDirectories(),
            (QStringList { QDir::current().filePath("XML"), "/configured",
                QDir::cleanPath(installed), "/home/u/data/marnifex/XML", "/opt/a/marnifex/XML",
                "/opt/b/marnifex/XML" }));
    }

    void loadDescriptions_data()
    {
        QTest::addColumn<QStringList>("files"); // as for DescriptionFixture::write()
        QTest::addColumn<QStringList>("searchPaths");
        QTest::addColumn<QStringList>("registered");
        QTest::addColumn<QStringList>("progress"); // empty: not checked

        QTest::newRow("XML folder, then search paths; other files skipped")
            << QStringList { "XML/a.xml ABC 12 1.0.0", "XML/b.xml DEF 1 1.0.0",
                   "XML/notes.txt =text", "XML/sub.xml/x.xml GHI 1 1.0.0",
                   "extra/c.xml GHI 1 1.0.0" }
            << QStringList { "missing", "extra" }
            << QStringList { "XML/a.xml", "XML/b.xml", "extra/c.xml" }
            << QStringList { "Loading application data..", "Found 2 files.", "Loading: a.xml",
                   "Loading: b.xml", "Found 1 files.", "Loading: c.xml", "Done" };
        QTest::newRow("identical content registered once")
            << QStringList { "XML/first.xml ABC 12 1.0.0 4", "XML/second.xml ABC 12 1.0.0 1",
                   "XML/third.xml ABC 12 1.0.1 4" }
            << QStringList() << QStringList { "XML/first.xml", "XML/third.xml" } << QStringList();
        QTest::newRow("invalid file listed")
            << QStringList { "XML/broken.xml =<Camera", "XML/good.xml ABC 12 1.0.0" }
            << QStringList() << QStringList { "XML/broken.xml", "XML/good.xml" } << QStringList();
    }

    void loadDescriptions()
    {
        enterEmptyFolder();
        QFETCH(QStringList, files);
        QFETCH(QStringList, searchPaths);
        QFETCH(QStringList, registered);
        QFETCH(QStringList, progress);

        QVERIFY(DescriptionFixture::write(files));
        for (const QString &path : searchPaths)
            AppSettings::instance().searchPaths.append(mCase->filePath(path));
        DescriptionRegistry registry;
        RecordingProgress recorder;
        QVERIFY(!registry.loadDescriptions(&recorder));
        QCOMPARE(paths(registry.descriptions()), registered);
        if (!progress.isEmpty())
            QCOMPARE(recorder.texts, progress);
    }

    void currentKeptOnReload_data()
    {
        QTest::addColumn<QStringList>("later"); // written after cam.xml was removed from XML
        QTest::addColumn<QString>("current");
        QTest::addColumn<bool>("sameObject");

        QTest::newRow("file gone: the object survives") << QStringList() << "XML/cam.xml" << true;
        QTest::newRow("newer file of the same name replaces it")
            << QStringList { "extra/cam.xml ABC 12 1.1.0" } << "extra/cam.xml" << false;
        QTest::newRow("renamed copy takes over, listed once")
            << QStringList { "XML/renamed.xml ABC 12 1.0.0" } << "XML/renamed.xml" << false;
    }

    void currentKeptOnReload()
    {
        enterEmptyFolder();
        QFETCH(QStringList, later);
        QFETCH(QString, current);
        QFETCH(bool, sameObject);

        QVERIFY(DescriptionFixture::write(
            { "XML/cam.xml ABC 12 1.0.0", "XML/other.xml DEF 12 1.0.0" }));
        DescriptionRegistry registry;
        registry.loadDescriptions();
        CameraDescriptionFile *before = registry.descriptions().first();
        registry.setCurrent(before);

        QVERIFY(QFile::remove("XML/cam.xml"));
        QVERIFY(DescriptionFixture::write(later));
        AppSettings::instance().searchPaths = QStringList { mCase->filePath("extra") };
        QVERIFY(registry.loadDescriptions());
        QCOMPARE(paths(registry.descriptions()), QStringList({ "XML/other.xml", current }));
        QCOMPARE(paths({ registry.current() }), QStringList { current });
        QCOMPARE(registry.current() == before, sameObject);
        QCOMPARE(registry.digests().last(), registry.current()->md5Hash());
    }

    void addTakesOwnershipOnce()
    {
        QVERIFY(DescriptionFixture::write({ "custom.xml ABC 12 1.0.0" }));
        DescriptionRegistry registry;
        auto *custom = new CameraDescriptionFile("custom.xml");
        registry.add(custom);
        registry.add(custom);
        registry.add(nullptr);
        // The same content under another name gives way to the registered entry.
        QVERIFY(QFile::copy("custom.xml", "copy.xml"));
        QCOMPARE(registry.add(new CameraDescriptionFile("copy.xml")), custom);
        QCOMPARE(registry.descriptions().size(), 1);
        QCOMPARE(registry.digests(), QList<QByteArray>({ custom->md5Hash() }));
        QVERIFY(registry.contains(custom));
    }

private:
    void load(const QString &file)
    {
        ModalAnswer picker(file);
        press("actLoad");
        QCOMPARE(editor()->filePath(), file);
    }

    QString path(const QString &file) const { return mWork.filePath(file); }

    /// The simulated camera on that port of the started window.
    SimulatedCamera &camera(const char *port)
    {
        return qobject_cast<VirtualCommunicator *>(mWindow->communication()->findCommunicator(port))
            ->camera();
    }

    /// Moves into an empty working folder for the rest of the test function.
    void enterEmptyFolder()
    {
        mCase = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(mCase->path()));
    }

    /// Creates the window with simulated cameras and shows it; connects to the first camera
    /// and waits for the resulting state (false: it never came).
    bool start(const QStringList &cameras)
    {
        for (const QString &name : cameras)
            VirtualCommunicator::addVirtualDevice(name);
        mWindow = std::make_unique<MainWindow>();
        mWindow->applySettings();
        ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), acceptConnection);
        // Should an unexpected dialog stay open, close it so that the test fails instead of
        // hanging.
        ModalAnswer watchdog([](QWidget *) { return false; }, [](QWidget *) {}, 20000);
        mWindow->show();
        // The connection flow starts from the event loop once the window is shown.
        return QTest::qWaitFor(
            [&answer] { return answer.answered() && !QApplication::activeModalWidget(); }, 15000);
    }

    std::unique_ptr<MainWindow> mWindow; // made by start()
    QTemporaryDir mWork;
    std::unique_ptr<QTemporaryDir> mCase; // of a registry case
    // Descriptions offered to the selection dialog for a camera "ABC-12".
    QList<CameraDescriptionFile *> mFiles;
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
