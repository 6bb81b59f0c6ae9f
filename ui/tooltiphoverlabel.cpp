#include "ui/tooltiphoverlabel.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>
#include <QToolTip>

ToolTipHoverLabel::ToolTipHoverLabel(QWidget *parent)
    : QLabel(parent)
{
    setUp();
}

ToolTipHoverLabel::ToolTipHoverLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setUp();
}

void ToolTipHoverLabel::setUp()
{
    QPalette gray = palette();
    for (auto group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled })
        gray.setColor(group, QPalette::Window, Qt::gray);
    setPalette(gray);
    setMouseTracking(true);
    setMargin(1);
}

bool ToolTipHoverLabel::event(QEvent *event)
{
    // The delayed standard tooltip would show a second time after ours.
    if (event->type() == QEvent::ToolTip)
        return true;
    return QLabel::event(event);
}

void ToolTipHoverLabel::mouseMoveEvent(QMouseEvent *event)
{
    QLabel::mouseMoveEvent(event);
    mLastGlobalPosition = event->globalPos();
    QToolTip::showText(mLastGlobalPosition, toolTip(), this);
}

void ToolTipHoverLabel::leaveEvent(QEvent *event)
{
    QLabel::leaveEvent(event);
    QTimer::singleShot(10, this, &ToolTipHoverLabel::hideTooltip);
}

void ToolTipHoverLabel::hideTooltip()
{
    QToolTip::hideText();
}
