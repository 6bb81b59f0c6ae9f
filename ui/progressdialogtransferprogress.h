#ifndef PROGRESSDIALOGTRANSFERPROGRESS_H
#define PROGRESSDIALOGTRANSFERPROGRESS_H

#include "engine/transferprogress.h"

#include <QPointer>
#include <QProgressDialog>

/// Shows a list transfer in a modal progress dialog over the active window, with a "Cancel"
/// button that the value engine polls before each entry.
class ProgressDialogTransferProgress : public TransferProgress
{
public:
    ProgressDialogTransferProgress() = default;
    ~ProgressDialogTransferProgress() override;

    void begin(const QString &title, int maximum) override;
    bool update(int value, const QString &label) override;
    void end() override;

    /// The dialog of the transfer under way; null between transfers.
    QProgressDialog *dialog() const { return mDialog; }

private:
    QPointer<QProgressDialog> mDialog;
};

#endif // PROGRESSDIALOGTRANSFERPROGRESS_H
