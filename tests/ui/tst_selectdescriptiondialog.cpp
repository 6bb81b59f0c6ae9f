#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/selectdescriptiondialog.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QTableWidget *tableOf(QWidget *dialog)
{
    return dialog->findChild<QTableWidget *>(QStringLiteral("twDescriptions"));
}

QPushButton *button(QWidget *dialog, const char *name)
{
    return dialog->findChild<QPushButton *>(QLatin1String(name));
}

/// "file|model|supported|version|r,g,b" per row.
QStringList rows(QTableWidget *table)
{
    QStringList out;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < 4; ++column)
            cells.append(table->item(row, column)->text());
        const QColor colour = table->item(row, 0)->background().color();
        for (int column = 1; column < 4; ++column)
            if (table->item(row, column)->background().color() != colour)
                cells.append(QStringLiteral("mixed colours"));
        cells.append(
            QStringLiteral("%1,%2,%3").arg(colour.red()).arg(colour.green()).arg(colour.blue()));
        out.append(cells.join('|'));
    }
    return out;
}

const QString kGreen = QStringLiteral("160,217,56");
const QString kGrey = QStringLiteral("127,130,133");
const QString kRed = QStringLiteral("255,66,34");

/// Picks path in the next file dialog.
ModalAnswer::Action chooseFile(const QString &path)
{
    return [path](QWidget *w) {
        // Typed as an absolute path: independent of the folder the dialog remembers.
        auto *name = w->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        QVERIFY(name);
        name->setText(path);
        QMetaObject::invokeMethod(w, "accept");
    };
}

} // namespace

class TestSelectDescriptionDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void listsMatchesOutsideDeveloperMode();
    void developerModeListsNonMatchesLast();
    void choosingARowReturnsItsDescription_data();
    void choosingARowReturnsItsDescription();
    void cancelReturnsNothing();
    void okWithoutRowDoesNothing();
    void nonMatchAsksForConfirmation_data();
    void nonMatchAsksForConfirmation();
    void addCustomMatchingFileIsHandedOver();
    void addCustomNonMatchIsRefusedOutsideDeveloperMode();
    void addCustomInvalidFileIsRejected();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }

    QTemporaryDir mDir;
    std::vector<std::unique_ptr<CameraDescriptionFile>> mOwned;
    QList<CameraDescriptionFile *> mFiles;
};

void TestSelectDescriptionDialog::initTestCase()
{
    QVERIFY(mDir.isValid());
    QVERIFY(DescriptionFixture::write(path("best_old.xml"), "ABC", "12,13", "1.2.0"));
    QVERIFY(DescriptionFixture::write(path("other.xml"), "XYZ", "12", "3.0.0"));
    QVERIFY(DescriptionFixture::write(path("match.xml"), "abc", "99", "1.0.0"));
    QVERIFY(DescriptionFixture::write(path("best_new.xml"), "ABC", "12", "1.10.0"));
    for (const char *name : { "best_old.xml", "other.xml", "match.xml", "best_new.xml" }) {
        mOwned.push_back(std::make_unique<CameraDescriptionFile>(path(name)));
        mFiles.append(mOwned.back().get());
    }
}

void TestSelectDescriptionDialog::init()
{
    AppSettings::instance().developerMode = false;
}

void TestSelectDescriptionDialog::cleanup()
{
    AppSettings::instance().developerMode = false;
}

void TestSelectDescriptionDialog::cleanupTestCase()
{
    mFiles.clear();
    mOwned.clear();
}

void TestSelectDescriptionDialog::listsMatchesOutsideDeveloperMode()
{
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Provide camera description for: 'ABC-12'"));
    QTableWidget *table = tableOf(&dialog);
    QCOMPARE(table->horizontalHeaderItem(0)->text(), QStringLiteral("Filename"));
    QCOMPARE(table->horizontalHeaderItem(1)->text(), QStringLiteral("Modelname"));
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Supported type"));
    QCOMPARE(table->horizontalHeaderItem(3)->text(), QStringLiteral("Version"));
    QCOMPARE(rows(table),
        QStringList({ "best_new.xml|ABC|12|1.10.0|" + kGreen,
            "best_old.xml|ABC|12, 13|1.2.0|" + kGreen, "match.xml|abc|99|1.0.0|" + kGrey }));
    // Each row knows its place in the candidate list.
    QCOMPARE(table->item(0, 0)->data(SelectDescriptionDialog::CandidateIndexRole).toInt(), 3);
    QCOMPARE(table->item(2, 0)->data(SelectDescriptionDialog::CandidateIndexRole).toInt(), 2);
    QCOMPARE(table->currentRow(), -1);
    QVERIFY(!button(&dialog, "pbOk")->isEnabled());

    table->setCurrentCell(1, 2);
    dialog.itemClicked();
    QVERIFY(button(&dialog, "pbOk")->isEnabled());
    QCOMPARE(dialog.currentDescription(), mFiles.at(0));
}

void TestSelectDescriptionDialog::developerModeListsNonMatchesLast()
{
    AppSettings::instance().developerMode = true;
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    const QStringList shown = rows(tableOf(&dialog));
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown.last(), "other.xml|XYZ|12|3.0.0|" + kRed);
}

void TestSelectDescriptionDialog::choosingARowReturnsItsDescription_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("file");
    QTest::newRow("newest best match") << 0 << "best_new.xml";
    QTest::newRow("older best match") << 1 << "best_old.xml";
    QTest::newRow("match") << 2 << "match.xml";
}

