#include "editor/editwindow.h"

#include "description/cameradescriptionfile.h"
#include "editor/editdescriptionfileproperties.h"
#include "ui/mainwindow.h"
#include "ui/uiresources.h"
#include "ui_editwindow.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

namespace {

QPointer<EditWindow> gInstance;

const QString kFilter = QStringLiteral("Description files (*.xml)");

} // namespace

EditWindow::EditWindow(QWidget *parent)
    : QMainWindow(parent)
    , mUi(std::make_unique<Ui::EditWindow>())
{
    UiResources::init();
    mUi->setupUi(this);
    mUi->dwFindings->hide();
    mUi->tabWidget->setCurrentWidget(mUi->tabCommands);
    on_actNew_triggered();
}

EditWindow::~EditWindow()
{
    // The tabs point into the description.
    mUi->wdgCommands->setDescription(nullptr);
    mUi->wdgDisplayElements->setDescription(nullptr);
}

EditWindow *EditWindow::showInstance()
{
    if (!gInstance) {
        gInstance = new EditWindow;
        gInstance->resize(700, 550);
    }
    gInstance->show();
    gInstance->raise();
    gInstance->activateWindow();
    return gInstance;
}

EditWindow *EditWindow::existingInstance()
{
    return gInstance;
}

bool EditWindow::closeInstance()
{
    return !gInstance || !gInstance->isVisible() || gInstance->close();
}

void EditWindow::destroyInstance()
{
    delete gInstance.data();
}

void EditWindow::commitTabs()
{
    mUi->wdgCommands->commit();
    mUi->wdgDisplayElements->commit();
}

bool EditWindow::askToSave()
{
    if (!mDescription)
        return true;
    // What the form still holds counts as a change too.
    commitTabs();
    if (mDescription->md5Hash() == mSavedDigest)
        return true;
    const auto answer = QMessageBox::question(this, QStringLiteral("Save current description"),
        QStringLiteral("Do you want to save the current description?"),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer == QMessageBox::Yes)
        return save(); // a save that did not happen must not lose the changes
    return answer == QMessageBox::No;
}

void EditWindow::setDescription(std::unique_ptr<CameraDescriptionFile> description)
{
    // The tabs let go of the old description before it is destroyed.
    mUi->wdgCommands->setDescription(description.get());
    mUi->wdgDisplayElements->setDescription(description.get());
    mDescription = std::move(description);
    mSavedDigest = mDescription->md5Hash();
    // A path that could not be read (no template, an unreadable file) would be tried again on
    // every later access and could replace the user's edits once a file appears there; the
    // window keeps its own path for saving.
    if (!mDescription->isFullyLoaded())
        mDescription->setFilePath(QString());
    mFindings.clear();
    mUi->lwFindings->clear();
    mUi->dwFindings->hide();
}

void EditWindow::on_actNew_triggered()
{
    if (!askToSave())
        return;
    mFilePath.clear();
    setWindowTitle(QStringLiteral("Mfx: Camera description editor"));
    // A "leeg.xml" in the working directory is the template of new descriptions.
    auto description = std::make_unique<CameraDescriptionFile>(QStringLiteral("leeg.xml"));
    description->setVersion(1, 0, 0);
    setDescription(std::move(description));
}

void EditWindow::on_actLoad_triggered()
{
    if (!askToSave())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Select description file"), QString(), kFilter);
    if (path.isEmpty())
        return;
    auto description = std::make_unique<CameraDescriptionFile>(path);
    // A file that yields nothing (also one that cannot be read) would show as an empty
    // description, and saving it would overwrite that file.
    if (description->commands().isEmpty() && description->displayElements().isEmpty()
        && description->modelName().isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Unable to load description"),
            QStringLiteral("\"%1\" holds no camera description.")
                .arg(QDir::toNativeSeparators(path)));
        return;
    }
    mFilePath = path;
    setDescription(std::move(description));
}

