#ifndef EDITPARAMETERSWIDGET_H
#define EDITPARAMETERSWIDGET_H

#include "description/command.h"

#include <QWidget>

#include <memory>

class ComboBoxDelegateParameters;

namespace Ui {
class EditParametersWidget;
}

/// The four parameter lists of one command: get request, get return values, set request and
/// set return values.
class EditParametersWidget : public QWidget
{
    Q_OBJECT

public:
    explicit EditParametersWidget(QWidget *parent = nullptr);
    ~EditParametersWidget() override;

    /// Shows the four lists; allIds are offered in the value cells after the command's own ids.
    void setLists(const QList<CommandParameter> &paramsSet,
        const QList<CommandParameter> &paramsGet, const QList<CommandParameter> &returnValueSet,
        const QList<CommandParameter> &returnValueGet, const QStringList &allIds);
    /// The four lists as the tables hold them now.
    void getLists(QList<CommandParameter> &paramsSet, QList<CommandParameter> &paramsGet,
        QList<CommandParameter> &returnValueSet, QList<CommandParameter> &returnValueGet) const;

private:
    QStringList currentIds() const;

    std::unique_ptr<Ui::EditParametersWidget> mUi;
    ComboBoxDelegateParameters *mValueDelegate = nullptr;
};

#endif // EDITPARAMETERSWIDGET_H
