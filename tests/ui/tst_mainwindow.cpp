#include "app/appsettings.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "comm/metatypes.h"
#include "comm/virtualcommunicator.h"
#include "description/cameradescriptionfile.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/dialogconnecttoport.h"
#include "ui/mainwindow.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/selectdescriptiondialog.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardItemModel>
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

/// The shown tree as "name" lines, children indented by two blanks per level.
QStringList shownRows(
    const QAbstractItemModel *model, const QModelIndex &parent = {}, int depth = 0)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        out.append(QString(depth * 2, QLatin1Char(' ')) + index.data().toString());
        out += shownRows(model, index, depth + 1);
    }
    return out;
}

/// Accepts the connect dialog once the simulated camera has been found in the given row.
ModalAnswer::Action acceptConnection(int row = 0)
{
    return [row](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>(QStringLiteral("tableWidget"));
        QPushButton *ok = dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok);
        QTRY_VERIFY_WITH_TIMEOUT(table->rowCount() > row
                && table->item(row, 0)->data(DialogConnectToPort::CameraMarkerRole).toInt() == 1,
            5000);
        table->setCurrentCell(row, 0);
        ok->click();
    };
}

ModalAnswer::Action typePath(const QString &path)
{
    return [path](QWidget *w) {
        auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        QMetaObject::invokeMethod(w, "accept");
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

    void startsOfflineWithFormDefaults();
    void demoDescriptionIsChosenAutomatically();
    void levelsShowTheirRows_data();
    void levelsShowTheirRows();
    void developerLevelOnlyInDeveloperMode();
    void storedDeveloperLevelFallsBackToGuru();
    void partialMatchAsksAndMarksTheLabel();
    void cancelledSelectionLeavesNoDescription();
    void customDescriptionChosenAtConnectJoinsTheRegistry();
    void consoleSendsTypedCommandAndShowsTraffic();
    void consoleHistory();
    void consoleScriptQueuesLines();
    void consoleOutputIsSavedWithCrLf();
    void consolePanelWidensAndShrinksTheWindow();
    void disconnectEmptiesTheTree();
    void alternateDescriptionNeedsAConnection();
    void alternateDescriptionReplacesTheCurrentOne();
    void closeAsksFirst_data();
    void closeAsksFirst();
    void reloadKeepsTheCurrentDescription();
    void descriptionPanelPlacement_data();
    void descriptionPanelPlacement();
    void storedLayoutIsAppliedOnShow();
    void hoveredRowIsDescribed();
    void onlineStateFollowsTheCommunicationThread();
    void editModeActions_data();
    void editModeActions();
    void storedCollapsedGroupsStayCollapsed();
    void groupNameJoinsTheGroupPath();
    void consoleOptionsAreStored();
    void aboutBoxOpensModally();

private:
    /// Creates the window with simulated cameras and shows it; accepts the connect dialog
    /// with connectRow (or cancels it when negative) and waits for the resulting state.
    std::unique_ptr<MainWindow> start(const QStringList &cameras, int connectRow = 0);

    QTemporaryDir mWork;
    QString mOldCwd;
};

void TestMainWindow::initTestCase()
{
    MetaTypes::registerAll();
    MainWindow::setSerialPortScanning(false);
    VirtualCommunicator::setDelayDivisor(0);
    QVERIFY(mWork.isValid());
    const QString source = qEnvironmentVariable("MARNIFEX_SOURCE_DIR");
    QVERIFY2(QFile::exists(source + "/XML/VirtualDevice.xml"), "MARNIFEX_SOURCE_DIR unset");
    // The program's own demo description and two small ones for the simulated "Lab" camera.
    QVERIFY(QFile::copy(source + "/XML/VirtualDevice.xml", mWork.filePath("XML/demo.xml"))
        || (QDir().mkpath(mWork.filePath("XML"))
            && QFile::copy(source + "/XML/VirtualDevice.xml", mWork.filePath("XML/demo.xml"))));
    QVERIFY(
        DescriptionFixture::write(mWork.filePath("XML/lab.xml"), "VirtualDevice", "Lab", "1.0.0"));
    QVERIFY(DescriptionFixture::write(
        mWork.filePath("XML/lab_other.xml"), "VirtualDevice", "Other", "1.0.0"));
    QVERIFY(DescriptionFixture::write(
        mWork.filePath("XML/lab_fold.xml"), "VirtualDevice", "Fold", "1.0.0", 4, "Main/Expert"));
    mOldCwd = QDir::currentPath();
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

std::unique_ptr<MainWindow> TestMainWindow::start(const QStringList &cameras, int connectRow)
{
    for (const QString &name : cameras)
        VirtualCommunicator::addVirtualDevice(name);
    auto window = std::make_unique<MainWindow>();
    window->applySettings();
    ModalAnswer answer(
        ModalAnswer::ofType<DialogConnectToPort>(),
        connectRow >= 0 ? acceptConnection(connectRow)
                        : [](QWidget *w) { static_cast<QDialog *>(w)->reject(); });
    // Should an unexpected dialog stay open, close it so that the test fails instead of hanging.
    ModalAnswer watchdog([](QWidget *) { return false; }, [](QWidget *) {}, 20000);
    window->show();
    // The connection flow starts from the event loop once the window is shown.
    const bool done = QTest::qWaitFor(
        [&answer] {
            return answer.timedOut()
                || (answer.answered()
                    && (!QApplication::activeModalWidget()
                        || qobject_cast<SelectDescriptionDialog *>(
                            QApplication::activeModalWidget())));
        },
        15000);
    if (!done || !answer.answered())
        window.reset();
    return window;
}

void TestMainWindow::startsOfflineWithFormDefaults()
{
    VirtualCommunicator::addVirtualDevice("Lab");
    MainWindow window;
    QCOMPARE(MainWindow::instance(), &window);
    QCOMPARE(window.windowTitle(), QStringLiteral("Marnifex"));
    QCOMPARE(window.size(), QSize(400, 500));
    QCOMPARE(window.onlineLabel()->text(), QStringLiteral("OFFLINE"));
    QCOMPARE(window.cameraLabel()->text(), QStringLiteral("Unknown Unknown"));
    QVERIFY(!window.findChild<QMenu *>("menuConsole")->isEnabled());
    QVERIFY(window.findChild<QWidget *>("wdgStackedExtra")->isHidden());
    QVERIFY(!action(&window, "actDeveloper")->isVisible());
    QVERIFY(!action(&window, "actEditor")->isVisible());
    QVERIFY(action(&window, "actBeginner")->isChecked());
    QCOMPARE(window.findChild<QLabel *>("lblParamInfo")->text(),
        QStringLiteral("Description of the parameters which is currently selected "));
    QVERIFY(window.findChild<QPlainTextEdit *>("pteConsoleOutput")->toPlainText().isEmpty());
    QCOMPARE(window.filter()->rowCount(), 0);
}

void TestMainWindow::demoDescriptionIsChosenAutomatically()
{
    auto window = start({ "Demo" });
    QVERIFY(window);
    QVERIFY(window->registry().current());
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("demo.xml"));
    QCOMPARE(window->registry().partialMatchSuffix(), QString());
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral("VirtualDevice Demo"));
    QCOMPARE(window->onlineLabel()->text(), QStringLiteral("ONLINE: Demo"));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Camera connected"));
    QCOMPARE(window->communication()->currentPort(), QStringLiteral("Demo"));
    const QStringList rows = shownRows(window->filter());
    QVERIFY2(rows.contains(QStringLiteral("Acquisition")), qPrintable(rows.join(',')));
    QVERIFY(rows.contains(QStringLiteral("  Exposure time")));
    // Groups start expanded unless the description stores them collapsed.
    auto *view = window->findChild<QTreeView *>("tvParams");
    QVERIFY(view->isExpanded(window->filter()->index(0, 0)));
}

