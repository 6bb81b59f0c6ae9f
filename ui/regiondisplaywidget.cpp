#include "ui/regiondisplaywidget.h"

#include <QPainter>

namespace {

constexpr int kMargin = 10;
constexpr qreal kCornerRadius = 3;

// Cut toward zero; regions far outside the sensor stay far outside instead of overflowing.
int toPixel(double value)
{
    return int(qBound(-1e7, value, 1e7));
}

} // namespace

RegionDisplayWidget::RegionDisplayWidget(QWidget *parent)
    : QWidget(parent)
{ }

void RegionDisplayWidget::setSensorSize(int width, int height)
{
    mSensorWidth = width;
    mSensorHeight = height;
}

void RegionDisplayWidget::addRect(int left, int top, int right, int bottom)
{
    mRects.append(QRect(QPoint(left, top), QPoint(right, bottom)));
    update();
}

void RegionDisplayWidget::clearRects()
{
    mRects.clear();
    update();
}

void RegionDisplayWidget::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), Qt::darkGray);

    // A camera that reports no sensor size gives nothing to scale the regions by.
    const int available = width() - kMargin;
    const int availableHeight = height() - kMargin;
    if (mSensorWidth <= 0 || mSensorHeight <= 0 || available <= 0 || availableHeight <= 0)
        return;
    int drawnWidth = available;
    int drawnHeight = int(double(mSensorHeight) / mSensorWidth * available);
    if (drawnHeight > availableHeight) {
        drawnHeight = availableHeight;
        drawnWidth = int(double(mSensorWidth) / mSensorHeight * availableHeight);
    }
    const int offsetX = (width() - drawnWidth) / 2;
    const int offsetY = (height() - drawnHeight) / 2;

    painter.setPen(Qt::darkBlue);
    painter.setBrush(Qt::gray);
    painter.drawRoundedRect(
        QRect(offsetX, offsetY, drawnWidth, drawnHeight), kCornerRadius, kCornerRadius);

    const double scaleX = double(drawnWidth) / mSensorWidth;
    const double scaleY = double(drawnHeight) / mSensorHeight;
    painter.setPen(Qt::black);
    painter.setBrush(Qt::white);
    for (const QRect &region : qAsConst(mRects)) {
        const QRect drawn(toPixel(region.left() * scaleX) + offsetX,
            toPixel(region.top() * scaleY) + offsetY, toPixel(region.width() * scaleX),
            toPixel(region.height() * scaleY));
        painter.drawRoundedRect(drawn, kCornerRadius, kCornerRadius);
    }
}
