#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "tests/ui/descriptionfixture.h"
#include "tests/ui/modalanswer.h"
#include "ui/selectdescriptiondialog.h"

#include <QFileDialog>
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

const QStringList kMatchRows { "best_new.xml|ABC|12|1.10.0|160,217,56",
    "best_old.xml|ABC|12, 13|1.2.0|160,217,56", "match.xml|abc|99|1.0.0|127,130,133" };

} // namespace

class TestSelectDescriptionDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void chooseARow_data();
    void chooseARow();
    void addCustomFile_data();
    void addCustomFile();

private:
    QString path(const QString &name) const { return mDir.filePath(name); }

    QTemporaryDir mDir;
    std::vector<std::unique_ptr<CameraDescriptionFile>> mOwned;
    QList<CameraDescriptionFile *> mFiles;
};

void TestSelectDescriptionDialog::initTestCase()
{
    QVERIFY(DescriptionFixture::write(path("best_old.xml"), "ABC", "12,13", "1.2.0"));
    QVERIFY(DescriptionFixture::write(path("other.xml"), "XYZ", "12", "3.0.0"));
    QVERIFY(DescriptionFixture::write(path("match.xml"), "abc", "99", "1.0.0"));
    QVERIFY(DescriptionFixture::write(path("best_new.xml"), "ABC", "12", "1.10.0"));
    for (const char *name : { "best_old.xml", "other.xml", "match.xml", "best_new.xml" }) {
        mOwned.push_back(std::make_unique<CameraDescriptionFile>(path(name)));
        mFiles.append(mOwned.back().get());
    }
}

void TestSelectDescriptionDialog::cleanup()
{
    AppSettings::instance().developerMode = false;
}

void TestSelectDescriptionDialog::chooseARow_data()
{
    QTest::addColumn<bool>("developerMode"); // also lists the non-matching file, last
    QTest::addColumn<int>("row"); // -1: none
    QTest::addColumn<QString>("how"); // ok, cancel, or the answer to the non-match question
    QTest::addColumn<QString>("file"); // empty: nothing returned
    const auto row
        = [](const char *name, bool developerMode, int row, const char *how, const char *file) {
              QTest::newRow(name) << developerMode << row << how << file;
          };
    row("newest best match", false, 0, "ok", "best_new.xml");
    row("older best match", false, 1, "ok", "best_old.xml");
    row("match", false, 2, "ok", "match.xml");
    row("cancel after choosing", false, 0, "cancel", "");
    row("ok without a row does nothing", false, -1, "cancel", "");
    row("non-match confirmed", true, 3, "yes", "other.xml");
    row("non-match declined", true, 3, "no", "");
}

void TestSelectDescriptionDialog::chooseARow()
{
    QFETCH(bool, developerMode);
    QFETCH(int, row);
    QFETCH(QString, how);
    QFETCH(QString, file);
    AppSettings::instance().developerMode = developerMode;
    ModalAnswer answer(ModalAnswer::ofType<SelectDescriptionDialog>(), [=](QWidget *w) {
        auto *dialog = static_cast<SelectDescriptionDialog *>(w);
        QTableWidget *table = tableOf(dialog);
        QCOMPARE(rows(table),
            developerMode ? kMatchRows + QStringList { "other.xml|XYZ|12|3.0.0|255,66,34" }
                          : kMatchRows);
        QCOMPARE(table->currentRow(), -1);
        QVERIFY(!button(dialog, "pbOk")->isEnabled());
        if (row >= 0) {
            QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                table->visualItemRect(table->item(row, 1)).center());
            QVERIFY(button(dialog, "pbOk")->isEnabled());
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
            QCOMPARE(box.title(), QStringLiteral("Possible incorrect description for camera"));
            QCOMPARE(box.text(),
                QStringLiteral("The current selected camera description does not support the "
                               "current connected camera,\n\nAre you sure you want to use "
                               "this description file?"));
            if (how == "yes")
                return;
            QVERIFY(dialog->isVisible());
        }
        button(dialog, how == "ok" ? "pbOk" : "pbCancel")->click();
    });
    CameraDescriptionFile *chosen = SelectDescriptionDialog::getDescription(mFiles, "ABC", "12");
    QVERIFY(answer.answered());
    QCOMPARE(answer.title(), QStringLiteral("Provide camera description for: 'ABC-12'"));
    QCOMPARE(chosen ? chosen->fileName() : QString(), file);
    QVERIFY(!chosen || mFiles.contains(chosen));
}

void TestSelectDescriptionDialog::addCustomFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("title"); // of the message box; empty: none
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("candidates");

    QTest::newRow("matching file listed first")
        << path("custom/mine.xml") << DescriptionFixture::text("ABC", "12", "7.0.0").toUtf8()
        << QString() << QString() << 5;
    QTest::newRow("other model refused")
        << path("custom2/foreign.xml") << DescriptionFixture::text("QQQ", "12", "1.0.0").toUtf8()
        << "Selected description cannot be used"
        << "Selected description file cannot be used for this camera" << 5;
    QTest::newRow("invalid file rejected")
        << path("custom3/broken.xml") << QByteArray("<CameraDescription ModelName=")
        << "Failed to load description"
        << "Failed to load description file, it does not appear to be a valid camera "
           "description."
        << 4;
}

void TestSelectDescriptionDialog::addCustomFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, contents);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(int, candidates);

    QVERIFY(DescriptionFixture::write(file, contents));
    SelectDescriptionDialog dialog(mFiles, "ABC", "12");
    dialog.show();
    ModalAnswer picker(ModalAnswer::ofType<QFileDialog>(), ModalAnswer::typeFileName(file));
    ModalAnswer box(ModalAnswer::ofType<QMessageBox>(), ModalAnswer::clickButton(QMessageBox::Ok));
    dialog.openFilePressed();
    QCOMPARE(picker.title(), QStringLiteral("Select Description File"));
    QCOMPARE(box.title(), title);
    QCOMPARE(box.text(), text);
    QCOMPARE(dialog.candidates().size(), candidates);
    QCOMPARE(rows(tableOf(&dialog)),
        title.isEmpty() ? QStringList { "mine.xml|ABC|12|7.0.0|160,217,56" } + kMatchRows
                        : kMatchRows);
}

QTEST_MAIN(TestSelectDescriptionDialog)
#include "tst_selectdescriptiondialog.moc"
