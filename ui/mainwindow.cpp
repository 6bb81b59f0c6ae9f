#include "ui/mainwindow.h"

#include "app/appsettings.h"
#include "comm/communicationthreadobject.h"
#include "comm/console.h"
#include "description/cameradescriptionfile.h"
#include "editor/editwindow.h"
#include "engine/cameradatabase.h"
#include "ui/aboutdialog.h"
#include "ui/dialogconnecttoport.h"
#include "ui/itemdelegate.h"
#include "ui/itemwidget.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/selectdescriptiondialog.h"
#include "ui/settingsdialog.h"
#include "ui/standarditemmodel.h"
#include "ui/treeexpansion.h"
#include "ui/treesearch.h"
#include "ui/uiresources.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSaveFile>
#include <QScopeGuard>
#include <QScrollBar>
#include <QStandardItem>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

MainWindow *gMainWindow = nullptr;
bool gScanSerialPorts = true;

constexpr int kHistoryLimit = 100;
constexpr int kSideBarWidth = 350;
constexpr int kThreadQuitWaitMs = 750;
constexpr int kStatusMessageMs = 2500;
constexpr int kBoolItemType = 1001;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , mUi(std::make_unique<Ui::MainWindow>())
{
    UiResources::init();
    mUi->setupUi(this);
    gMainWindow = this;

    mCommThread = new QThread;
    mComm = new CommunicationThreadObject(mCommThread);
    mComm->setSerialPortScanning(gScanSerialPorts);
    mConsole = new Console(mComm, this);
    mUi->pteConsoleOutput->clear();
    connect(
        mConsole, &Console::lineLogged, mUi->pteConsoleOutput, &QPlainTextEdit::appendPlainText);
    mDatabase = new CameraDatabase(mComm, this);
    mRegistry.setCamera(QStringLiteral("Unknown"), QStringLiteral("Unknown"));
    mRegistry.setPartialMatchSuffix(QString());

    QTreeView *view = mUi->tvParams;
    view->setMouseTracking(true);
    mFilter = new ModelHiddenItemFilter(this);
    mModel = new StandardItemModel(mFilter, this);
    mModel->setHorizontalHeaderLabels({ QStringLiteral("Name"), QStringLiteral("Value") });
    mFilter->setSourceModel(mModel);
    view->setModel(mFilter);
    mDelegate = new ItemDelegate(this);
    view->setItemDelegateForColumn(1, mDelegate);
    view->setColumnWidth(0, 250);
    view->setAllColumnsShowFocus(true);
    view->expandAll();
    view->setSortingEnabled(false);
    new TreeSearch(mUi->leSearch, view, mFilter);
    new TreeExpansion(
        view, mFilter, [this](QStandardItem *group) { return startsExpanded(group); });

    mUi->wdgStackedExtra->hide();
    mUi->wdgParams->setMaximumWidth(99999);

    mCameraLabel = new QLabel(this);
    mOnlineLabel = new QLabel(this);
    mUi->sbMain->addPermanentWidget(mCameraLabel);
    mUi->sbMain->addPermanentWidget(mOnlineLabel);
    mUi->menuConsole->setEnabled(false);
    mCameraLabel->setText(mRegistry.cameraText());
    setOnline(false);

    resize(400, 500);
    mUi->splitter->setChildrenCollapsible(false);

    connect(mUi->actExit, &QAction::triggered, this, &QWidget::close);
    connect(mUi->actOpenFile, &QAction::triggered, this, &MainWindow::onSelectFile);
    for (QAction *level : { mUi->actBeginner, mUi->actExpert, mUi->actGuru, mUi->actDeveloper })
        connect(level, &QAction::triggered, this, &MainWindow::onLevelActChecked);
    connect(mUi->actConsole, &QAction::triggered, this, &MainWindow::onConsoleActChecked);
    connect(mUi->actEditor, &QAction::triggered, this, &MainWindow::onEditXMLActChecked);
    for (QAction *mode : { mUi->actDescrHide, mUi->actDescrTop, mUi->actDescrBottom })
        connect(mode, &QAction::triggered, this, &MainWindow::onDescriptionAction);
    for (QAction *mode : { mUi->actAlwaysEdt, mUi->actSelectiveEdit, mUi->actMouseOverEdit })
        connect(mode, &QAction::triggered, this, &MainWindow::onEditModeAction);
    connect(mUi->actAbout, &QAction::triggered, this, &MainWindow::onShowAbout);
    connect(mUi->actionAbout_QT, &QAction::triggered, qApp, &QApplication::aboutQt);
    connect(view, &QTreeView::entered, this, &MainWindow::onShowDescription);
    connect(view, &QTreeView::viewportEntered, this, &MainWindow::onClearDescription);
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &MainWindow::selectItemChanged);
    // Rows shown later (level, availability, search) get their editors like the first ones;
    // connected after the view, which has then taken the new rows in.
    connect(mFilter, &QAbstractItemModel::layoutChanged, this, &MainWindow::addMissingEditors);
    connect(mDelegate, &ItemDelegate::editorHovered, this, &MainWindow::onShowDescription);
    // Return and Escape end an edit; the selected row's editor then closes with the selection.
    connect(mDelegate, &QAbstractItemDelegate::closeEditor, this,
        [this](QWidget *, QAbstractItemDelegate::EndEditHint hint) {
            if (hint != QAbstractItemDelegate::NoHint)
                mUi->tvParams->clearSelection();
        });
    connect(mCommThread, &QThread::started, mComm, &CommunicationThreadObject::startCommunication,
        Qt::QueuedConnection);
    connect(mComm, &CommunicationThreadObject::onlineModeChanged, this, &MainWindow::setOnline,
        Qt::QueuedConnection);
    connect(mComm, &CommunicationThreadObject::onlineModeChanged, mModel,
        &StandardItemModel::onOnlineModeChanged, Qt::QueuedConnection);

    mCommThread->start(QThread::InheritPriority);
    connect(this, &MainWindow::applicationStart, this, &MainWindow::onStartApplication,
        Qt::QueuedConnection);

    mUi->actDeveloper->setVisible(AppSettings::instance().developerMode);
    mUi->leConsoleInput->installEventFilter(this);
    mUi->pteConsoleOutput->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    // The tree and the database point into the descriptions, and the database at the
    // communication objects; let them go first, the view before its model. Closing an editor
    // may still send what was typed into it.
    mUi->tvParams->setModel(nullptr);
    delete mModel;
    mModel = nullptr;
    delete mFilter;
    mFilter = nullptr;
    delete mDatabase;
    mDatabase = nullptr;
    // A waiting exchange gives up at once, so that the thread ends and closes its ports.
    mCommThread->requestInterruption();
    mCommThread->quit();
    if (mCommThread->wait(kThreadQuitWaitMs)) {
        delete mComm;
        delete mCommThread;
    } else {
        // A blocking exchange is still running: leave the thread and its objects to the
        // ending process rather than destroy them under its feet.
        qDebug() << "Communication thread did not stop in time";
        mComm->disconnect(this);
    }
    mComm = nullptr;
    mUi.reset();
    AppSettings::instance().save();
    if (gMainWindow == this)
        gMainWindow = nullptr;
}

