#include "ui/standarditemmodel.h"

#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "engine/cameradatabase.h"
#include "engine/camerasettingsfile.h"
#include "engine/elementvalue.h"
#include "ui/modelhiddenitemfilter.h"
#include "ui/pellixitem.h"
#include "ui/progressdialogtransferprogress.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

namespace {

const int RowMarkRole = Qt::UserRole + 1;
const QSize RowSizeHint(1, 23);

/// Gathers the filter's shows and hides into one layout change.
class FilterBatch
{
public:
    explicit FilterBatch(ModelHiddenItemFilter *filter)
        : mFilter(filter)
    {
        if (mFilter)
            mFilter->beginBatch();
    }
    ~FilterBatch()
    {
        if (mFilter)
            mFilter->endBatch();
    }
    FilterBatch(const FilterBatch &) = delete;
    FilterBatch &operator=(const FilterBatch &) = delete;

private:
    ModelHiddenItemFilter *mFilter;
};

/// Keeps the periodic refresh from interleaving with a walk over the camera; a timer that was
/// off (offline, or switched off) stays off.
class RefreshPause
{
public:
    explicit RefreshPause(StandardItemModel *model)
        : mModel(model)
        , mWasActive(model->isRefreshTimerActive())
    {
        mModel->stopTimer();
    }
    ~RefreshPause()
    {
        if (mWasActive)
            mModel->restartTimer();
    }
    RefreshPause(const RefreshPause &) = delete;
    RefreshPause &operator=(const RefreshPause &) = delete;

private:
    StandardItemModel *mModel;
    bool mWasActive;
};

} // namespace

StandardItemModel *StandardItemModel::sInstance = nullptr;

StandardItemModel::StandardItemModel(ModelHiddenItemFilter *filter, QObject *parent)
    : QStandardItemModel(parent)
    , mFilter(filter)
    , mProgress(new ProgressDialogTransferProgress)
{
    sInstance = this;
    const int delay = AppSettings::instance().updateDelay;
    mRefreshTimer.setInterval(qMax(0, delay));
    connect(&mRefreshTimer, &QTimer::timeout, this, &StandardItemModel::updateNonPersistent);
    if (delay >= 1)
        mRefreshTimer.start();
    // Rows may be removed from outside; the group lookup must never hand out a deleted item.
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { mGroups.clear(); });
    connect(this, &QAbstractItemModel::modelAboutToBeReset, this, [this] { mGroups.clear(); });
}

StandardItemModel::~StandardItemModel()
{
    if (sInstance == this)
        sInstance = nullptr;
    if (mDatabase && mDatabase->transferProgress() == mProgress.data())
        mDatabase->setTransferProgress(nullptr);
}

StandardItemModel *StandardItemModel::instance()
{
    return sInstance;
}

void StandardItemModel::reset()
{
    mItems.clear();
    mGroups.clear();
    clear();
    setHorizontalHeaderLabels({ QStringLiteral("Name"), QStringLiteral("Value") });
}

void StandardItemModel::loadDescription(
    CameraDatabase *database, CameraDescriptionFile *description)
{
    reset();
    if (mDatabase && mDatabase != database && mDatabase->transferProgress() == mProgress.data())
        mDatabase->setTransferProgress(nullptr);
    mDescription = description;
    mDatabase = database;
    if (database && !database->transferProgress())
        database->setTransferProgress(mProgress.data());
    if (mFilter) {
        mFilter->clear();
        mFilter->showItem(invisibleRootItem());
    }

    FilterBatch batch(mFilter);
    // Availability expressions read values with blocking gets while the tree is built; without
    // retries an absent camera costs one time limit per value, not three.
    if (database)
        database->setFastFailure(true);
    if (description) {
        const QList<DisplayElement *> elements = description->displayElements();
        if (mFilter)
            mFilter->reserve(2 * elements.size());
        for (DisplayElement *element : elements) {
            if (element)
                addElement(
                    element->group, element->name, new PellixItem(database, element), element);
        }
    }
    if (database)
        database->setFastFailure(false);
}

