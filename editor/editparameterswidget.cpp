#include "editor/editparameterswidget.h"

#include "editor/comboboxdelegateparameters.h"
#include "ui_editparameterswidget.h"

EditParametersWidget::EditParametersWidget(QWidget *parent)
    : QWidget(parent)
    , mUi(std::make_unique<Ui::EditParametersWidget>())
{
    mUi->setupUi(this);
    // Only the full view of the four lists is offered.
    mUi->tabWidget->removeTab(mUi->tabWidget->indexOf(mUi->tabSimple));
    mUi->tabWidget->setTabText(
        mUi->tabWidget->indexOf(mUi->tabAdvanced), QStringLiteral("Parameters"));
    mValueDelegate = new ComboBoxDelegateParameters([this] { return currentIds(); }, this);
    for (EditCommandParamWidget *table :
        { mUi->wdgGetRequest, mUi->wdgGetReturn, mUi->wdgSetRequest, mUi->wdgSetReturn })
        table->setValueDelegate(mValueDelegate);
}

EditParametersWidget::~EditParametersWidget() = default;

void EditParametersWidget::setLists(const QList<CommandParameter> &paramsSet,
    const QList<CommandParameter> &paramsGet, const QList<CommandParameter> &returnValueSet,
    const QList<CommandParameter> &returnValueGet, const QStringList &allIds)
{
    mUi->wdgSetRequest->setParameters(paramsSet);
    mUi->wdgGetRequest->setParameters(paramsGet);
    mUi->wdgSetReturn->setParameters(returnValueSet);
    mUi->wdgGetReturn->setParameters(returnValueGet);
    mValueDelegate->setAllIds(allIds);
}

void EditParametersWidget::getLists(QList<CommandParameter> &paramsSet,
    QList<CommandParameter> &paramsGet, QList<CommandParameter> &returnValueSet,
    QList<CommandParameter> &returnValueGet) const
{
    paramsSet = mUi->wdgSetRequest->parameters();
    paramsGet = mUi->wdgGetRequest->parameters();
    returnValueSet = mUi->wdgSetReturn->parameters();
    returnValueGet = mUi->wdgGetReturn->parameters();
}

QStringList EditParametersWidget::currentIds() const
{
    QStringList ids;
    for (const EditCommandParamWidget *table :
        { mUi->wdgGetRequest, mUi->wdgGetReturn, mUi->wdgSetRequest, mUi->wdgSetReturn })
        ids += table->ids();
    ids.removeDuplicates();
    return ids;
}
