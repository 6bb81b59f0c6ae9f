#ifndef MFXSPINBOX_H
#define MFXSPINBOX_H

#include <QSpinBox>

/// An integer spin box whose every step (arrow button, arrow key, wheel) counts as a finished
/// edit, so a camera value follows each click instead of waiting for the focus to leave.
class MfxSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit MfxSpinBox(QWidget *parent = nullptr);

    void stepBy(int steps) override;
    /// The text field, so that an editor can tell the user's typing from the program's.
    using QAbstractSpinBox::lineEdit;
};

#endif // MFXSPINBOX_H