void TestMainWindow::levelsShowTheirRows_data()
{
    QTest::addColumn<QByteArray>("levelAction");
    QTest::addColumn<int>("modeView");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("beginner") << QByteArray("actBeginner") << 0
                              << QStringList { "Main", "  Brightness" };
    QTest::newRow("expert") << QByteArray("actExpert") << 1
                            << QStringList { "Main", "  Brightness", "  Expert", "    Contrast" };
    QTest::newRow("guru") << QByteArray("actGuru") << 2
                          << QStringList { "Main", "  Brightness", "  Expert", "    Contrast" };
}

void TestMainWindow::levelsShowTheirRows()
{
    QFETCH(QByteArray, levelAction);
    QFETCH(int, modeView);
    QFETCH(QStringList, rows);

    auto window = start({ "Lab" });
    QVERIFY(window);
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab.xml"));
    action(window.get(), levelAction.constData())->trigger();
    QCOMPARE(shownRows(window->filter()), rows);
    QCOMPARE(AppSettings::instance().modeView, modeView);
    const QList<QAction *> levels { action(window.get(), "actBeginner"),
        action(window.get(), "actExpert"), action(window.get(), "actGuru") };
    for (QAction *level : levels)
        QCOMPARE(level->isChecked(), level->objectName() == levelAction);
}

