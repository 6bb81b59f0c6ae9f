#ifndef EDITCOMMANDPARAMWIDGET_H
#define EDITCOMMANDPARAMWIDGET_H

#include "description/command.h"

#include <QWidget>

#include <memory>

class QAbstractItemDelegate;

namespace Ui {
class EditCommandParamWidget;
}

/// One parameter or return value list of a command as a two-column table ("Type", "Value").
class EditCommandParamWidget : public QWidget
{
    Q_OBJECT

public:
    explicit EditCommandParamWidget(QWidget *parent = nullptr);
    ~EditCommandParamWidget() override;

    void setParameters(const QList<CommandParameter> &parameters);
    /// The table read back; rows without id and value (an empty value, an unknown type) are
    /// left out.
    QList<CommandParameter> parameters() const;
    /// The value names (Integer and String rows) in the table as it is now.
    QStringList ids() const;
    /// Editor of the "Value" column; not owned.
    void setValueDelegate(QAbstractItemDelegate *delegate);

public slots:
    void on_tbAdd_clicked();
    void on_tbRemove_clicked();

private:
    void appendRow(const QString &type, const QString &value);

    std::unique_ptr<Ui::EditCommandParamWidget> mUi;
};

#endif // EDITCOMMANDPARAMWIDGET_H