void TestSelectDescriptionDialog::choosingARowReturnsItsDescription()
{
    QFETCH(int, row);
    QFETCH(QString, file);
    ModalAnswer answer(ModalAnswer::ofType<SelectDescriptionDialog>(), [row](QWidget *dialog) {
        QTableWidget *table = tableOf(dialog);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
            table->visualItemRect(table->item(row, 1)).center());
        QVERIFY(button(dialog, "pbOk")->isEnabled());
        button(dialog, "pbOk")->click();
    });
    CameraDescriptionFile *chosen = SelectDescriptionDialog::getDescription(mFiles, "ABC", "12");
    QVERIFY(answer.answered());
    QVERIFY(chosen);
    QCOMPARE(chosen->fileName(), file);
    QVERIFY(mFiles.contains(chosen));
}

void TestSelectDescriptionDialog::cancelReturnsNothing()
{
    ModalAnswer answer(ModalAnswer::ofType<SelectDescriptionDialog>(), [](QWidget *dialog) {
        tableOf(dialog)->setCurrentCell(0, 0);
        button(dialog, "pbCancel")->click();
    });
    QCOMPARE(SelectDescriptionDialog::getDescription(mFiles, "ABC", "12"), nullptr);
    QVERIFY(answer.answered());
}

void TestSelectDescriptionDialog::okWithoutRowDoesNothing()
{
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    dialog.show();
    dialog.okPressed();
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(dialog.isVisible());
    dialog.itemDoubleClicked();
    QVERIFY(dialog.isVisible());
}

void TestSelectDescriptionDialog::nonMatchAsksForConfirmation_data()
{
    QTest::addColumn<int>("answerButton");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("no") << int(QMessageBox::No) << false;
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
}

void TestSelectDescriptionDialog::nonMatchAsksForConfirmation()
{
    QFETCH(int, answerButton);
    QFETCH(bool, accepted);
    AppSettings::instance().developerMode = true;
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    dialog.show();
    tableOf(&dialog)->setCurrentCell(3, 0);
    QCOMPARE(dialog.currentDescription()->fileName(), QStringLiteral("other.xml"));

    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), [answerButton](QWidget *w) {
        auto *messageBox = static_cast<QMessageBox *>(w);
        QCOMPARE(messageBox->defaultButton(), messageBox->button(QMessageBox::No));
        messageBox->button(QMessageBox::StandardButton(answerButton))->click();
    });
    dialog.itemDoubleClicked();
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Possible incorrect description for camera"));
    QCOMPARE(box.text(),
        QStringLiteral("The current selected camera description does not "
                       "support the current connected camera,\n\nAre you sure "
                       "you want to use this description file?"));
    QCOMPARE(dialog.result() == QDialog::Accepted, accepted);
    QCOMPARE(dialog.isVisible(), !accepted);
}

void TestSelectDescriptionDialog::addCustomMatchingFileIsHandedOver()
{
    const QString customPath = path("custom/mine.xml");
    QVERIFY(DescriptionFixture::write(customPath, "ABC", "12", "7.0.0"));

    CameraDescriptionFile *chosen = nullptr;
    {
        ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), chooseFile(customPath));
        ModalAnswer selector(ModalAnswer::ofType<SelectDescriptionDialog>(), [&picker](QWidget *w) {
            auto *dialog = static_cast<SelectDescriptionDialog *>(w);
            dialog->openFilePressed();
            QVERIFY(picker.answered());
            QCOMPARE(picker.title(), QStringLiteral("Select Description File"));
            QCOMPARE(dialog->candidates().size(), 5);
            // The newest best match comes first.
            QCOMPARE(tableOf(dialog)->item(0, 0)->text(), QStringLiteral("mine.xml"));
            tableOf(dialog)->setCurrentCell(0, 0);
            button(dialog, "pbOk")->click();
        });
        chosen = SelectDescriptionDialog::getDescription(mFiles, "ABC", "12");
        QVERIFY(selector.answered());
    }
    QVERIFY(chosen);
    QVERIFY(!mFiles.contains(chosen));
    QCOMPARE(chosen->filePath(), customPath);
    // Handed over: the caller owns it and it is still intact.
    QCOMPARE(chosen->modelName(), QStringLiteral("ABC"));
    delete chosen;
}

void TestSelectDescriptionDialog::addCustomNonMatchIsRefusedOutsideDeveloperMode()
{
    const QString customPath = path("custom2/foreign.xml");
    QVERIFY(DescriptionFixture::write(customPath, "QQQ", "12", "1.0.0"));
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    dialog.show();
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), chooseFile(customPath));
    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
    dialog.openFilePressed();
    QVERIFY(picker.answered());
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Selected description cannot be used"));
    QCOMPARE(
        box.text(), QStringLiteral("Selected description file cannot be used for this camera"));
    QCOMPARE(dialog.candidates().size(), 5);
    QCOMPARE(tableOf(&dialog)->rowCount(), 3);
}

void TestSelectDescriptionDialog::addCustomInvalidFileIsRejected()
{
    const QString customPath = path("custom3/broken.xml");
    QVERIFY(DescriptionFixture::write(customPath, QByteArray("<CameraDescription ModelName=")));
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    dialog.show();
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), chooseFile(customPath));
    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
    dialog.openFilePressed();
    QVERIFY(box.answered());
    QCOMPARE(box.title(), QStringLiteral("Failed to load description"));
    QCOMPARE(box.text(),
        QStringLiteral("Failed to load description file, it does not appear to "
                       "be a valid camera description."));
    QCOMPARE(dialog.candidates().size(), 4);
    QCOMPARE(tableOf(&dialog)->rowCount(), 3);
}

QTEST_MAIN(TestSelectDescriptionDialog)
#include "tst_selectdescriptiondialog.moc"
