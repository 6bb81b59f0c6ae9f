#ifndef TOOLTIPHOVERLABEL_H
#define TOOLTIPHOVERLABEL_H

#include <QLabel>
#include <QPoint>

/// A field label that shows its tooltip as soon as the pointer rests on it, instead of after
/// the toolkit's delay; used for the field explanations of the description editor.
class ToolTipHoverLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ToolTipHoverLabel(QWidget *parent = nullptr);
    explicit ToolTipHoverLabel(const QString &text, QWidget *parent = nullptr);

    QPoint lastGlobalPosition() const { return mLastGlobalPosition; }

public slots:
    void hideTooltip();

protected:
    bool event(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void setUp();

    QPoint mLastGlobalPosition;
};

#endif // TOOLTIPHOVERLABEL_H