void MainWindow::setSerialPortScanning(bool enabled)
{
    gScanSerialPorts = enabled;
}

MainWindow *MainWindow::instance()
{
    return gMainWindow;
}

void MainWindow::applySettings(DescriptionLoadProgress *progress)
{
    const AppSettings &settings = AppSettings::instance();
    mUi->actConsole->setChecked(false);
    if (settings.runtimeShowConsole) {
        mUi->actConsole->trigger();
    } else {
        mUi->menuConsole->setEnabled(false);
        hideSideBar();
    }
    if (settings.runtimeAlwaysEditMode)
        mUi->actAlwaysEdt->trigger();
    else
        mUi->actSelectiveEdit->trigger();
    mUi->actConsoleShowDebug->setChecked(settings.consoleLogDebug);
    mUi->actShowTimedUpdates->setChecked(settings.consoleLogTimed);
    mConsole->setShowDebug(settings.consoleLogDebug);
    mConsole->setTimed(settings.consoleLogTimed);
    mModel->restartTimer();
    loadDescriptions(progress);
}

void MainWindow::loadDescriptions(DescriptionLoadProgress *progress)
{
    if (mRegistry.current())
        detachDescription();
    if (mRegistry.loadDescriptions(progress))
        refreshModel();
}

void MainWindow::detachDescription()
{
    clearItemEditors();
    mModel->loadDescription(mDatabase, nullptr);
    mDatabase->setDescription(nullptr, mRegistry.cameraModel(), mRegistry.cameraType());
}

