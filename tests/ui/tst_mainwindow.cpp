#include "app/appsettings.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "description/cameradescriptionfile.h"
#include "description/descriptionregistry.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/aboutdialog.h"
#include "ui/dialogconnecttoport.h"
#include "ui/mainwindow.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/selectdescriptiondialog.h"
#include "ui/splashscreen.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

namespace {

QAction *action(QWidget *window, const char *name)
{
    auto *found = window->findChild<QAction *>(QLatin1String(name));
    Q_ASSERT(found);
    return found;
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

QStringList shownRows(const MainWindow *window)
{
    return shownRows(window->findChild<QTreeView *>(QStringLiteral("tvParams")));
}

/// The description panel's place in the layout (-1: hidden) and the tree's selection mode.
QString viewState(QWidget *window)
{
    auto *panel = window->findChild<QWidget *>("frmParamInfo");
    return QStringLiteral("panel %1, selection %2")
        .arg(panel->isVisible()
                ? window->findChild<QWidget *>("wdgParams")->layout()->indexOf(panel)
                : -1)
        .arg(window->findChild<QTreeView *>("tvParams")->selectionMode());
}

const QStringList kBeginnerRows { "Main", "  Brightness" };
// The description of camera "Fold" stores group "Main/Expert" as collapsed.
const QStringList kAllRows { "Main", "  Brightness", "  +Expert", "    Contrast" };

/// Accepts the connect dialog once the first simulated camera has been found.
void acceptConnection(QWidget *dialog)
{
    auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
    QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > 0
            && table->item(0, 0)->data(DialogConnectToPort::CameraMarkerRole).toInt() == 1,
        5000);
    table->setCurrentCell(0, 0);
    dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
}

/// Chooses the description file of that name in the selection dialog; "-" cancels, a name
/// with a folder is first added through the dialog's file picker.
ModalAnswer::Action chooseDescription(const QString &file)
{
    return [file](QWidget *w) {
        auto *dialog = static_cast<SelectDescriptionDialog *>(w);
        if (file == QLatin1String("-")) {
            dialog->findChild<QPushButton *>("pbCancel")->click();
            return;
        }
        if (file.contains(QLatin1Char('/')))
            dialog->openFilePressed();
        auto *table = dialog->findChild<QTableWidget *>("twDescriptions");
        const auto found = table->findItems(QFileInfo(file).fileName(), Qt::MatchExactly);
        QVERIFY(!found.isEmpty());
        table->setCurrentCell(found.first()->row(), 0);
        dialog->findChild<QPushButton *>("pbOk")->click();
    };
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void splashShowsVersionImageAndLoading();
    void splashMinimumTime_data();
    void splashMinimumTime();
    void descriptionChosenOnConnect_data();
    void descriptionChosenOnConnect();
    void levels();
    void consoleSession();
    void viewSession();

private:
    /// Creates the window with simulated cameras and shows it; connects to the first camera
    /// and waits for the resulting state.
    std::unique_ptr<MainWindow> start(const QStringList &cameras);

    QTemporaryDir mWork;
};

void TestMainWindow::initTestCase()
{
    MetaTypes::registerAll();
    MainWindow::setSerialPortScanning(false);
    VirtualCommunicator::setDelayDivisor(0);
    QFile demo(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/XML/VirtualDevice.xml");
    QVERIFY2(demo.open(QIODevice::ReadOnly), "MARNIFEX_SOURCE_DIR unset");
    // The program's own demo description and small ones for the simulated cameras.
    QVERIFY(DescriptionFixture::write(mWork.filePath("XML/demo.xml"), demo.readAll()));
    QVERIFY(
        DescriptionFixture::write(mWork.filePath("XML/lab.xml"), "VirtualDevice", "Lab", "1.0.0"));
    QVERIFY(DescriptionFixture::write(
        mWork.filePath("XML/lab_other.xml"), "VirtualDevice", "Other", "1.0.0"));
    QVERIFY(DescriptionFixture::write(
        mWork.filePath("XML/lab_fold.xml"), "VirtualDevice", "Fold", "1.0.0", 4, "Main/Expert"));
    QVERIFY(DescriptionFixture::write(
        mWork.filePath("custom/mine.xml"), "VirtualDevice", "Custom", "2.0.0"));
    QVERIFY(QDir::setCurrent(mWork.path()));
}

void TestMainWindow::init()
{
    AppSettings &settings = AppSettings::instance();
    settings = AppSettings();
    settings.askExitWindows = false;
    settings.updateDelay = 0;
    VirtualCommunicator::clearVirtualDevices();
}

void TestMainWindow::cleanup()
{
    VirtualCommunicator::clearVirtualDevices();
    AppSettings::instance() = AppSettings();
}

std::unique_ptr<MainWindow> TestMainWindow::start(const QStringList &cameras)
{
    for (const QString &name : cameras)
        VirtualCommunicator::addVirtualDevice(name);
    auto window = std::make_unique<MainWindow>();
    window->applySettings();
    ModalAnswer answer(ModalAnswer::ofType<DialogConnectToPort>(), acceptConnection);
    // Should an unexpected dialog stay open, close it so that the test fails instead of hanging.
    ModalAnswer watchdog([](QWidget *) { return false; }, [](QWidget *) {}, 20000);
    window->show();
    // The connection flow starts from the event loop once the window is shown.
    if (!QTest::qWaitFor(
            [&answer] { return answer.answered() && !QApplication::activeModalWidget(); }, 15000))
        window.reset();
    return window;
}

void TestMainWindow::splashShowsVersionImageAndLoading()
{
    SplashScreen splash;
    QCOMPARE(splash.elapsed(), qint64(-1));
    QCOMPARE(
        splash.versionText(), QStringLiteral("Version: 1.0.8 (%1 bit)").arg(QT_POINTER_SIZE * 8));
    QVERIFY(!splash.findChild<QLabel *>("lblSplash")->pixmap(Qt::ReturnByValue).isNull());
    splash.show();
    DescriptionRegistry registry;
    registry.loadDescriptions(&splash);
    QCOMPARE(registry.descriptions().size(), 4);
    QCOMPARE(splash.findChild<QLabel *>("lblStatus")->text(), QStringLiteral("Done"));
}

void TestMainWindow::splashMinimumTime_data()
{
    QTest::addColumn<int>("shownBefore"); // ms the splash was up before finishAfter()
    QTest::addColumn<int>("minimum");
    QTest::newRow("waits out the minimum") << 0 << 300;
    QTest::newRow("closes at once when the time is over") << 60 << 50;
}

void TestMainWindow::splashMinimumTime()
{
    QFETCH(int, shownBefore);
    QFETCH(int, minimum);
    SplashScreen splash;
    splash.show();
    QTRY_VERIFY(splash.elapsed() >= shownBefore);
    bool timerRan = false;
    QTimer::singleShot(30, &splash, [&timerRan] { timerRan = true; });
    QElapsedTimer call;
    call.start();
    splash.finishAfter(minimum);
    QVERIFY(splash.elapsed() >= minimum);
    QVERIFY(!splash.isVisible());
    if (shownBefore < minimum)
        QVERIFY2(timerRan, "events were not processed while waiting");
    else
        QVERIFY(call.elapsed() < 40);
}

void TestMainWindow::descriptionChosenOnConnect_data()
{
    QTest::addColumn<QString>("camera");
    QTest::addColumn<QString>("choice"); // in the selection dialog; empty: no dialog expected
    QTest::addColumn<QString>("file"); // the current description afterwards
    QTest::addColumn<QString>("cameraText");
    QTest::addColumn<QStringList>("firstRows");

    const auto row = [](const char *name, const QString &camera, const QString &choice,
                         const QString &file, const QString &text, const QStringList &rows) {
        QTest::newRow(name) << camera << choice << file << text << rows;
    };
    const QString mark = QStringLiteral("VirtualDevice %1 (Partial match: '%2')");
    row("demo description for V: camera", "Demo", "", "demo.xml", "VirtualDevice Demo",
        { "Acquisition", "  Exposure time" });
    row("best match without asking", "Lab", "", "lab.xml", "VirtualDevice Lab", kBeginnerRows);
    row("partial match asks and marks the label", "Nothing", "lab_other.xml", "lab_other.xml",
        mark.arg("Nothing", "lab_other.xml"), kBeginnerRows);
    row("custom file joins the registry", "Custom2", mWork.filePath("custom/mine.xml"), "mine.xml",
        mark.arg("Custom2", "mine.xml"), kBeginnerRows);
    row("cancelled selection leaves no description", "Nothing", "-", "", "VirtualDevice Nothing",
        {});
}

void TestMainWindow::descriptionChosenOnConnect()
{
    QFETCH(QString, camera);
    QFETCH(QString, choice);
    QFETCH(QString, file);
    QFETCH(QString, cameraText);
    QFETCH(QStringList, firstRows);

    ModalAnswer selection(
        ModalAnswer::ofType<SelectDescriptionDialog>(), chooseDescription(choice));
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(choice));
    auto window = start({ camera });
    QVERIFY(window);
    QTRY_COMPARE(window->statusBar()->currentMessage(), QStringLiteral("Camera connected"));
    QCOMPARE(selection.title(),
        choice.isEmpty()
            ? QString()
            : QStringLiteral("Provide camera description for: 'VirtualDevice-%1'").arg(camera));
    QCOMPARE(picker.answered(), choice.contains('/'));
    QCOMPARE(window->cameraLabel()->text(), cameraText);
    for (int pass = 0; pass < 2; ++pass) { // the second after a rebuild of the registry
        CameraDescriptionFile *current = window->registry().current();
        QCOMPARE(current ? current->fileName() : QString(), file);
        QCOMPARE(window->onlineLabel()->text(),
            file.isEmpty() ? QStringLiteral("OFFLINE") : "ONLINE: " + camera);
        QCOMPARE(shownRows(window.get()).mid(0, 2), firstRows);
        if (!current)
            break;
        QVERIFY(window->registry().contains(current));
        window->loadDescriptions();
    }
}

void TestMainWindow::levels()
{
    const char *levels[] = { "actBeginner", "actExpert", "actGuru", "actDeveloper" };
    const auto check = [&levels](MainWindow *window, int level, const QStringList &rows) {
        QCOMPARE(shownRows(window), rows);
        for (int other = 0; other < 4; ++other)
            QCOMPARE(action(window, levels[other])->isChecked(), other == level);
        QCOMPARE(action(window, "actEditor")->isVisible(), level == 3);
    };
    // A stored developer level falls back to guru outside developer mode.
    AppSettings::instance().modeView = 3;
    auto window = start({ "Fold" });
    QVERIFY(window);
    QVERIFY(!action(window.get(), "actDeveloper")->isVisible());
    check(window.get(), 2, kAllRows);
    window.reset();

    AppSettings::instance().developerMode = true;
    AppSettings::instance().modeView = 1;
    window = start({ "Fold" });
    QVERIFY(window);
    QVERIFY(action(window.get(), "actDeveloper")->isVisible());
    check(window.get(), 1, kAllRows);
    for (const int level : { 0, 2, 3, 1 }) {
        action(window.get(), levels[level])->trigger();
        check(window.get(), level, level == 0 ? kBeginnerRows : kAllRows);
        QCOMPARE(AppSettings::instance().modeView, level);
    }
}

void TestMainWindow::consoleSession()
{
    AppSettings &settings = AppSettings::instance();
    settings.runtimeShowConsole = true;
    settings.consoleLogDebug = true;
    settings.modeDescription = 1;
    auto window = start({ "Lab" });
    QVERIFY(window);
    QCOMPARE(viewState(window.get()), QStringLiteral("panel 1, selection 1"));
    QVERIFY(window->findChild<QWidget *>("wdgStackedExtra")->isVisible());
    QVERIFY(window->console()->showDebug());
    action(window.get(), "actConsoleShowDebug")->trigger();
    QVERIFY(!settings.consoleLogDebug);
    QVERIFY(!window->console()->showDebug());
    action(window.get(), "actShowTimedUpdates")->trigger();
    QVERIFY(settings.consoleLogTimed);
    QVERIFY(window->console()->timed());

    // Hiding and showing the console narrows and widens the window by the side bar.
    auto *params = window->findChild<QWidget *>("wdgParams");
    auto *menu = window->findChild<QMenu *>("menuConsole");
    action(window.get(), "actConsole")->trigger();
    QVERIFY(!settings.runtimeShowConsole);
    QVERIFY(!menu->isEnabled());
    QTRY_COMPARE(window->width(), params->width());
    const int narrow = params->width();
    action(window.get(), "actConsole")->trigger();
    QVERIFY(menu->isEnabled());
    QTRY_COMPARE(window->width(), narrow + 350);

    auto *input = window->findChild<QLineEdit *>("leConsoleInput");
    auto *output = window->findChild<QPlainTextEdit *>("pteConsoleOutput");
    // Up keeps an unsent line while there is no history.
    input->setText("keep");
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("keep"));
    input->clear();
    QTest::keyClicks(input, "id?");
    QTest::keyClick(input, Qt::Key_Return);
    QVERIFY(input->text().isEmpty());
    QTRY_VERIFY2(output->toPlainText().contains("VirtualDevice-Lab[ETX]"),
        qPrintable(output->toPlainText()));
    const QString text = output->toPlainText();
    QVERIFY(text.contains("# ID?"));
    QVERIFY(text.contains("> [STX]ID?[ETX]"));
    QVERIFY(text.contains("< [ACK][STX]\"VirtualDevice-Lab[ETX]"));