bool StandardItemModel::isGroupRow(const QStandardItem *item) const
{
    if (!item || item->model() != this)
        return false;
    const QStandardItem *parent = item->parent() ? item->parent() : invisibleRootItem();
    const QStandardItem *value = parent->child(item->row(), 1);
    return value && value->data(RowMarkRole).toInt() == GroupRowMark;
}

QStandardItem *StandardItemModel::findOrCreateGroup(const QString &path)
{
    QStandardItem *node = invisibleRootItem();
    QString key;
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        key = key.isEmpty() ? part : key + QLatin1Char('/') + part;
        const auto cached = mGroups.constFind(key);
        if (cached != mGroups.constEnd()) {
            node = *cached;
            continue;
        }
        // Only group rows count: an element named like a group part never receives children.
        QStandardItem *found = nullptr;
        for (int row = 0; row < node->rowCount() && !found; ++row) {
            QStandardItem *child = node->child(row, 0);
            if (child && child->text() == part && isGroupRow(child))
                found = child;
        }
        if (!found) {
            found = new QStandardItem(part);
            auto *value = new QStandardItem(QString());
            for (QStandardItem *item : { found, value }) {
                item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
                item->setSizeHint(RowSizeHint);
            }
            value->setData(GroupRowMark, RowMarkRole);
            node->appendRow({ found, value });
            if (mFilter) {
                FilterBatch batch(mFilter);
                mFilter->showItem(found);
                mFilter->showItem(value);
            }
        }
        mGroups.insert(key, found);
        node = found;
    }
    return node;
}

void StandardItemModel::addElement(
    const QString &group, const QString &name, PellixItem *cell, DisplayElement *element)
{
    QStandardItem *groupItem = findOrCreateGroup(group);
    auto *nameItem = new QStandardItem(name);
    QStandardItem *value = cell ? static_cast<QStandardItem *>(cell) : new QStandardItem(QString());
    nameItem->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    // A Bool cell keeps its check box.
    value->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled
        | (value->flags() & Qt::ItemIsUserCheckable));
    value->setData(0, RowMarkRole);
    value->setSizeHint(RowSizeHint);
    // Every element row can be found by its name; by its description too when it has one.
    nameItem->setData(
        element ? element->description : QString(), ModelHiddenItemFilter::SearchTextRole);
    if (element) {
        nameItem->setToolTip(element->toolTip);
        value->setToolTip(element->toolTip);
    }
    groupItem->appendRow({ nameItem, value });
    if (cell)
        mItems.append(cell);
    setItemVisible(value, cell ? cell->isVisible() : true);
    emit itemChanged(value);
}

void StandardItemModel::showRow(QStandardItem *item, bool visible)
{
    QStandardItem *parent = item->parent() ? item->parent() : invisibleRootItem();
    const int row = item->row();
    for (int column = 0; column < 2; ++column) {
        QStandardItem *cell = parent->child(row, column);
        if (!cell)
            continue;
        if (visible)
            mFilter->showItem(cell);
        else
            mFilter->hideItem(cell);
    }
}

void StandardItemModel::updateGroups(QStandardItem *group)
{
    // Top-level groups have no parent item and always stay.
    while (group && group->parent()) {
        const bool visible = mFilter->shownChildCount(group) > 0;
        if (visible == mFilter->isShown(group))
            break; // nothing changes further up either
        showRow(group, visible);
        group = group->parent();
    }
}

void StandardItemModel::setItemVisible(QStandardItem *cell, bool visible)
{
    if (!cell || cell->model() != this || !mFilter)
        return;
    // Both cells of a row and its groups change together: the view never sees half a row.
    FilterBatch batch(mFilter);
    QStandardItem *parent = cell->parent();
    if (!parent) {
        // A row directly under the root: top-level groups always stay, and an element without a
        // group is shown and hidden like any other, with no group above it to update.
        if (!isGroupRow(cell))
            showRow(cell, visible);
        return;
    }
    showRow(cell, visible);
    updateGroups(parent);
}

