#include "ui/mfxdoublespinbox.h"

MfxDoubleSpinBox::MfxDoubleSpinBox(QWidget *parent)
    : QDoubleSpinBox(parent)
{ }

void MfxDoubleSpinBox::stepBy(int steps)
{
    QDoubleSpinBox::stepBy(steps);
    emit editingFinished();
}
