#ifndef MFXDOUBLESPINBOX_H
#define MFXDOUBLESPINBOX_H

#include <QDoubleSpinBox>

/// The double counterpart of MfxSpinBox: every step counts as a finished edit.
class MfxDoubleSpinBox : public QDoubleSpinBox
{
    Q_OBJECT

public:
    explicit MfxDoubleSpinBox(QWidget *parent = nullptr);

    void stepBy(int steps) override;
    /// The text field, so that an editor can tell the user's typing from the program's.
    using QAbstractSpinBox::lineEdit;
};

#endif // MFXDOUBLESPINBOX_H
