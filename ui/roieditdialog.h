#ifndef ROIEDITDIALOG_H
#define ROIEDITDIALOG_H

#include <QDialog>
#include <QList>
#include <QRect>

#include <memory>

namespace Ui {
class ROIEditDialog;
}

/// Edits the regions of interest of a camera: a table of position and size per region beside a
/// scaled drawing of the sensor; values outside the sensor are pulled back onto it.
class ROIEditDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ROIEditDialog(QWidget *parent = nullptr);
    ~ROIEditDialog() override;

    /// Runs the dialog modally on regions (inclusive corners, sensor pixels); when it is
    /// accepted, regions receives the edited ones. Returns whether it was accepted.
    static bool edit(
        QList<QRect> &regions, int maxCount, int width, int height, QWidget *parent = nullptr);

    void setData(int maxCount, const QList<QRect> &regions, int width, int height);
    QList<QRect> regions() const { return mRegions; }

private slots:
    void on_tbAdd_clicked();
    void on_tbRemove_clicked();
    void on_tableWidget_cellChanged(int row, int column);

private:
    void refreshTable();
    void redraw();
    /// The region pulled onto the sensor; the edges are wide so that typed numbers cannot
    /// overflow before that.
    QRect onSensor(qint64 left, qint64 top, qint64 right, qint64 bottom) const;

    std::unique_ptr<Ui::ROIEditDialog> mUi;
    QList<QRect> mRegions;
    int mMaxCount = 0;
    int mWidth = 0;
    int mHeight = 0;
    bool mUpdating = false;
};

#endif // ROIEDITDIALOG_H
