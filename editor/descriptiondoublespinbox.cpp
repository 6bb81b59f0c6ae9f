#include "editor/descriptiondoublespinbox.h"

namespace {

constexpr int kDecimals = 15;
constexpr double kLimit = 1e15;

} // namespace

DescriptionDoubleSpinBox::DescriptionDoubleSpinBox(QWidget *parent)
    : MfxDoubleSpinBox(parent)
{
    setDecimals(kDecimals);
    setRange(-kLimit, kLimit);
}

QString DescriptionDoubleSpinBox::textFromValue(double value) const
{
    QString text = MfxDoubleSpinBox::textFromValue(value);
    const QChar point = locale().decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(1);
    }
    return text;
}
