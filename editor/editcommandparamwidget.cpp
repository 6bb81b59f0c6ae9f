#include "editor/editcommandparamwidget.h"

#include "editor/comboboxdelegate.h"
#include "ui/uiresources.h"
#include "ui_editcommandparamwidget.h"

#include <QDebug>

namespace {

const QString kInteger = QStringLiteral("Integer");
const QString kString = QStringLiteral("String");
const QString kConstant = QStringLiteral("Constant");

} // namespace

EditCommandParamWidget::EditCommandParamWidget(QWidget *parent)
    : QWidget(parent)
    , mUi(std::make_unique<Ui::EditCommandParamWidget>())
{
    UiResources::init();
    mUi->setupUi(this);
    mUi->twParameters->setItemDelegateForColumn(0, new ComboBoxDelegate(this));
    mUi->twParameters->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
}

EditCommandParamWidget::~EditCommandParamWidget() = default;

void EditCommandParamWidget::setValueDelegate(QAbstractItemDelegate *delegate)
{
    mUi->twParameters->setItemDelegateForColumn(1, delegate);
}

void EditCommandParamWidget::appendRow(const QString &type, const QString &value)
{
    QTableWidget *table = mUi->twParameters;
    const int row = table->rowCount();
    table->insertRow(row);
    table->setItem(row, 0, new QTableWidgetItem(type));
    table->setItem(row, 1, new QTableWidgetItem(value));
}

void EditCommandParamWidget::setParameters(const QList<CommandParameter> &parameters)
{
    mUi->twParameters->setRowCount(0);
    for (const CommandParameter &parameter : parameters) {
        switch (parameter.type) {
        case CommandParameterType::Int:
            appendRow(kInteger, parameter.id);
            break;
        case CommandParameterType::String:
            appendRow(kString, parameter.id);
            break;
        default:
            appendRow(kConstant, QString::fromLatin1(parameter.value));
            break;
        }
    }
    mUi->twParameters->resizeRowsToContents();
}

QList<CommandParameter> EditCommandParamWidget::parameters() const
{
    QList<CommandParameter> out;
    QTableWidget *table = mUi->twParameters;
    for (int row = 0; row < table->rowCount(); ++row) {
        // A save by shortcut leaves a cell editor open; what it holds is the newest value.
        for (int column = 0; column < 2; ++column) {
            const QModelIndex cell = table->model()->index(row, column);
            if (QWidget *editor = table->indexWidget(cell))
                table->itemDelegate(cell)->setModelData(editor, table->model(), cell);
        }
        const QString type = table->item(row, 0) ? table->item(row, 0)->text() : QString();
        const QString value = table->item(row, 1) ? table->item(row, 1)->text() : QString();
        CommandParameter parameter;
        if (type == kInteger || type == kString) {
            parameter.type
                = type == kInteger ? CommandParameterType::Int : CommandParameterType::String;
            parameter.id = value;
        } else if (type == kConstant) {
            parameter.type = CommandParameterType::Const;
            parameter.value = value.toLatin1();
        } else {
            qDebug().noquote() << QStringLiteral("Unknown type: ") + type;
        }
        if (!parameter.id.isEmpty() || !parameter.value.isEmpty())
            out.append(parameter);
    }
    return out;
}

QStringList EditCommandParamWidget::ids() const
{
    QStringList out;
    const QList<CommandParameter> list = parameters();
    for (const CommandParameter &parameter : list) {
        if (parameter.type != CommandParameterType::Const)
            out.append(parameter.id);
    }
    return out;
}

void EditCommandParamWidget::on_tbAdd_clicked()
{
    appendRow(kInteger, QStringLiteral("ID"));
}

void EditCommandParamWidget::on_tbRemove_clicked()
{
    const int row = mUi->twParameters->currentRow();
    if (row < 0)
        return;
    mUi->twParameters->removeRow(row);
    mUi->twParameters->resizeRowsToContents();
}
