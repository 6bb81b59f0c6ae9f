#include "ui/mfxspinbox.h"

MfxSpinBox::MfxSpinBox(QWidget *parent)
    : QSpinBox(parent)
{ }

void MfxSpinBox::stepBy(int steps)
{
    QSpinBox::stepBy(steps);
    emit editingFinished();
}
