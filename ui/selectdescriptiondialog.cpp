#include "ui/selectdescriptiondialog.h"

#include "app/appsettings.h"
#include "description/cameradescriptionfile.h"
#include "ui/uiresources.h"
#include "ui_selectdescriptiondialog.h"

#include <QFileDialog>
#include <QMessageBox>

#include <algorithm>

SelectDescriptionDialog::SelectDescriptionDialog(const QList<CameraDescriptionFile *> &files,
    const QString &model, const QString &type, QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::SelectDescriptionDialog>())
    , mCandidates(files)
    , mModel(model)
    , mType(type)
{
    UiResources::init();
    mUi->setupUi(this);
    setWindowTitle(QStringLiteral("Provide camera description for: '") + model + QLatin1Char('-')
        + type + QLatin1Char('\''));
    connect(mUi->pbOk, &QPushButton::clicked, this, &SelectDescriptionDialog::okPressed);
    connect(mUi->pbCancel, &QPushButton::clicked, this, &SelectDescriptionDialog::cancelPressed);
    connect(
        mUi->pbAddCustom, &QPushButton::clicked, this, &SelectDescriptionDialog::openFilePressed);
    connect(mUi->twDescriptions, &QTableWidget::itemClicked, this,
        &SelectDescriptionDialog::itemClicked);
    // Keyboard navigation changes the current row as a click does.
    connect(mUi->twDescriptions, &QTableWidget::currentCellChanged, this,
        &SelectDescriptionDialog::itemClicked);
    connect(mUi->twDescriptions, &QTableWidget::itemDoubleClicked, this,
        &SelectDescriptionDialog::itemDoubleClicked);
    fillTable();
}

SelectDescriptionDialog::~SelectDescriptionDialog() = default;

CameraDescriptionFile *SelectDescriptionDialog::getDescription(
    const QList<CameraDescriptionFile *> &files, const QString &model, const QString &type,
    QWidget *parent)
{
    SelectDescriptionDialog dialog(files, model, type, parent);
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    CameraDescriptionFile *chosen = dialog.currentDescription();
    dialog.release(chosen);
    return chosen;
}

QColor SelectDescriptionDialog::categoryColour(DescriptionRegistry::MatchCategory category)
{
    switch (category) {
    case DescriptionRegistry::BestMatch:
        return QColor(160, 217, 56);
    case DescriptionRegistry::Match:
        return QColor(127, 130, 133);
    case DescriptionRegistry::NoMatch:
        break;
    }
    return QColor(255, 66, 34);
}

CameraDescriptionFile *SelectDescriptionDialog::currentDescription() const
{
    const int row = mUi->twDescriptions->currentRow();
    const QTableWidgetItem *item = row < 0 ? nullptr : mUi->twDescriptions->item(row, 0);
    if (!item)
        return nullptr;
    bool ok = false;
    const int index = item->data(CandidateIndexRole).toInt(&ok);
    return ok && index >= 0 && index < mCandidates.size() ? mCandidates.at(index) : nullptr;
}

void SelectDescriptionDialog::fillTable()
{
    mBestMatch.clear();
    mMatch.clear();
    mNoMatch.clear();
    DescriptionRegistry::sortDescriptions(mCandidates, mModel, mType, mBestMatch, mMatch, mNoMatch);

    QTableWidget *table = mUi->twDescriptions;
    table->clearContents();
    table->setRowCount(0);

    const auto addRows = [this, table](const QList<CameraDescriptionFile *> &list,
                             DescriptionRegistry::MatchCategory category) {
        const QColor colour = categoryColour(category);
        for (CameraDescriptionFile *description : list) {
            qint32 major = 0, minor = 0, subMinor = 0;
            description->version(major, minor, subMinor);
            const QStringList cells { description->fileName(), description->modelName(),
                description->supportedModels().join(QStringLiteral(", ")),
                QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(subMinor) };
            const int row = table->rowCount();
            table->insertRow(row);
            for (int column = 0; column < cells.size(); ++column) {
                auto *item = new QTableWidgetItem(cells.at(column));
                item->setBackground(colour);
                table->setItem(row, column, item);
            }
            table->item(row, 0)->setData(CandidateIndexRole, mCandidates.indexOf(description));
        }
    };
    addRows(mBestMatch, DescriptionRegistry::BestMatch);
    addRows(mMatch, DescriptionRegistry::Match);
    if (AppSettings::instance().developerMode)
        addRows(mNoMatch, DescriptionRegistry::NoMatch);

    table->resizeColumnsToContents();
    table->setCurrentCell(-1, -1);
    mUi->pbOk->setEnabled(false);
}

void SelectDescriptionDialog::okPressed()
{
    CameraDescriptionFile *description = currentDescription();
    if (!description)
        return;
    if (DescriptionRegistry::category(description, mModel, mType) == DescriptionRegistry::NoMatch) {
        const auto answer = QMessageBox::warning(this,
            QStringLiteral("Possible incorrect description for camera"),
            QStringLiteral("The current selected camera description does not support the "
                           "current connected camera,\n\nAre you sure you want to use this "
                           "description file?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (answer != QMessageBox::Yes)
            return;
    }
    accept();
}

void SelectDescriptionDialog::cancelPressed()
{
    reject();
}

void SelectDescriptionDialog::openFilePressed()
{
    const QString path
        = QFileDialog::getOpenFileName(this, QStringLiteral("Select Description File"), QString(),
            QStringLiteral("Description files (*.xml)"));
    if (path.isEmpty())
        return;
    auto description = std::make_unique<CameraDescriptionFile>(path);
    if (!description->isValid()) {
        QMessageBox::critical(this, QStringLiteral("Failed to load description"),
            QStringLiteral("Failed to load description file, it does not "
                           "appear to be a valid camera description."));
        return;
    }
    CameraDescriptionFile *added = description.get();
    mCustom.push_back(std::move(description));
    mCandidates.append(added);
    fillTable();
    if (!AppSettings::instance().developerMode
        && DescriptionRegistry::category(added, mModel, mType) == DescriptionRegistry::NoMatch) {
        QMessageBox::warning(this, QStringLiteral("Selected description cannot be used"),
            QStringLiteral("Selected description file cannot be used for this "
                           "camera"));
    }
}

void SelectDescriptionDialog::itemClicked()
{
    mUi->pbOk->setEnabled(mUi->twDescriptions->currentItem() != nullptr);
}

void SelectDescriptionDialog::itemDoubleClicked()
{
    okPressed();
}

void SelectDescriptionDialog::release(CameraDescriptionFile *description)
{
    const auto it = std::find_if(mCustom.begin(), mCustom.end(),
        [description](
            const std::unique_ptr<CameraDescriptionFile> &d) { return d.get() == description; });
    if (it != mCustom.end()) {
        it->release();
        mCustom.erase(it);
    }
}