    // Keys typed into the output pane land in the command line.
    output->setFocus();
    QTest::keyClicks(output, "x");
    QCOMPARE(input->text(), QStringLiteral("x"));

    // History: repeats are stored once; Up stops at the oldest line, Down past the newest
    // empties the line; the oldest lines go beyond 100.
    const auto send = [input](const QString &line) {
        input->setText(line);
        QTest::keyClick(input, Qt::Key_Return);
    };
    for (const char *line : { "A?", "A?", "B 1" })
        send(line);
    const QStringList walk { "B 1", "A?", "id?", "id?", "A?", "B 1", "", "" };
    for (int step = 0; step < walk.size(); ++step) {
        QTest::keyClick(input, step < 4 ? Qt::Key_Up : Qt::Key_Down);
        QCOMPARE(input->text(), walk.at(step));
    }
    QCOMPARE(window->consoleHistory(), QStringList({ "id?", "A?", "B 1" }));
    QStringList kept;
    for (int i = 0; i < 100; ++i)
        kept.append(QStringLiteral("C%1").arg(i));
    for (const QString &line : kept)
        send(line);
    QCOMPARE(window->consoleHistory(), kept);

    // A script's lines are queued in order, blank ones skipped; a query answered with a value
    // is not repeated.
    const QString script = mWork.filePath("script.txt");
    QVERIFY(DescriptionFixture::write(script, QByteArray("SCA 5\r\n\r\n\nSCB?\nSCC 7")));
    auto *lab
        = qobject_cast<VirtualCommunicator *>(window->communication()->findCommunicator("Lab"));
    QVERIFY(lab);
    lab->camera().clearReceivedCommands();
    lab->camera().setValue("SCB", "3");
    {
        ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(script));
        window->on_actConsoleRunScript_triggered();
        QCOMPARE(picker.title(), QStringLiteral("Run console script"));
    }
    QTRY_VERIFY(lab->camera().receivedCommands().contains("SCC 7"));
    QList<QByteArray> scripted;
    const QList<QByteArray> received = lab->camera().receivedCommands();
    for (const QByteArray &command : received)
        if (command.startsWith("SC"))
            scripted.append(command);
    QCOMPARE(scripted, QList<QByteArray>({ "SCA 5", "SCB?", "SCC 7" }));
    QCOMPARE(lab->camera().value("SCA"), QByteArray(" 5"));

    const QString path = mWork.filePath("console.txt");
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path));
    window->on_actConoleSaveOutput_triggered();
    const QByteArray shown = output->toPlainText().toUtf8();
    QCOMPARE(picker.title(), QStringLiteral("Save console output"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray(shown).replace("\n", "\r\n"));
    action(window.get(), "actConsoleClear")->trigger();
    QVERIFY(output->toPlainText().isEmpty());
}