void StandardItemModel::setLevel(int level)
{
    if (level == mLevel)
        return;
    mLevel = level;
    FilterBatch batch(mFilter);
    for (PellixItem *cell : qAsConst(mItems))
        setItemVisible(cell, cell->isVisible());
}

void StandardItemModel::refreshAll()
{
    FilterBatch batch(mFilter);
    for (PellixItem *cell : qAsConst(mItems))
        cell->refresh();
}

void StandardItemModel::updateNonPersistent()
{
    FilterBatch batch(mFilter);
    for (PellixItem *cell : qAsConst(mItems)) {
        if (cell->isAvailable(false) && cell->element() && !cell->element()->cacheable)
            cell->refresh();
    }
}

void StandardItemModel::restartTimer()
{
    mRefreshTimer.stop();
    const int delay = AppSettings::instance().updateDelay;
    if (delay >= 1) {
        mRefreshTimer.setInterval(delay);
        mRefreshTimer.start();
    }
}

void StandardItemModel::stopTimer()
{
    mRefreshTimer.stop();
}

void StandardItemModel::onOnlineModeChanged(bool online)
{
    if (!online) {
        stopTimer();
        setItemsEnabled(false);
        return;
    }
    setItemsEnabled(true);
    restartTimer();
    refreshAll();
}

void StandardItemModel::setItemsEnabled(bool enabled)
{
    for (PellixItem *cell : qAsConst(mItems))
        cell->setEnabled(enabled);
}

QString StandardItemModel::descriptionText(const QModelIndex &proxyIndex) const
{
    if (!mFilter)
        return QString();
    const QModelIndex source = mFilter->mapToSource(proxyIndex);
    if (!source.isValid() || source.model() != this)
        return QString();
    const auto *cell = dynamic_cast<const PellixItem *>(itemFromIndex(source.siblingAtColumn(1)));
    return cell ? cell->descriptionText() : QString();
}

bool StandardItemModel::saveSettings(
    const QString &fileName, const QString &model, const QString &type, const QString &id)
{
    CameraSettingsFile file(model, type, id);
    {
        RefreshPause pause(this);
        for (PellixItem *cell : qAsConst(mItems)) {
            if (cell->isSaveable())
                file.addItem(CameraSettingsFile::read(mDatabase, cell->element()));
        }
    }
    QString error;
    if (file.save(fileName, &error))
        return true;
    QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Failed to save settings"),
        QStringLiteral("The camera settings could not be saved to %1:\n%2")
            .arg(QDir::toNativeSeparators(fileName), error));
    return false;
}

bool StandardItemModel::loadSettings(
    const QString &fileName, const QString &model, const QString &type, const QString &)
{
    CameraSettingsFile file;
    file.load(fileName);
    const CameraSettingsFile::Validity validity = file.check(model, type);
    if (validity != CameraSettingsFile::Validity::Valid) {
        QMessageBox::critical(QApplication::activeWindow(),
            QStringLiteral("Failed to load settings"), file.problem(validity));
        return false;
    }
    {
        RefreshPause pause(this);
        for (PellixItem *cell : qAsConst(mItems)) {
            if (!cell->isAvailable() || !file.contains(cell->name()))
                continue;
            const CameraSettingsFile::Item item = file.item(cell->name());
            // Through the cell, so that a write-only row shows what was written.
            if (item.kind() == CameraSettingsFile::ItemKind::Value
                && !ElementValue::reference(cell->element()).isEmpty())
                cell->setValue(item.text);
            else
                CameraSettingsFile::apply(mDatabase, cell->element(), item);
        }
    }
    refreshAll();
    return true;
}