void TestMainWindow::developerLevelOnlyInDeveloperMode()
{
    AppSettings::instance().developerMode = true;
    auto window = start({ "Lab" });
    QVERIFY(window);
    QAction *developer = action(window.get(), "actDeveloper");
    QAction *editor = action(window.get(), "actEditor");
    QVERIFY(developer->isVisible());
    developer->trigger();
    QVERIFY(editor->isVisible());
    QCOMPARE(AppSettings::instance().modeView, 3);
    action(window.get(), "actExpert")->trigger();
    QVERIFY(!editor->isVisible());
    QVERIFY(!developer->isChecked());
}

void TestMainWindow::storedDeveloperLevelFallsBackToGuru()
{
    AppSettings::instance().modeView = 3;
    auto window = start({ "Lab" });
    QVERIFY(window);
    QVERIFY(action(window.get(), "actGuru")->isChecked());
    QVERIFY(!action(window.get(), "actDeveloper")->isChecked());
    QVERIFY(!action(window.get(), "actEditor")->isVisible());
}

void TestMainWindow::partialMatchAsksAndMarksTheLabel()
{
    // No description supports the type "Nothing": the user is asked.
    ModalAnswer selection(ModalAnswer::ofType<SelectDescriptionDialog>(), [](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>("twDescriptions");
        QVERIFY(table->rowCount() >= 1);
        const int row = table->findItems("lab_other.xml", Qt::MatchExactly).first()->row();
        table->setCurrentCell(row, 0);
        dialog->findChild<QPushButton *>("pbOk")->click();
    });
    auto window = start({ "Nothing" });
    QVERIFY(window);
    QTRY_VERIFY(selection.answered());
    QCOMPARE(selection.title(),
        QStringLiteral("Provide camera description for: "
                       "'VirtualDevice-Nothing'"));
    QTRY_VERIFY(window->registry().current());
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab_other.xml"));
    QCOMPARE(window->cameraLabel()->text(),
        QStringLiteral("VirtualDevice Nothing (Partial match: 'lab_other.xml')"));
    QCOMPARE(shownRows(window->filter()), QStringList({ "Main", "  Brightness" }));
}

void TestMainWindow::cancelledSelectionLeavesNoDescription()
{
    ModalAnswer selection(ModalAnswer::ofType<SelectDescriptionDialog>(),
        [](QWidget *dialog) { dialog->findChild<QPushButton *>("pbCancel")->click(); });
    auto window = start({ "Nothing" });
    QVERIFY(window);
    QTRY_VERIFY(selection.answered());
    QTRY_COMPARE(window->statusBar()->currentMessage(), QStringLiteral("Camera connected"));
    QVERIFY(!window->registry().current());
    QCOMPARE(window->filter()->rowCount(), 0);
    QCOMPARE(window->onlineLabel()->text(), QStringLiteral("OFFLINE"));
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral("VirtualDevice Nothing"));
}

