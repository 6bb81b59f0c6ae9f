#include "ui/roieditdialog.h"

#include "ui/uiresources.h"
#include "ui_roieditdialog.h"

#include <QPointer>

#include <limits>

namespace {

enum Column { ColumnX, ColumnY, ColumnWidth, ColumnHeight };

int toInt(qint64 value)
{
    return int(
        qBound<qint64>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

} // namespace

ROIEditDialog::ROIEditDialog(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::ROIEditDialog>())
{
    UiResources::init();
    mUi->setupUi(this);
    // Removing needs a chosen row; every refresh of the table clears the choice.
    connect(mUi->tableWidget, &QTableWidget::itemSelectionChanged, this,
        [this] { mUi->tbRemove->setEnabled(!mUi->tableWidget->selectedItems().isEmpty()); });
    refreshTable();
}

ROIEditDialog::~ROIEditDialog() = default;

bool ROIEditDialog::edit(
    QList<QRect> &regions, int maxCount, int width, int height, QWidget *parent)
{
    // On the heap: should the parent go away while the dialog runs, it takes the dialog along.
    QPointer<ROIEditDialog> dialog = new ROIEditDialog(parent);
    dialog->setData(maxCount, regions, width, height);
    const bool accepted = dialog->exec() == QDialog::Accepted;
    if (!dialog)
        return false;
    if (accepted)
        regions = dialog->mRegions;
    delete dialog;
    return accepted;
}

void ROIEditDialog::setData(int maxCount, const QList<QRect> &regions, int width, int height)
{
    mMaxCount = maxCount;
    mRegions = regions;
    mWidth = width;
    mHeight = height;
    refreshTable();
    redraw();
}

void ROIEditDialog::refreshTable()
{
    mUpdating = true;
    QTableWidget *table = mUi->tableWidget;
    table->setRowCount(mRegions.size());
    for (int row = 0; row < mRegions.size(); ++row) {
        const QRect &region = mRegions.at(row);
        const int values[] = { region.left(), region.top(), region.width(), region.height() };
        // Cells are rewritten, not replaced: this runs inside the change signal of one of them.
        for (int column = ColumnX; column <= ColumnHeight; ++column) {
            const QString text = QString::number(values[column]);
            if (QTableWidgetItem *cell = table->item(row, column))
                cell->setText(text);
            else
                table->setItem(row, column, new QTableWidgetItem(text));
        }
    }
    table->clearSelection();
    mUi->tbAdd->setEnabled(mRegions.size() < mMaxCount);
    mUi->tbRemove->setEnabled(false);
    mUpdating = false;
}

void ROIEditDialog::redraw()
{
    RegionDisplayWidget *display = mUi->wdgROIImage;
    display->clearRects();
    display->setSensorSize(mWidth, mHeight);
    for (const QRect &region : qAsConst(mRegions))
        display->addRect(region.left(), region.top(), region.right(), region.bottom());
}

void ROIEditDialog::on_tbAdd_clicked()
{
    if (mUi->tableWidget->rowCount() >= mMaxCount)
        return;
    mRegions.append(onSensor(10, 10, 59, 59));
    refreshTable();
    redraw();
}

void ROIEditDialog::on_tbRemove_clicked()
{
    const int row = mUi->tableWidget->currentRow();
    if (row < 0 || row >= mRegions.size())
        return;
    mRegions.removeAt(row);
    refreshTable();
    redraw();
}

void ROIEditDialog::on_tableWidget_cellChanged(int row, int column)
{
    QTableWidgetItem *cell = mUi->tableWidget->item(row, column);
    if (mUpdating || !cell || row >= mRegions.size())
        return;
    bool ok = false;
    const qint64 value = cell->text().trimmed().toInt(&ok, 10);
    const qint64 v = ok ? value : 0;
    const QRect &region = mRegions.at(row);
    qint64 left = region.left(), top = region.top(), right = region.right(),
           bottom = region.bottom();
    switch (column) {
    case ColumnX:
        right += v - left;
        left = v;
        break;
    case ColumnY:
        bottom += v - top;
        top = v;
        break;
    case ColumnWidth:
        right = left + v - 1;
        break;
    case ColumnHeight:
        bottom = top + v - 1;
        break;
    default:
        return;
    }
    mRegions[row] = onSensor(left, top, right, bottom);
    refreshTable();
    redraw();
}

QRect ROIEditDialog::onSensor(qint64 left, qint64 top, qint64 right, qint64 bottom) const
{
    // Without a known sensor size only the origin limits the region.
    const qint64 w = mWidth, h = mHeight;
    left = qMax<qint64>(left, 0);
    if (w > 0 && left >= w)
        left = w - 1;
    top = qMax<qint64>(top, 0);
    if (h > 0 && top >= h)
        top = h - 1;
    if (right - left + 1 < 0)
        right = left - 1;
    if (w > 0 && right + 1 >= w)
        right = w - 1;
    if (bottom - top + 1 < 0)
        bottom = top - 1;
    if (h > 0 && bottom + 1 >= h)
        bottom = h - 1;
    return QRect(QPoint(toInt(left), toInt(top)), QPoint(toInt(right), toInt(bottom)));
}