bool EditWindow::ensureModelName()
{
    if (mDescription->modelName().isEmpty())
        EditDescriptionFileProperties::edit(*mDescription, this);
    return !mDescription->modelName().isEmpty();
}

QString EditWindow::askTargetPath()
{
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save description file as..."), QString(), kFilter);
    if (!path.isEmpty() && QFileInfo(path).suffix().toUpper() != QLatin1String("XML"))
        path += QLatin1String(".xml");
    return path;
}

bool EditWindow::save()
{
    commitTabs();
    if (!ensureModelName())
        return false;
    if (mFilePath.isEmpty())
        return saveAs();
    return saveTo(mFilePath);
}

bool EditWindow::saveAs()
{
    commitTabs();
    if (!ensureModelName())
        return false;
    const QString path = askTargetPath();
    return !path.isEmpty() && saveTo(path);
}

bool EditWindow::saveTo(const QString &path)
{
    const QString previous = mDescription->filePath();
    mDescription->setFilePath(path);
    if (!mDescription->save()) {
        mDescription->setFilePath(previous);
        reportWriteFailure(path);
        return false;
    }
    mFilePath = path;
    mSavedDigest = mDescription->md5Hash();
    rebuildMainRegistry();
    return true;
}

void EditWindow::reportWriteFailure(const QString &path)
{
    QMessageBox::critical(this, QStringLiteral("Unable to write description"),
        QStringLiteral("The description could not be written to \"%1\".")
            .arg(QDir::toNativeSeparators(path)));
}

void EditWindow::rebuildMainRegistry()
{
    if (MainWindow *main = MainWindow::instance())
        main->loadDescriptions();
}

void EditWindow::on_actSave_triggered()
{
    save();
}

void EditWindow::on_actSaveAs_triggered()
{
    saveAs();
}

void EditWindow::on_actExport_triggered()
{
    commitTabs();
    if (!ensureModelName())
        return;
    const QString path = askTargetPath();
    if (path.isEmpty())
        return;
    // An export does not count as saving: the path and the saved digest stay.
    if (!mDescription->exportTo(path)) {
        reportWriteFailure(path);
        return;
    }
    rebuildMainRegistry();
}

void EditWindow::on_actClose_triggered()
{
    close();
}

void EditWindow::closeEvent(QCloseEvent *event)
{
    if (askToSave())
        event->accept();
    else
        event->ignore();
}

void EditWindow::on_actProperties_triggered()
{
    EditDescriptionFileProperties::edit(*mDescription, this);
}

void EditWindow::on_actCheck_triggered()
{
    commitTabs();
    mFindings = DescriptionChecker::check(*mDescription);
    QListWidget *list = mUi->lwFindings;
    list->clear();
    for (const DescriptionChecker::Finding &finding : qAsConst(mFindings))
        list->addItem(finding.text());
    if (mFindings.isEmpty())
        list->addItem(QStringLiteral("No findings"));
    mUi->dwFindings->show();
    statusBar()->showMessage(QStringLiteral("Findings: %1").arg(mFindings.size()));
}

void EditWindow::on_lwFindings_itemClicked(QListWidgetItem *item)
{
    const int row = mUi->lwFindings->row(item);
    if (row < 0 || row >= mFindings.size())
        return;
    const DescriptionChecker::Finding &finding = mFindings.at(row);
    if (finding.subject == DescriptionChecker::Subject::Command) {
        mUi->tabWidget->setCurrentWidget(mUi->tabCommands);
        mUi->wdgCommands->selectCommand(finding.name);
    } else {
        mUi->tabWidget->setCurrentWidget(mUi->tabDisplayElements);
        mUi->wdgDisplayElements->commit();
        // By place, as long as the element there still has that name: of two elements with
        // one name, the finding concerns one.
        DisplayElement *element = mDescription->displayElements().value(finding.index);
        if (!element || element->name != finding.name)
            element = mDescription->displayElement(finding.name);
        mUi->wdgDisplayElements->selectElement(element);
    }
}