CameraDescriptionFile *MainWindow::selectDescription(const QList<CameraDescriptionFile *> &files,
    const QString &model, const QString &type, bool &fullMatch, QWidget *parent)
{
    QList<CameraDescriptionFile *> bestMatch, match, noMatch;
    DescriptionRegistry::sortDescriptions(files, model, type, bestMatch, match, noMatch);
    if (!bestMatch.isEmpty()) {
        fullMatch = true;
        return bestMatch.first();
    }
    fullMatch = false;
    return SelectDescriptionDialog::getDescription(files, model, type, parent);
}

QString MainWindow::groupName(QStandardItem *item)
{
    if (!item || item->column() != 0)
        return QString();
    const QString parentPath = groupName(item->parent());
    return parentPath.isEmpty() ? item->text() : parentPath + QLatin1Char('/') + item->text();
}

void MainWindow::onLevelActChecked()
{
    auto *chosen = qobject_cast<QAction *>(sender());
    const QList<QAction *> levels { mUi->actBeginner, mUi->actExpert, mUi->actGuru,
        mUi->actDeveloper };
    const int level = levels.indexOf(chosen);
    if (level < 0)
        return;
    for (QAction *action : levels)
        action->setChecked(false);
    chosen->setChecked(true);
    mUi->tvParams->clearFocus();
    mUi->tvParams->clearSelection();
    mModel->setLevel(level);
    AppSettings::instance().modeView = level;
    mUi->actEditor->setVisible(chosen == mUi->actDeveloper);
}

void MainWindow::onDescriptionAction()
{
    auto *chosen = qobject_cast<QAction *>(sender());
    const QList<QAction *> modes { mUi->actDescrTop, mUi->actDescrBottom, mUi->actDescrHide };
    const int mode = modes.indexOf(chosen);
    if (mode < 0)
        return;
    for (QAction *action : modes)
        action->setChecked(false);
    chosen->setChecked(true);
    QFrame *panel = mUi->frmParamInfo;
    if (chosen == mUi->actDescrHide) {
        panel->hide();
    } else {
        panel->show();
        mUi->vlParams->removeWidget(panel);
        if (chosen == mUi->actDescrTop)
            mUi->vlParams->insertWidget(0, panel);
        else
            mUi->vlParams->addWidget(panel);
    }
    AppSettings::instance().modeDescription = mode;
}

void MainWindow::onConsoleActChecked()
{
    AppSettings &settings = AppSettings::instance();
    if (!mUi->actConsole->isChecked()) {
        settings.runtimeShowConsole = false;
        mUi->menuConsole->setEnabled(false);
        hideSideBar();
    } else {
        mUi->actEditor->setChecked(false);
        showSideBar();
        mUi->menuConsole->setEnabled(true);
        settings.runtimeShowConsole = true;
        mUi->wdgStackedExtra->setCurrentWidget(mUi->pgeConsole);
    }
}

void MainWindow::showSideBar()
{
    if (!mUi->wdgStackedExtra->isHidden())
        return;
    const int width = mUi->wdgParams->width();
    mUi->wdgStackedExtra->show();
    resize(width + kSideBarWidth, height());
    mUi->splitter->setSizes({ width, kSideBarWidth });
}