void TestMainWindow::customDescriptionChosenAtConnectJoinsTheRegistry()
{
    const QString custom = mWork.filePath("custom/mine.xml");
    QVERIFY(DescriptionFixture::write(custom, "VirtualDevice", "Custom", "2.0.0"));
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), typePath(custom));
    ModalAnswer selection(ModalAnswer::ofType<SelectDescriptionDialog>(), [](QWidget *w) {
        auto *dialog = static_cast<SelectDescriptionDialog *>(w);
        dialog->openFilePressed();
        auto *table = dialog->findChild<QTableWidget *>("twDescriptions");
        const int row = table->findItems("mine.xml", Qt::MatchExactly).first()->row();
        table->setCurrentCell(row, 0);
        dialog->findChild<QPushButton *>("pbOk")->click();
    });
    auto window = start({ "Custom2" });
    QVERIFY(window);
    QTRY_VERIFY(selection.answered());
    QVERIFY(picker.answered());
    CameraDescriptionFile *current = window->registry().current();
    QVERIFY(current);
    QCOMPARE(current->filePath(), custom);
    QVERIFY(window->registry().contains(current));
    QCOMPARE(window->registry().digests().size(), window->registry().descriptions().size());
    QCOMPARE(window->cameraLabel()->text(),
        QStringLiteral("VirtualDevice Custom2 (Partial match: 'mine.xml')"));

    // A rebuild keeps the custom description: no file of that name is on the search paths.
    window->loadDescriptions();
    QCOMPARE(window->registry().current(), current);
    QCOMPARE(shownRows(window->filter()), QStringList({ "Main", "  Brightness" }));
}

void TestMainWindow::consoleSendsTypedCommandAndShowsTraffic()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    action(window.get(), "actConsole")->trigger();
    QVERIFY(window->findChild<QMenu *>("menuConsole")->isEnabled());
    auto *input = window->findChild<QLineEdit *>("leConsoleInput");
    auto *output = window->findChild<QPlainTextEdit *>("pteConsoleOutput");
    QVERIFY(input->isVisible());
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
}

void TestMainWindow::consoleHistory()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    action(window.get(), "actConsole")->trigger();
    auto *input = window->findChild<QLineEdit *>("leConsoleInput");

    input->setText("keep");
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("keep"));
    input->clear();

    const auto enter = [input](const QString &line) {
        input->setText(line);
        QTest::keyClick(input, Qt::Key_Return);
    };
    enter("A?");
    enter("A?");
    enter("B 1");
    QCOMPARE(window->consoleHistory(), QStringList({ "A?", "B 1" }));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("B 1"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("A?"));
    QTest::keyClick(input, Qt::Key_Up);
    QCOMPARE(input->text(), QStringLiteral("A?"));
    QTest::keyClick(input, Qt::Key_Down);
    QCOMPARE(input->text(), QStringLiteral("B 1"));
    QTest::keyClick(input, Qt::Key_Down);
    QCOMPARE(input->text(), QString());
    QTest::keyClick(input, Qt::Key_Down);
    QCOMPARE(input->text(), QString());

    for (int i = 0; i < 100; ++i)
        enter(QStringLiteral("C%1").arg(i));
    QCOMPARE(window->consoleHistory().size(), 100);
    QCOMPARE(window->consoleHistory().first(), QStringLiteral("C0"));
    QCOMPARE(window->consoleHistory().last(), QStringLiteral("C99"));
}

void TestMainWindow::consoleScriptQueuesLines()
{
    const QString script = mWork.filePath("script.txt");
    QVERIFY(DescriptionFixture::write(script, QByteArray("SCA 5\r\n\r\n\nSCB?\nSCC 7")));
    auto window = start({ "Lab" });
    QVERIFY(window);
    auto *lab
        = qobject_cast<VirtualCommunicator *>(window->communication()->findCommunicator("Lab"));
    QVERIFY(lab);
    lab->camera().clearReceivedCommands();
    // A query answered with a value is not repeated.
    lab->camera().setValue("SCB", "3");

    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), typePath(script));
    window->on_actConsoleRunScript_triggered();
    QVERIFY(picker.answered());
    QCOMPARE(picker.title(), QStringLiteral("Run console script"));
    QTRY_VERIFY(lab->camera().receivedCommands().contains("SCC 7"));
    QList<QByteArray> scripted;
    const QList<QByteArray> received = lab->camera().receivedCommands();
    for (const QByteArray &command : received)
        if (command.startsWith("SC"))
            scripted.append(command);
    QCOMPARE(scripted, QList<QByteArray>({ "SCA 5", "SCB?", "SCC 7" }));
    QCOMPARE(lab->camera().value("SCA"), QByteArray(" 5"));
}

