#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "description/descriptionregistry.h"

#include <QItemSelection>
#include <QMainWindow>
#include <QModelIndex>
#include <QStringList>

#include <memory>

class CameraDatabase;
class CameraDescriptionFile;
class CommunicationThreadObject;
class Console;
class DescriptionLoadProgress;
class ItemDelegate;
class ModelHiddenItemFilter;
class QLabel;
class QStandardItem;
class QThread;
class StandardItemModel;

namespace Ui {
class MainWindow;
}

/// The application's window: owns the communication thread, the camera database, the
/// parameter tree and the console, and runs the connect, description and console flows.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    /// The one main window of the process, or null.
    static MainWindow *instance();

    /// Whether windows created from now on list the machine's serial ports (on by default);
    /// tests switch it off so that only simulated cameras are probed.
    static void setSerialPortScanning(bool enabled);

    /// Applies the persisted settings to the window and loads the descriptions, reporting
    /// progress when given.
    void applySettings(DescriptionLoadProgress *progress = nullptr);
    /// Rebuilds the description registry and applies the current description again.
    void loadDescriptions(DescriptionLoadProgress *progress = nullptr);

    /// Picks the newest best match, or asks the user; fullMatch tells which happened.
    static CameraDescriptionFile *selectDescription(const QList<CameraDescriptionFile *> &files,
        const QString &model, const QString &type, bool &fullMatch, QWidget *parent = nullptr);
    /// Group path of a tree row: its enclosing groups and its own name, joined by "/".
    static QString groupName(QStandardItem *item);
    /// Whether the current description shows the row's group expanded when the tree is filled.
    bool startsExpanded(QStandardItem *item) const;

    const DescriptionRegistry &registry() const { return mRegistry; }
    CommunicationThreadObject *communication() const { return mComm; }
    CameraDatabase *database() const { return mDatabase; }
    StandardItemModel *model() const { return mModel; }
    ModelHiddenItemFilter *filter() const { return mFilter; }
    Console *console() const { return mConsole; }
    QStringList consoleHistory() const { return mConsoleHistory; }
    QLabel *cameraLabel() const { return mCameraLabel; }
    QLabel *onlineLabel() const { return mOnlineLabel; }

signals:
    void applicationStart();

public slots:
    void onLevelActChecked();
    void onDescriptionAction();
    void onConsoleActChecked();
    void showSideBar();
    void hideSideBar();
    void onEditXMLActChecked();
    void onClearDescription();
    void onShowDescription(const QModelIndex &index);
    void onShowAbout();
    void onEditModeAction();
    void setOnline(bool online);
    void expandWhenNeeded(const QModelIndex &index);
    void refreshModel();
    void onStartApplication();
    void onSelectFile();
    void selectItemChanged(const QItemSelection &selected, const QItemSelection &deselected);

    void on_actConnect_triggered();
    void on_actDisconnect_triggered();
    void on_actEditor_triggered();
    void on_actSaveSettings_triggered();
    void on_actLoadSettings_triggered();
    void on_actConsoleRunScript_triggered();
    void on_actConoleSaveOutput_triggered();
    void on_actConsoleClear_triggered();
    void on_actConsoleShowDebug_triggered();
    void on_actShowTimedUpdates_triggered();
    void on_actSettings_triggered();
    void on_leConsoleInput_returnPressed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Gives every shown value row that has none its editor, keeping those already open.
    void createIndexWidgets();
    /// In the always-edit mode while online: editors for rows shown since.
    void addMissingEditors();
    void removeIndexWidgets();
    void clearItemEditors();
    /// Drops the tree's and the database's pointers into the current description.
    void detachDescription();
    void runConnection();
    /// Geometry, splitter sizes, description panel and level from the settings.
    void applyStartLayout();

    std::unique_ptr<Ui::MainWindow> mUi;
    QStringList mConsoleHistory;
    int mHistoryIndex = 0;
    StandardItemModel *mModel = nullptr;
    ModelHiddenItemFilter *mFilter = nullptr;
    ItemDelegate *mDelegate = nullptr;
    QThread *mCommThread = nullptr;
    CommunicationThreadObject *mComm = nullptr;
    Console *mConsole = nullptr;
    QLabel *mCameraLabel = nullptr;
    QLabel *mOnlineLabel = nullptr;
    // Descriptions, current description, camera model and type, partial-match suffix.
    DescriptionRegistry mRegistry;
    CameraDatabase *mDatabase = nullptr;
    // Start folders of the script, camera-settings and console-output dialogs: the working
    // directory.
    QString mScriptDir;
    QString mSettingsDir;
    QString mConsoleDir;
    // A connect dialog or a description choice is under way.
    bool mConnecting = false;
    bool mShownBefore = false;
};

#endif // MAINWINDOW_H