void MainWindow::hideSideBar()
{
    if (mUi->wdgStackedExtra->isHidden())
        return;
    const int width = mUi->wdgParams->width();
    mUi->wdgStackedExtra->hide();
    mUi->wdgParams->setMaximumWidth(99999);
    mUi->wdgParams->setMinimumWidth(0);
    resize(width, height());
}

void MainWindow::onEditXMLActChecked() { }

void MainWindow::onClearDescription() { }

void MainWindow::on_actEditor_triggered()
{
    EditWindow::showInstance();
}

void MainWindow::onShowDescription(const QModelIndex &index)
{
    mUi->lblParamInfo->setText(mModel->descriptionText(index));
}

void MainWindow::onShowAbout()
{
    AboutDialog::showAbout();
}

void MainWindow::onEditModeAction()
{
    const QList<QAction *> modes { mUi->actAlwaysEdt, mUi->actSelectiveEdit,
        mUi->actMouseOverEdit };
    auto *chosen = qobject_cast<QAction *>(sender());
    if (!modes.contains(chosen)) {
        if (mUi->actAlwaysEdt->isChecked())
            chosen = mUi->actAlwaysEdt;
        else if (mUi->actSelectiveEdit->isChecked())
            chosen = mUi->actSelectiveEdit;
        else
            chosen = mUi->actMouseOverEdit;
    }
    for (QAction *action : modes)
        action->setChecked(action == chosen);
    if (chosen == mUi->actAlwaysEdt)
        createIndexWidgets();
    else
        removeIndexWidgets();
}

void MainWindow::createIndexWidgets()
{
    mUi->tvParams->setSelectionMode(QAbstractItemView::NoSelection);
    mUi->tvParams->clearSelection();
    const QList<PellixItem *> items = mModel->items();
    for (PellixItem *item : items) {
        const QModelIndex index = mFilter->mapFromSource(item->index());
        // A Bool row's check box is its editor; a hidden row has no place for one.
        if (item->type() == PellixItem::BoolType || !index.isValid()) {
            item->setEditor(false, nullptr);
            continue;
        }
        // An open editor keeps what the user is typing.
        if (mUi->tvParams->indexWidget(index))
            continue;
        auto *editor = new ItemWidget(item);
        editor->installEventFilter(mDelegate);
        mUi->tvParams->setIndexWidget(index, editor);
        item->setEditor(true, editor);
        connect(editor, &ItemWidget::hovered, this, &MainWindow::onShowDescription);
    }
}

void MainWindow::addMissingEditors()
{
    if (mUi->actAlwaysEdt->isChecked() && mRegistry.current() && mComm->isOnline())
        createIndexWidgets();
}

void MainWindow::removeIndexWidgets()
{
    mUi->tvParams->setSelectionMode(QAbstractItemView::SingleSelection);
    const QList<PellixItem *> items = mModel->items();
    for (PellixItem *item : items) {
        const QModelIndex index = mFilter->mapFromSource(item->index());
        if (index.isValid())
            mUi->tvParams->setIndexWidget(index, nullptr);
        item->setEditor(false, nullptr);
    }
}

void MainWindow::clearItemEditors()
{
    const QList<PellixItem *> items = mModel->items();
    for (PellixItem *item : items)
        item->setEditor(false, nullptr);
}

void MainWindow::setOnline(bool online)
{
    // Without a description or a port nothing is online, whatever a late report says.
    if (online && mRegistry.current() && !mComm->currentPort().isEmpty()) {
        mOnlineLabel->setText(QStringLiteral("ONLINE: %1").arg(mComm->currentPort()));
        if (AppSettings::instance().runtimeAlwaysEditMode)
            createIndexWidgets();
    } else {
        mUi->tvParams->clearFocus();
        mUi->tvParams->clearSelection();
        if (AppSettings::instance().runtimeAlwaysEditMode)
            removeIndexWidgets();
        mOnlineLabel->setText(QStringLiteral("OFFLINE"));
    }
}

