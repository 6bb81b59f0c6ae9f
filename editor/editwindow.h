#ifndef EDITWINDOW_H
#define EDITWINDOW_H

#include "description/descriptionchecker.h"

#include <QByteArray>
#include <QMainWindow>

#include <memory>

class CameraDescriptionFile;
class QListWidgetItem;

namespace Ui {
class EditWindow;
}

/// The description editor: creates, opens, changes, checks, saves and exports one camera
/// description at a time. One window serves the whole process.
class EditWindow : public QMainWindow
{
    Q_OBJECT

public:
    ~EditWindow() override;

    /// The shared window, created on first use (700 x 550) and then shown and raised.
    static EditWindow *showInstance();
    /// The shared window, or null when none was created yet.
    static EditWindow *existingInstance();
    /// Closes the shared window when it is shown, asking about unsaved changes first; false
    /// when the user chose to keep it open.
    static bool closeInstance();
    static void destroyInstance();

    CameraDescriptionFile *description() const { return mDescription.get(); }
    /// Where Save writes; empty for a description that was never saved.
    QString filePath() const { return mFilePath; }

public slots:
    void on_actNew_triggered();
    void on_actLoad_triggered();
    void on_actSave_triggered();
    void on_actSaveAs_triggered();
    void on_actExport_triggered();
    void on_actClose_triggered();
    void on_actProperties_triggered();
    void on_actCheck_triggered();
    void on_lwFindings_itemClicked(QListWidgetItem *item);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    explicit EditWindow(QWidget *parent = nullptr);

    /// Whether the caller may drop the description: unchanged, saved, or the user said so.
    bool askToSave();
    void setDescription(std::unique_ptr<CameraDescriptionFile> description);
    void commitTabs();
    /// Opens the properties when the model name is empty; false when it stays empty.
    bool ensureModelName();
    /// Asks for a file to write, with ".xml" appended unless present; empty when cancelled.
    QString askTargetPath();
    bool save();
    bool saveAs();
    /// Saves to path; on failure reports it and leaves path, digest and registry as they were.
    bool saveTo(const QString &path);
    void reportWriteFailure(const QString &path);
    void rebuildMainRegistry();

    std::unique_ptr<Ui::EditWindow> mUi;
    std::unique_ptr<CameraDescriptionFile> mDescription;
    QString mFilePath;
    QByteArray mSavedDigest;
    QList<DescriptionChecker::Finding> mFindings;
};

#endif // EDITWINDOW_H
