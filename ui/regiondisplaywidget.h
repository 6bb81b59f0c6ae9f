#ifndef REGIONDISPLAYWIDGET_H
#define REGIONDISPLAYWIDGET_H

#include <QList>
#include <QRect>
#include <QWidget>

/// A scaled drawing of the camera's sensor with the regions of interest on it.
class RegionDisplayWidget : public QWidget
{
    Q_OBJECT

public:
    explicit RegionDisplayWidget(QWidget *parent = nullptr);

    /// Sensor size in pixels (800 x 600 until set); takes effect with the next repaint.
    void setSensorSize(int width, int height);
    /// Adds a region given by its inclusive corners, in sensor pixels.
    void addRect(int left, int top, int right, int bottom);
    void clearRects();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int mSensorWidth = 800;
    int mSensorHeight = 600;
    QList<QRect> mRects;
};

#endif // REGIONDISPLAYWIDGET_H