void TestMainWindow::consoleOutputIsSavedWithCrLf()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    auto *output = window->findChild<QPlainTextEdit *>("pteConsoleOutput");
    output->setPlainText("first\nsecond");
    const QString path = mWork.filePath("console.txt");
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), typePath(path));
    window->on_actConoleSaveOutput_triggered();
    QVERIFY(picker.answered());
    QCOMPARE(picker.title(), QStringLiteral("Save console output"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("first\r\nsecond"));

    action(window.get(), "actConsoleClear")->trigger();
    QVERIFY(output->toPlainText().isEmpty());
}

void TestMainWindow::consolePanelWidensAndShrinksTheWindow()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    auto *params = window->findChild<QWidget *>("wdgParams");
    const int before = params->width();
    action(window.get(), "actConsole")->trigger();
    QVERIFY(AppSettings::instance().runtimeShowConsole);
    QTRY_COMPARE(window->width(), before + 350);
    action(window.get(), "actConsole")->trigger();
    QVERIFY(!AppSettings::instance().runtimeShowConsole);
    QVERIFY(window->findChild<QWidget *>("wdgStackedExtra")->isHidden());
    QVERIFY(!window->findChild<QMenu *>("menuConsole")->isEnabled());
    QTRY_COMPARE(window->width(), params->width());
}

void TestMainWindow::disconnectEmptiesTheTree()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    QVERIFY(window->filter()->rowCount() > 0);
    action(window.get(), "actDisconnect")->trigger();
    QCOMPARE(window->filter()->rowCount(), 0);
    QVERIFY(!window->registry().current());
    QCOMPARE(window->onlineLabel()->text(), QStringLiteral("OFFLINE"));
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral(" "));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Camera disconnected"));
    QCOMPARE(window->communication()->currentPort(), QString());
}

void TestMainWindow::alternateDescriptionNeedsAConnection()
{
    auto window = start({ "Lab" }, -1);
    QVERIFY(window);
    QVERIFY(!window->registry().current());
    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
    action(window.get(), "actOpenFile")->trigger();
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Unable to load another description file"));
    QCOMPARE(box.text(),
        QStringLiteral("Unable to load a description file,\nNot connected to "
                       "any camera"));
}

void TestMainWindow::alternateDescriptionReplacesTheCurrentOne()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab.xml"));
    ModalAnswer selection(ModalAnswer::ofType<SelectDescriptionDialog>(), [](QWidget *dialog) {
        auto *table = dialog->findChild<QTableWidget *>("twDescriptions");
        const int row = table->findItems("lab_other.xml", Qt::MatchExactly).first()->row();
        table->setCurrentCell(row, 0);
        dialog->findChild<QPushButton *>("pbOk")->click();
    });
    action(window.get(), "actOpenFile")->trigger();
    QVERIFY(selection.answered());
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab_other.xml"));
    // The suffix belongs to the connection, not to the chosen file.
    QCOMPARE(window->cameraLabel()->text(), QStringLiteral("VirtualDevice Lab"));
}

void TestMainWindow::closeAsksFirst_data()
{
    QTest::addColumn<int>("answerButton");
    QTest::addColumn<bool>("closed");
    QTest::newRow("no") << int(QMessageBox::No) << false;
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
}

void TestMainWindow::closeAsksFirst()
{
    QFETCH(int, answerButton);
    QFETCH(bool, closed);
    auto window = start({ "Lab" });
    QVERIFY(window);
    AppSettings::instance().askExitWindows = true;
    AppSettings::instance().runtimeWindowsGeometry.clear();
    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(),
        ModalAnswer::clickButton(QMessageBox::StandardButton(answerButton)));
    action(window.get(), "actExit")->trigger();
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Close application"));
    QCOMPARE(box.text(), QStringLiteral("Are you sure you want to leave the application?"));
    QCOMPARE(window->isVisible(), !closed);
    QCOMPARE(AppSettings::instance().runtimeWindowsGeometry.isEmpty(), !closed);
}

