#ifndef DESCRIPTIONDOUBLESPINBOX_H
#define DESCRIPTIONDOUBLESPINBOX_H

#include "ui/mfxdoublespinbox.h"

/// A double field of the description editor: keeps enough decimals that a value read from a
/// description file (six significant digits) is written back unchanged, and shows it without
/// trailing zeros.
class DescriptionDoubleSpinBox : public MfxDoubleSpinBox
{
    Q_OBJECT

public:
    explicit DescriptionDoubleSpinBox(QWidget *parent = nullptr);

    QString textFromValue(double value) const override;
};

#endif // DESCRIPTIONDOUBLESPINBOX_H
