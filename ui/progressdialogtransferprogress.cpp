#include "ui/progressdialogtransferprogress.h"

#include <QApplication>
#include <QProgressDialog>

ProgressDialogTransferProgress::~ProgressDialogTransferProgress()
{
    end();
}

void ProgressDialogTransferProgress::begin(const QString &title, int maximum)
{
    end();
    mDialog = new QProgressDialog(QApplication::activeWindow());
    mDialog->setWindowTitle(title);
    mDialog->setCancelButtonText(QStringLiteral("Cancel"));
    mDialog->setRange(0, maximum);
    mDialog->setMinimumDuration(0);
    mDialog->setWindowModality(Qt::WindowModal);
    // A new label and the first show resize the dialog to its size hint; only a minimum holds.
    mDialog->setMinimumSize(350, 150);
    mDialog->resize(350, 150);
}

bool ProgressDialogTransferProgress::update(int value, const QString &label)
{
    if (!mDialog)
        return false;
    // The label first: a modal dialog repaints and handles the cancel button inside setValue.
    mDialog->setLabelText(label);
    mDialog->setValue(value);
    return mDialog->wasCanceled();
}

void ProgressDialogTransferProgress::end()
{
    delete mDialog.data();
    mDialog.clear();
}