void TestMainWindow::reloadKeepsTheCurrentDescription()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    CameraDescriptionFile *before = window->registry().current();
    QVERIFY(before);
    window->loadDescriptions();
    QVERIFY(window->registry().current());
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab.xml"));
    QCOMPARE(shownRows(window->filter()), QStringList({ "Main", "  Brightness" }));
    QCOMPARE(window->onlineLabel()->text(), QStringLiteral("ONLINE: Lab"));
}

void TestMainWindow::descriptionPanelPlacement_data()
{
    QTest::addColumn<QByteArray>("modeAction");
    QTest::addColumn<int>("modeDescription");
    QTest::addColumn<int>("position"); // -1: hidden
    QTest::newRow("top") << QByteArray("actDescrTop") << 0 << 0;
    QTest::newRow("bottom") << QByteArray("actDescrBottom") << 1 << 1;
    QTest::newRow("hide") << QByteArray("actDescrHide") << 2 << -1;
}

void TestMainWindow::descriptionPanelPlacement()
{
    QFETCH(QByteArray, modeAction);
    QFETCH(int, modeDescription);
    QFETCH(int, position);
    auto window = start({ "Lab" });
    QVERIFY(window);
    action(window.get(), "actDescrBottom")->trigger();
    action(window.get(), modeAction.constData())->trigger();
    QCOMPARE(AppSettings::instance().modeDescription, modeDescription);
    auto *panel = window->findChild<QWidget *>("frmParamInfo");
    auto *layout = window->findChild<QWidget *>("wdgParams")->layout();
    QCOMPARE(panel->isVisible(), position >= 0);
    if (position >= 0)
        QCOMPARE(layout->indexOf(panel), position);
    for (const char *name : { "actDescrTop", "actDescrBottom", "actDescrHide" })
        QCOMPARE(action(window.get(), name)->isChecked(), modeAction == name);
}

void TestMainWindow::storedLayoutIsAppliedOnShow()
{
    AppSettings &settings = AppSettings::instance();
    settings.modeDescription = 1;
    settings.modeView = 1;
    settings.runtimeShowConsole = true;
    settings.consoleLogDebug = true;
    auto window = start({ "Lab" });
    QVERIFY(window);
    QVERIFY(action(window.get(), "actDescrBottom")->isChecked());
    QVERIFY(action(window.get(), "actExpert")->isChecked());
    QVERIFY(action(window.get(), "actConsole")->isChecked());
    QVERIFY(action(window.get(), "actConsoleShowDebug")->isChecked());
    QVERIFY(window->console()->showDebug());
    QVERIFY(window->findChild<QWidget *>("wdgStackedExtra")->isVisible());
    QVERIFY(window->findChild<QMenu *>("menuConsole")->isEnabled());
    QCOMPARE(shownRows(window->filter()),
        QStringList({ "Main", "  Brightness", "  Expert", "    Contrast" }));
    // The selective edit mode is the one a run uses.
    QVERIFY(action(window.get(), "actSelectiveEdit")->isChecked());
    QVERIFY(!action(window.get(), "actAlwaysEdt")->isChecked());
}

void TestMainWindow::hoveredRowIsDescribed()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    auto *view = window->findChild<QTreeView *>("tvParams");
    auto *info = window->findChild<QLabel *>("lblParamInfo");
    QVERIFY(info->text().isEmpty());
    const QModelIndex group = window->filter()->index(0, 0);
    const QModelIndex brightness = window->filter()->index(0, 1, group);
    emit view->entered(brightness);
    QCOMPARE(info->text(), QStringLiteral("<B>Brightness</B>:<BR>About Brightness"));
    emit view->entered(group);
    QCOMPARE(info->text(), QString());
}