void TestMainWindow::viewSession()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    QString version;
    ModalAnswer about(ModalAnswer::ofType<AboutDialog>(), [&version](QWidget *w) {
        version = static_cast<AboutDialog *>(w)->versionText();
        w->findChild<QPushButton *>(QStringLiteral("pushButton"))->click();
    });
    action(window.get(), "actAbout")->trigger();
    QVERIFY2(QRegularExpression(
                 QStringLiteral("^Release 1\\.0\\.8, (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|"
                                "Nov|Dec) [ 1-3][0-9] [0-9]{4} \\(%1 bit\\), Basic configuration$")
                     .arg(QT_POINTER_SIZE * 8))
                 .match(version)
                 .hasMatch(),
        qPrintable(version));
    QVERIFY(!QApplication::activeModalWidget());

    auto *view = window->findChild<QTreeView *>("tvParams");
    auto *info = window->findChild<QLabel *>("lblParamInfo");
    const QModelIndex group = window->filter()->index(0, 0);
    emit view->entered(window->filter()->index(0, 1, group));
    QCOMPARE(info->text(), QStringLiteral("<B>Brightness</B>:<BR>About Brightness"));
    emit view->entered(group);
    QCOMPARE(info->text(), QString());

    // Each view action, then the state it leaves, also after the tree is rebuilt.
    const QList<QPair<const char *, const char *>> steps {
        { "actDescrBottom", "panel 1, selection 1" },
        { "actDescrTop", "panel 0, selection 1" },
        { "actDescrHide", "panel -1, selection 1" },
        { "actDescrTop", "panel 0, selection 1" },
        { "actAlwaysEdt", "panel 0, selection 0" },
        { "actSelectiveEdit", "panel 0, selection 1" },
        { "actAlwaysEdt", "panel 0, selection 0" },
        { "actMouseOverEdit", "panel 0, selection 1" },
    };
    for (const auto &step : steps) {
        action(window.get(), step.first)->trigger();
        QCOMPARE(viewState(window.get()), QString(step.second));
        window->refreshModel();
        QCOMPARE(viewState(window.get()), QString(step.second));
        QVERIFY(action(window.get(), step.first)->isChecked());
    }

    {
        ModalAnswer selection(
            ModalAnswer::ofType<SelectDescriptionDialog>(), chooseDescription("lab_other.xml"));
        action(window.get(), "actOpenFile")->trigger();
        QVERIFY(selection.answered());
    }
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab_other.xml"));
    // The suffix belongs to the connection, not to the chosen file.
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral("VirtualDevice Lab"));
    emit window->communication()->onlineModeChanged(false);
    QTRY_COMPARE(window->onlineLabel()->text(), QStringLiteral("OFFLINE"));
    emit window->communication()->onlineModeChanged(true);
    QTRY_COMPARE(window->onlineLabel()->text(), QStringLiteral("ONLINE: Lab"));

    action(window.get(), "actDisconnect")->trigger();
    QCOMPARE(window->filter()->rowCount(), 0);
    QVERIFY(!window->registry().current());
    QCOMPARE(window->onlineLabel()->text(), QStringLiteral("OFFLINE"));
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral(" "));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Camera disconnected"));
    QCOMPARE(window->communication()->currentPort(), QString());
    {
        ModalAnswer box(
            ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
        action(window.get(), "actOpenFile")->trigger();
        QCOMPARE(box.title(), QStringLiteral("Unable to load another description file"));
        QCOMPARE(box.text(),
            QStringLiteral("Unable to load a description file,\nNot connected to any camera"));
    }

    // Leaving asks first when so configured; the geometry is stored only when it closes.
    AppSettings::instance().askExitWindows = true;
    AppSettings::instance().runtimeWindowsGeometry.clear();
    for (const auto button : { QMessageBox::No, QMessageBox::Yes }) {
        ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(button));
        action(window.get(), "actExit")->trigger();
        QCOMPARE(box.title(), QStringLiteral("Close application"));
        QCOMPARE(box.text(), QStringLiteral("Are you sure you want to leave the application?"));
        QCOMPARE(window->isVisible(), button == QMessageBox::No);
        QCOMPARE(
            AppSettings::instance().runtimeWindowsGeometry.isEmpty(), button == QMessageBox::No);
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