bool MainWindow::startsExpanded(QStandardItem *item) const
{
    const CameraDescriptionFile *description = mRegistry.current();
    return !description || description->isGroupExpanded(groupName(item));
}

void MainWindow::expandWhenNeeded(const QModelIndex &index)
{
    if (!index.isValid())
        return;
    QStandardItem *item = mModel->itemFromIndex(mFilter->mapToSource(index));
    if (!item)
        return;
    if (startsExpanded(item))
        mUi->tvParams->expand(index);
    for (int row = 0; row < item->rowCount(); ++row) {
        QStandardItem *child = item->child(row, 0);
        if (child)
            expandWhenNeeded(mFilter->mapFromSource(child->index()));
    }
}

void MainWindow::refreshModel()
{
    clearItemEditors();
    CameraDescriptionFile *description = mRegistry.current();
    mDatabase->setDescription(description, mRegistry.cameraModel(), mRegistry.cameraType());
    QTreeView *view = mUi->tvParams;
    // Also tells TreeExpansion that the new tree's expansion is set here.
    view->setUpdatesEnabled(false);
    mModel->loadDescription(mDatabase, description);
    view->reset();

    onEditModeAction();

    for (int row = 0; row < mFilter->rowCount(); ++row)
        expandWhenNeeded(mFilter->index(row, 0));
    view->setUpdatesEnabled(true);

    view->setColumnWidth(0, 200);
    view->setSortingEnabled(false);
    mUi->lblParamInfo->clear();

    // The new rows start enabled: an offline port disables them, as its report would.
    const bool online = description && mComm->isOnline();
    if (description && !online)
        mModel->onOnlineModeChanged(false);
    setOnline(online);
    mCameraLabel->setText(mRegistry.cameraText());
}

void MainWindow::onStartApplication()
{
    runConnection();
}

void MainWindow::on_actConnect_triggered()
{
    runConnection();
}

void MainWindow::runConnection()
{
    // A show event or the menu while the connect dialog or the description choice runs must
    // not open another connect dialog.
    if (mConnecting)
        return;
    mConnecting = true;
    const auto done = qScopeGuard([this] { mConnecting = false; });
    bool accepted = false;
    const QByteArray reply = DialogConnectToPort::connectToPort(mComm, this, &accepted);
    if (!accepted)
        return; // cancelled: the connection stays as it was
    if (reply.isEmpty()) {
        // The chosen port had no camera (any more) and was released: nothing is connected.
        on_actDisconnect_triggered();
        return;
    }
    mRegistry.parseIdentification(reply);
    // The old camera's rows must not talk to the newly selected port.
    if (mRegistry.current())
        detachDescription();

    bool fullMatch = false;
    CameraDescriptionFile *chosen = selectDescription(
        mRegistry.descriptions(), mRegistry.cameraModel(), mRegistry.cameraType(), fullMatch, this);
    // A file added through "Add custom" joins the registry, which owns it from now on.
    chosen = mRegistry.add(chosen);
    mRegistry.setCurrent(chosen);
    if (!fullMatch && chosen)
        mRegistry.setPartialMatchSuffix(
            DescriptionRegistry::partialMatchSuffixFor(chosen->fileName()));
    statusBar()->showMessage(QStringLiteral("Camera connected"), kStatusMessageMs);
    refreshModel();
}

void MainWindow::on_actDisconnect_triggered()
{
    mComm->setCurrentPort(QString());
    if (mRegistry.current())
        detachDescription();
    mRegistry.setCurrent(nullptr);
    mRegistry.clearCamera();
    refreshModel();
    statusBar()->showMessage(QStringLiteral("Camera disconnected"), kStatusMessageMs);
}