void TestMainWindow::onlineStateFollowsTheCommunicationThread()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    emit window->communication()->onlineModeChanged(false);
    QTRY_COMPARE(window->onlineLabel()->text(), QStringLiteral("OFFLINE"));
    emit window->communication()->onlineModeChanged(true);
    QTRY_COMPARE(window->onlineLabel()->text(), QStringLiteral("ONLINE: Lab"));
}

void TestMainWindow::editModeActions_data()
{
    QTest::addColumn<QByteArray>("modeAction");
    QTest::addColumn<int>("selectionMode");
    QTest::newRow("always") << QByteArray("actAlwaysEdt") << int(QAbstractItemView::NoSelection);
    QTest::newRow("selective") << QByteArray("actSelectiveEdit")
                               << int(QAbstractItemView::SingleSelection);
    QTest::newRow("mouse over") << QByteArray("actMouseOverEdit")
                                << int(QAbstractItemView::SingleSelection);
}

void TestMainWindow::editModeActions()
{
    QFETCH(QByteArray, modeAction);
    QFETCH(int, selectionMode);
    auto window = start({ "Lab" });
    QVERIFY(window);
    action(window.get(), modeAction.constData())->trigger();
    auto *view = window->findChild<QTreeView *>("tvParams");
    QCOMPARE(int(view->selectionMode()), selectionMode);
    for (const char *name : { "actAlwaysEdt", "actSelectiveEdit", "actMouseOverEdit" })
        QCOMPARE(action(window.get(), name)->isChecked(), modeAction == name);
    // Rebuilding the tree keeps the chosen mode.
    window->refreshModel();
    QCOMPARE(int(view->selectionMode()), selectionMode);
    QVERIFY(action(window.get(), modeAction.constData())->isChecked());
}

void TestMainWindow::storedCollapsedGroupsStayCollapsed()
{
    AppSettings::instance().modeView = 1;
    auto window = start({ "Fold" });
    QVERIFY(window);
    QCOMPARE(window->registry().current()->fileName(), QStringLiteral("lab_fold.xml"));
    auto *view = window->findChild<QTreeView *>("tvParams");
    const QModelIndex main = window->filter()->index(0, 0);
    const QModelIndex expert = window->filter()->index(1, 0, main);
    QCOMPARE(expert.data().toString(), QStringLiteral("Expert"));
    QVERIFY(view->isExpanded(main));
    QVERIFY(!view->isExpanded(expert));
}

void TestMainWindow::groupNameJoinsTheGroupPath()
{
    QStandardItemModel model;
    auto *a = new QStandardItem("A");
    auto *b = new QStandardItem("B");
    auto *value = new QStandardItem("v");
    auto *c = new QStandardItem("C");
    model.appendRow(a);
    a->appendRow({ b, value });
    b->appendRow(c);
    QCOMPARE(MainWindow::groupName(a), QStringLiteral("A"));
    QCOMPARE(MainWindow::groupName(c), QStringLiteral("A/B/C"));
    QCOMPARE(MainWindow::groupName(value), QString());
    QCOMPARE(MainWindow::groupName(nullptr), QString());
}

void TestMainWindow::consoleOptionsAreStored()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    action(window.get(), "actConsoleShowDebug")->trigger();
    QVERIFY(AppSettings::instance().consoleLogDebug);
    QVERIFY(window->console()->showDebug());
    action(window.get(), "actShowTimedUpdates")->trigger();
    QVERIFY(AppSettings::instance().consoleLogTimed);
    QVERIFY(window->console()->timed());
    action(window.get(), "actConsoleShowDebug")->trigger();
    QVERIFY(!AppSettings::instance().consoleLogDebug);
    QVERIFY(!window->console()->showDebug());
}

void TestMainWindow::aboutBoxOpensModally()
{
    auto window = start({ "Lab" });
    QVERIFY(window);
    ModalAnswer about(
        ModalAnswer::ofType<QDialog>(), [](QWidget *w) { static_cast<QDialog *>(w)->accept(); });
    action(window.get(), "actAbout")->trigger();
    QVERIFY(about.answered());
    QCOMPARE(about.title(), QStringLiteral("Dialog"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
