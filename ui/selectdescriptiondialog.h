#ifndef SELECTDESCRIPTIONDIALOG_H
#define SELECTDESCRIPTIONDIALOG_H

#include "description/descriptionregistry.h"

#include <QColor>
#include <QDialog>
#include <QList>

#include <memory>
#include <vector>

class CameraDescriptionFile;

namespace Ui {
class SelectDescriptionDialog;
}

/// Lets the user choose the description for the connected camera from the known ones (or a
/// file of their own), coloured by how well each fits the camera's model and type.
class SelectDescriptionDialog : public QDialog
{
    Q_OBJECT

public:
    /// Item data role of column 0 holding the row's index in the candidate list.
    static constexpr int CandidateIndexRole = Qt::UserRole + 1;

    SelectDescriptionDialog(const QList<CameraDescriptionFile *> &files, const QString &model,
        const QString &type, QWidget *parent = nullptr);
    ~SelectDescriptionDialog() override;

    /// Runs the dialog modally; the chosen description, or null when cancelled. A description
    /// the user added with "Add custom" is handed over: the caller then owns it.
    static CameraDescriptionFile *getDescription(const QList<CameraDescriptionFile *> &files,
        const QString &model, const QString &type, QWidget *parent = nullptr);

    static QColor categoryColour(DescriptionRegistry::MatchCategory category);

    /// The description of the current row, or null.
    CameraDescriptionFile *currentDescription() const;
    QList<CameraDescriptionFile *> candidates() const { return mCandidates; }

public slots:
    void okPressed();
    void cancelPressed();
    void openFilePressed();
    void itemClicked();
    void itemDoubleClicked();

private:
    void fillTable();
    /// Gives up ownership of a custom description (no-op for the caller's own files).
    void release(CameraDescriptionFile *description);

    std::unique_ptr<Ui::SelectDescriptionDialog> mUi;
    QList<CameraDescriptionFile *> mCandidates;
    QString mModel;
    QString mType;
    QList<CameraDescriptionFile *> mBestMatch;
    QList<CameraDescriptionFile *> mMatch;
    QList<CameraDescriptionFile *> mNoMatch;
    // Descriptions added through "Add custom" until one is handed to the caller.
    std::vector<std::unique_ptr<CameraDescriptionFile>> mCustom;
};

#endif // SELECTDESCRIPTIONDIALOG_H