void MainWindow::onSelectFile()
{
    if (mComm->currentPort().isEmpty()) {
        QMessageBox::critical(this, QStringLiteral("Unable to load another description file"),
            QStringLiteral("Unable to load a description file,\nNot connected "
                           "to any camera"));
        return;
    }
    if (mConnecting)
        return;
    mConnecting = true;
    CameraDescriptionFile *chosen = SelectDescriptionDialog::getDescription(
        mRegistry.descriptions(), mRegistry.cameraModel(), mRegistry.cameraType(), this);
    mConnecting = false;
    if (!chosen)
        return;
    if (mRegistry.current())
        detachDescription();
    chosen = mRegistry.add(chosen);
    mRegistry.setCurrent(chosen);
    refreshModel();
}

void MainWindow::selectItemChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    // Every value row but a Bool gets an editor, also while its value is still empty (an
    // empty text must be editable); group rows never do.
    QTreeView *view = mUi->tvParams;
    const QModelIndexList gone = deselected.indexes();
    for (const QModelIndex &index : gone) {
        if (index.column() == 1)
            view->closePersistentEditor(index);
    }
    const QModelIndexList chosen = selected.indexes();
    for (const QModelIndex &index : chosen) {
        const PellixItem *item = index.column() == 1 ? ItemDelegate::itemOf(index) : nullptr;
        if (item && item->type() != PellixItem::BoolType)
            view->openPersistentEditor(index);
    }
}

void MainWindow::on_actSaveSettings_triggered()
{
    if (!mRegistry.current())
        return;
    // A name typed without ".cdt" gets it, or the load dialog's filter would hide the file;
    // the dialog asks before replacing the file of the completed name.
    QFileDialog dialog(
        this, QStringLiteral("Select save file"), mSettingsDir, QStringLiteral("*.cdt"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("cdt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    const QString model = mRegistry.cameraModel();
    const QString type = mRegistry.cameraType();
    mModel->saveSettings(path, model, type, model + QLatin1Char('-') + type);
}

void MainWindow::on_actLoadSettings_triggered()
{
    if (!mRegistry.current())
        return;
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("SElect load file"), mSettingsDir, QStringLiteral("*.cdt"));
    if (path.isEmpty())
        return;
    const QString model = mRegistry.cameraModel();
    const QString type = mRegistry.cameraType();
    mModel->loadSettings(path, model, type, model + QLatin1Char('-') + type);
}

void MainWindow::on_actConsoleRunScript_triggered()
{
    const QString path
        = QFileDialog::getOpenFileName(this, QStringLiteral("Run console script"), mScriptDir);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, QStringLiteral("Run console script"),
            QStringLiteral("The script could not be read from %1:\n%2")
                .arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    mModel->stopTimer();
    const QList<Console::Request> requests = Console::scriptRequests(file.readAll());
    for (const Console::Request &request : requests)
        mComm->sendCommand(QStringLiteral("@script"), request.text, QVariantList(), request.query);
    mModel->restartTimer();
}

void MainWindow::on_actConoleSaveOutput_triggered()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save console output"), mConsoleDir, QStringLiteral("*.txt"));
    if (path.isEmpty())
        return;
    QByteArray text = mUi->pteConsoleOutput->toPlainText().toLatin1();
    text.replace("\n", "\r\n");
    // The user must learn that the log was not kept; an old file stays whole.
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit())
        return;
    QMessageBox::warning(this, QStringLiteral("Save console output"),
        QStringLiteral("The console output could not be saved to %1:\n%2")
            .arg(QDir::toNativeSeparators(path), file.errorString()));
}

void MainWindow::on_actConsoleClear_triggered()
{
    mUi->pteConsoleOutput->clear();
}

void MainWindow::on_actConsoleShowDebug_triggered()
{
    const bool on = mUi->actConsoleShowDebug->isChecked();
    AppSettings::instance().consoleLogDebug = on;
    mConsole->setShowDebug(on);
}

void MainWindow::on_actShowTimedUpdates_triggered()
{
    const bool on = mUi->actShowTimedUpdates->isChecked();
    AppSettings::instance().consoleLogTimed = on;
    mConsole->setTimed(on);
}

