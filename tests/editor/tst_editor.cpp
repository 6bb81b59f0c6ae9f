#include "app/appsettings.h"
#include "comm/metatypes.h"
#include "description/cameradescriptionfile.h"
#include "description/enumerationelement.h"
#include "editor/editdescriptionfileproperties.h"
#include "editor/editwindow.h"
#include "editor/selectreferencesdialog.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QTreeWidget>
#include <QtTest>

namespace {

EditWindow *editor()
{
    return EditWindow::existingInstance();
}

template<typename T = QWidget> T *find(const char *name, QObject *in = nullptr)
{
    T *found = (in ? in : editor())->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no %s", name);
    return found;
}

void trigger(const char *action)
{
    find<QAction>(action)->trigger();
}

void click(const char *button, QObject *in = nullptr)
{
    find<QAbstractButton>(button, in)->click();
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

/// Rows of a tree widget, children indented by two blanks.
QStringList rows(QTreeWidget *tree, QTreeWidgetItem *parent = nullptr, int depth = 0)
{
    QStringList out;
    const int count = parent ? parent->childCount() : tree->topLevelItemCount();
    for (int i = 0; i < count; ++i) {
        QTreeWidgetItem *item = parent ? parent->child(i) : tree->topLevelItem(i);
        out.append(QString(depth * 2, ' ') + item->text(0));
        out += rows(tree, item, depth + 1);
    }
    return out;
}

QStringList rows(const char *tree)
{
    return rows(find<QTreeWidget>(tree));
}

/// Fills the properties dialog with a model name and supported models and presses OK.
ModalAnswer::Action properties(const QString &model, const QString &supported = QString())
{
    return [=](QWidget *w) {
        find<QLineEdit>("leModelName", w)->setText(model);
        find<QLineEdit>("leSupported", w)->setText(supported);
        static_cast<QDialog *>(w)->accept();
    };
}

ModalAnswer::Match question()
{
    return [](QWidget *w) {
        return qobject_cast<QMessageBox *>(w)
            && w->windowTitle() == QLatin1String("Save current description");
    };
}

} // namespace

class TestEditor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        MetaTypes::registerAll();
        MainWindow::setSerialPortScanning(false);
        QVERIFY(QDir::setCurrent(mWork.path()));
        QVERIFY(QDir().mkpath("XML"));
    }

    void init()
    {
        AppSettings::instance() = AppSettings();
        AppSettings::instance().askExitWindows = false;
        QDir(path("lab.xml")).removeRecursively();
        // Commands Go (value v) and Sel (value s); elements Gain (integer) and Mode (enumeration)
        // in group Main, Flag (bool) in Main/Sub; Gain names a value nobody has.
        QFile lab(qEnvironmentVariable("MARNIFEX_SOURCE_DIR") + "/tests/editor/data/lab.xml");
        QVERIFY(lab.open(QIODevice::ReadOnly));
        QVERIFY(DescriptionFixture::write(path("lab.xml"), lab.readAll()));
        EditWindow::showInstance();
    }

    void cleanup() { EditWindow::destroyInstance(); }

    void commands()
    {
        QCOMPARE(editor()->windowTitle(), QStringLiteral("Mfx: Camera description editor"));
        QCOMPARE(editor()->size(), QSize(700, 550));
        for (int i = 0; i < 3; ++i)
            click("tbAdd", find("twCommandList")->parent());
        QCOMPARE(
            rows("twCommandList"), QStringList({ "newCommand", "newCommand_0", "newCommand_1" }));
        type("leID", "ABC");
        type("leCommandCode", "gain");
        QCOMPARE(find<QLineEdit>("leCommandCode")->text(), QStringLiteral("GAIN"));
        QWidget *getRequest = find("wdgGetRequest");
        click("tbAdd", getRequest);
        click("tbAdd", getRequest);
        auto *table = find<QTableWidget>("twParameters", getRequest);
        table->item(0, 0)->setText("Constant");
        table->item(0, 1)->setText("");
        table->item(1, 0)->setText("String");
        for (int copy = 0; copy < 2; ++copy) {
            clickRow("twCommandList", "ABC");
            click("tbCopy");
        }
        type("leID", "newCommand"); // ABC_1: newCommand and newCommand_0 are taken
        QCOMPARE(rows("twCommandList"),
            QStringList({ "newCommand", "newCommand_0", "ABC", "ABC_0", "newCommand_1" }));
        const Command abc = editor()->description()->command("ABC");
        QCOMPARE(abc.code, QByteArray("GAIN"));
        QCOMPARE(abc.paramsGet.size(), 1); // the constant without a value was dropped
        QCOMPARE(abc.paramsGet.first().id, QStringLiteral("ID"));
        QCOMPARE(editor()->description()->command("newCommand_1"), [abc] {
            Command copy = abc;
            copy.id = "newCommand_1";
            return copy;
        }());

        clickRow("twCommandList", "ABC_0");
        click("tbRemove", find("twCommandList")->parent());
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

    void elements()
    {
        click("tbElementAdd");
        click("tbElementAdd");
        QCOMPARE(rows("twElements"),
            QStringList({ "Generic", "  DisplayElement_0", "  DisplayElement_1" }));
        clickRow("twElements", "DisplayElement_0");
        type("leTooltip", "tip");
        find<QComboBox>("cboVisibility")->setCurrentIndex(1);
        find<QComboBox>("cboType")->setCurrentIndex(5);
        for (int i = 0; i < 3; ++i)
            click("tbEnumAddItem");
        auto *value = find<QSpinBox>("sbEnumItemValue");
        value->setValue(3);
        emit value->editingFinished();
        click("tbEnumAddItem");
        click("tbElementCopy"); // commits the kind change, then copies
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
        click("tbElementMoveUp");
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
        QTest::keyClick(find("twElements"), Qt::Key_Down);
        QTRY_COMPARE(find<QLineEdit>("leName")->text(), QStringLiteral("DisplayElement_1"));
        click("tbElementRemove");
        QVERIFY(!editor()->description()->isGroupExpanded("A"));
        QVERIFY(!editor()->description()->displayElement("DisplayElement_1"));
    }

    void references()
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
        click("tbIntSelectReference");
        QCOMPARE(chooser.title(), QStringLiteral("Select reference"));
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
        click("tbSelectRefsInvalidatedBy");
        QCOMPARE(offered, QStringList({ "Go", "Sel+", "s", "v" }));
        QCOMPARE(find<QLineEdit>("leInvalidatedBy")->text(), QStringLiteral("Go,Sel"));
    }

    void scriptStatus_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("tooltip"); // empty: a tick, else an error mark
        const auto row
            = [](const char *name, const char *field, const char *script, const char *tooltip) {
                  QTest::newRow(name) << field << script << tooltip;
              };
        row("complete", "leIsAvailable", "v == 1 && s != 'x'", "");
        row("ends in an operator", "leIsAvailable", "v ==", "Expected more script to follow");
        row("item, broken", "leEnumItemIsAvailable", "v == 1)", "Expected `;', `;'");
    }

    void scriptStatus()
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

    void unsavedChanges_data()
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

    void unsavedChanges()
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
        trigger("actClose");
        QCOMPARE(box.answered(), answer != 0);
        QCOMPARE(box.text(),
            answer ? QStringLiteral("Do you want to save the current description?") : "");
        QCOMPARE(editor()->isVisible(), open);
        QCOMPARE(failure.answered(), code.isEmpty());
        QCOMPARE(CameraDescriptionFile(path("lab.xml")).command("Sel").code, code);
    }

    void saveAndExport()
    {
        {
            ModalAnswer props(ModalAnswer::ofType<EditDescriptionFileProperties>(),
                properties(" Cam ", "cam1 , cam2,, cam3"));
            ModalAnswer picker(
                ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path("cam")));
            trigger("actSave");
            QCOMPARE(props.title(), QStringLiteral("Edit Description file properties"));
            QCOMPARE(picker.title(), QStringLiteral("Save description file as..."));
        }
        CameraDescriptionFile saved(path("cam.xml"));
        QCOMPARE(saved.modelName(), QStringLiteral("Cam"));
        QCOMPARE(saved.supportedModels(), QStringList({ "cam1", "cam2", "cam3" }));
        qint32 major = 0, minor = 0, patch = 0;
        saved.version(major, minor, patch);
        QCOMPARE(QList<int>({ major, minor, patch }), QList<int>({ 1, 0, 0 }));
        {
            ModalAnswer picker(
                ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path("cam.XML")));
            trigger("actSaveAs");
        }
        QCOMPARE(editor()->filePath(), path("cam.XML"));

        click("tbAdd", find("twCommandList")->parent());
        find<QCheckBox>("cbDeveloperOnly")->setChecked(true);
        {
            ModalAnswer picker(
                ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path("pub")));
            trigger("actExport");
        }
        CameraDescriptionFile exported(path("pub.xml"));
        QCOMPARE(exported.modelName(), QStringLiteral("Cam"));
        QVERIFY(exported.commands().isEmpty());
        QCOMPARE(CameraDescriptionFile(path("cam.XML")).commands().size(), 0);
        QCOMPARE(editor()->filePath(), path("cam.XML"));
        QCOMPARE(editor()->windowTitle(), QStringLiteral("Mfx: Camera description editor"));
        ModalAnswer box(question(), ModalAnswer::clickButton(QMessageBox::Cancel));
        trigger("actNew"); // the export did not count as saving
        QVERIFY(box.answered());
        QVERIFY(editor()->description()->hasCommand("newCommand"));
    }

    // Edit XML opens the same editor; a saved file is known to the main window at once, a failed
    // save is reported, leaves everything alone, and the question is still asked afterwards.
    void mainWindowAndFailedSave()
    {
        AppSettings::instance().developerMode = true;
        EditWindow *const shared = editor();
        auto main = std::make_unique<MainWindow>();
        main->loadDescriptions();
        main->findChild<QAction *>("actDeveloper")->trigger();
        shared->hide();
        main->findChild<QAction *>("actEditor")->trigger();
        QCOMPARE(editor(), shared);
        QVERIFY(shared->isVisible());

        {
            ModalAnswer props(
                ModalAnswer::ofType<EditDescriptionFileProperties>(), properties("New"));
            ModalAnswer picker(
                ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path("XML/new")));
            trigger("actSave");
        }
        QCOMPARE(main->registry().descriptions().size(), 1);
        QCOMPARE(main->registry().descriptions().first()->modelName(), QStringLiteral("New"));

        const QList<CameraDescriptionFile *> registered = main->registry().descriptions();
        click("tbAdd", find("twCommandList")->parent());
        const QString target = path("XML/no/such/folder/x.xml");
        {
            ModalAnswer picker(
                ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(target));
            ModalAnswer failure(
                ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
            trigger("actSaveAs");
            QCOMPARE(failure.title(), QStringLiteral("Unable to write description"));
            QVERIFY2(failure.text().contains(target), qPrintable(failure.text()));
        }
        QCOMPARE(editor()->filePath(), path("XML/new.xml"));
        QCOMPARE(editor()->description()->filePath(), path("XML/new.xml"));
        QCOMPARE(main->registry().descriptions(), registered);

        // Leaving the program asks for the editor's changes first.
        ModalAnswer box(question(), ModalAnswer::clickButton(QMessageBox::Cancel));
        QVERIFY(!main->close());
        QVERIFY(box.answered());
        QVERIFY(editor()->isVisible());
    }

    void check()
    {
        load(path("lab.xml"));
        trigger("actCheck");
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
    }

    void loadRefusesOtherFiles_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("another kind of XML") << QByteArray("<notes><note>x</note></notes>");
        QTest::newRow("empty") << QByteArray();
    }

    // A file without a description is refused and leaves the editor's description and file alone.
    void loadRefusesOtherFiles()
    {
        QFETCH(QByteArray, contents);
        load(path("lab.xml"));
        QVERIFY(DescriptionFixture::write(path("notes.xml"), contents));
        ModalAnswer picker(
            ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(path("notes.xml")));
        ModalAnswer refusal(
            ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
        trigger("actLoad");
        QCOMPARE(refusal.title(), QStringLiteral("Unable to load description"));
        QCOMPARE(editor()->filePath(), path("lab.xml"));
        QVERIFY(editor()->description()->hasCommand("Sel"));
    }

    void roundTrip_data()
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
    void roundTrip()
    {
        QFETCH(QString, file);
        load(file);
        for (const char *tree : { "twCommandList", "twElements" }) {
            for (int row = 0; row < rows(tree).size(); ++row)
                clickRow(tree, row);
        }
        {
            ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(),
                ModalAnswer::typeFileName(path("copy_" + QFileInfo(file).fileName())));
            trigger("actSaveAs");
        }
        QCOMPARE(CameraDescriptionFile(path("copy_" + QFileInfo(file).fileName())).md5Hash(),
            CameraDescriptionFile(file).md5Hash());
    }

private:
    void load(const QString &file)
    {
        ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(file));
        trigger("actLoad");
        QCOMPARE(picker.title(), QStringLiteral("Select description file"));
        QCOMPARE(editor()->filePath(), file);
    }

    QString path(const QString &file) const { return mWork.filePath(file); }

    QTemporaryDir mWork;
};

QTEST_MAIN(TestEditor)
#include "tst_editor.moc"
