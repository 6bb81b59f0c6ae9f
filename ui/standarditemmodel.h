#ifndef STANDARDITEMMODEL_H
#define STANDARDITEMMODEL_H

#include "engine/cameradatabase.h"
#include "ui/modelhiddenitemfilter.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QScopedPointer>
#include <QStandardItemModel>
#include <QTimer>

class CameraDescriptionFile;
class DisplayElement;
class PellixItem;
class ProgressDialogTransferProgress;

/// The parameter tree: group rows built from the display elements' group paths and one row
/// (name, value cell) per element. Decides which rows the filter shows for the current user
/// level and the elements' availability, and re-reads values that may change on their own.
class StandardItemModel : public QStandardItemModel
{
    Q_OBJECT

public:
    /// Marks group rows in column 1, role Qt::UserRole + 1 (element rows carry 0).
    static constexpr int GroupRowMark = 99;

    /// filter is not owned; the model does not make itself the filter's source.
    explicit StandardItemModel(ModelHiddenItemFilter *filter, QObject *parent = nullptr);
    ~StandardItemModel() override;

    /// The most recently constructed tree model (null once it is destroyed).
    static StandardItemModel *instance();

    /// Removes every row and cell and sets the header labels "Name" and "Value".
    void reset();
    /// Builds the tree of description (may be null: empty tree). Neither pointer is owned.
    void loadDescription(CameraDatabase *database, CameraDescriptionFile *description);
    /// Column-0 item of the group row for path, created (and shown) when missing; the invisible
    /// root item for a path without names.
    QStandardItem *findOrCreateGroup(const QString &path);
    /// Appends one element row to group; a null cell gives a plain value item.
    void addElement(
        const QString &group, const QString &name, PellixItem *cell, DisplayElement *element);

    int level() const { return mLevel; }
    /// Shows exactly the rows visible at level (0 Beginner .. 3 Developer).
    void setLevel(int level);
    /// Shows or hides the row of cell and updates its enclosing groups.
    void setItemVisible(QStandardItem *cell, bool visible);
    void refreshAll();
    void setItemsEnabled(bool enabled);
    /// Rich text for the description box for a row of the filter; empty for group rows.
    QString descriptionText(const QModelIndex &proxyIndex) const;

    /// Writes the persistent values, lists and regions of the available cells, in tree order,
    /// to a camera settings file. A failure is reported in a message box and leaves the
    /// previous file as it was.
    bool saveSettings(
        const QString &fileName, const QString &model, const QString &type, const QString &id);
    /// Applies a camera settings file to the available cells, in tree order, then reads every
    /// value again. A file that is unreadable, empty or for another model or type is reported
    /// in a message box and nothing is sent.
    bool loadSettings(
        const QString &fileName, const QString &model, const QString &type, const QString &id);

    QList<PellixItem *> items() const { return mItems; }
    CameraDescriptionFile *description() const { return mDescription; }
    CameraDatabase *database() const { return mDatabase; }
    ModelHiddenItemFilter *filter() const { return mFilter; }
    bool isRefreshTimerActive() const { return mRefreshTimer.isActive(); }
    int refreshInterval() const { return mRefreshTimer.interval(); }

public slots:
    /// Refreshes every available element that is not cacheable.
    void updateNonPersistent();
    void restartTimer();
    void stopTimer();
    void onOnlineModeChanged(bool online);

private:
    bool isGroupRow(const QStandardItem *item) const;
    void showRow(QStandardItem *item, bool visible);
    void updateGroups(QStandardItem *group);

    static StandardItemModel *sInstance;

    int mLevel = 0;
    QList<PellixItem *> mItems;
    // Group rows by their path without empty parts ("A/B").
    QHash<QString, QStandardItem *> mGroups;
    CameraDescriptionFile *mDescription = nullptr;
    QPointer<CameraDatabase> mDatabase;
    QPointer<ModelHiddenItemFilter> mFilter;
    QTimer mRefreshTimer;
    QScopedPointer<ProgressDialogTransferProgress> mProgress;
};

#endif // STANDARDITEMMODEL_H