void MainWindow::on_actSettings_triggered()
{
    // Applied again also when cancelled: the descriptions are reloaded either way.
    SettingsDialog::run();
    applySettings();
}

void MainWindow::on_leConsoleInput_returnPressed()
{
    const QString text = mUi->leConsoleInput->text();
    mUi->leConsoleInput->clear();
    if (text.isEmpty())
        return;
    if (mConsoleHistory.isEmpty() || mConsoleHistory.last() != text) {
        mConsoleHistory.append(text);
        while (mConsoleHistory.size() > kHistoryLimit)
            mConsoleHistory.removeFirst();
    }
    mHistoryIndex = mConsoleHistory.size();
    mConsole->sendCommand(text);
}

void MainWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // Restoring a minimised window shows it again: only the first show applies the start-up
    // layout, which would otherwise undo what the user arranged since.
    if (!mShownBefore) {
        mShownBefore = true;
        applyStartLayout();
    }
    if (!mRegistry.current() && !mConnecting)
        emit applicationStart();
}

void MainWindow::applyStartLayout()
{
    AppSettings &settings = AppSettings::instance();
    if (!settings.runtimeWindowsGeometry.isEmpty())
        restoreGeometry(settings.runtimeWindowsGeometry);

    const QList<int> current = mUi->splitter->sizes();
    const int first
        = settings.runtimeSizeOfSettings != 0 ? settings.runtimeSizeOfSettings : current.value(0);
    QList<int> sizes { first };
    if (settings.runtimeShowConsole)
        sizes.append(width() - first);
    mUi->splitter->setSizes(sizes);

    switch (settings.modeDescription) {
    case 0:
        mUi->actDescrTop->trigger();
        break;
    case 1:
        mUi->actDescrBottom->trigger();
        break;
    case 2:
        mUi->actDescrHide->trigger();
        break;
    default:
        break;
    }

    switch (settings.modeView) {
    case 0:
        mUi->actBeginner->trigger();
        break;
    case 1:
        mUi->actExpert->trigger();
        break;
    case 2:
        mUi->actGuru->trigger();
        break;
    case 3:
        (settings.developerMode ? mUi->actDeveloper : mUi->actGuru)->trigger();
        break;
    default:
        break;
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    AppSettings &settings = AppSettings::instance();
    if (settings.askExitWindows) {
        const auto answer = QMessageBox::question(this, QStringLiteral("Close application"),
            QStringLiteral("Are you sure you want to leave the application?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes) {
            event->ignore();
            return;
        }
    }
    // The editor's unsaved work is asked for before the program ends with this window.
    if (!EditWindow::closeInstance()) {
        event->ignore();
        return;
    }
    settings.runtimeWindowsGeometry = saveGeometry();
    settings.runtimeSizeOfSettings = mUi->splitter->sizes().value(0);
    settings.save();
#ifdef Q_OS_WIN
    // No critical-error or fault boxes from the system while the process ends.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
#else
    // Other systems show no such boxes; a failing process ends silently.
#endif
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    auto *key = static_cast<QKeyEvent *>(event);
    QLineEdit *input = mUi->leConsoleInput;

    if (watched == mUi->pteConsoleOutput) {
        // Typing into the output pane goes to the command line.
        input->setFocus();
        QKeyEvent copy(key->type(), key->key(), key->modifiers(), key->text(), key->isAutoRepeat(),
            key->count());
        QCoreApplication::sendEvent(input, &copy);
        return true;
    }
    if (watched == input) {
        if (key->key() == Qt::Key_Up) {
            if (mHistoryIndex >= 1) {
                --mHistoryIndex;
                input->setText(mConsoleHistory.value(mHistoryIndex));
            }
            return true;
        }
        if (key->key() == Qt::Key_Down) {
            if (mHistoryIndex < mConsoleHistory.size()) {
                ++mHistoryIndex;
                if (mHistoryIndex < mConsoleHistory.size())
                    input->setText(mConsoleHistory.at(mHistoryIndex));
                else
                    input->clear();
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
