#include "editor/editcommandwidget.h"

#include "description/cameradescriptionfile.h"
#include "ui/uiresources.h"
#include "ui_editcommandwidget.h"

#include <QMouseEvent>

EditCommandWidget::EditCommandWidget(QWidget *parent)
    : QWidget(parent)
    , mUi(std::make_unique<Ui::EditCommandWidget>())
{
    UiResources::init();
    mUi->setupUi(this);
    mUi->twCommandList->viewport()->installEventFilter(this);
    // Moving through the list with the keyboard selects as a click does; queued, after a
    // click's own selection.
    connect(mUi->twCommandList, &QTreeWidget::currentItemChanged, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                const QTreeWidgetItem *item = mUi->twCommandList->currentItem();
                if (item && item->text(0) != mCurrentId)
                    selectCommand(item->text(0));
            },
            Qt::QueuedConnection);
    });
    showCurrent();
}

EditCommandWidget::~EditCommandWidget() = default;

void EditCommandWidget::setDescription(CameraDescriptionFile *description)
{
    mCurrentId.clear();
    mDescription = description;
    rebuildList();
    showCurrent();
}

QString EditCommandWidget::uniqueId(const QString &wanted) const
{
    if (!mDescription->hasCommand(wanted))
        return wanted;
    for (int n = 0;; ++n) {
        const QString candidate = QStringLiteral("%1_%2").arg(wanted).arg(n);
        if (!mDescription->hasCommand(candidate))
            return candidate;
    }
}

void EditCommandWidget::commit()
{
    if (!mDescription || mCurrentId.isEmpty())
        return;
    QString id = mUi->leID->text();
    // A command without an Id could no longer be selected; it keeps the one it had.
    if (id.isEmpty())
        id = mCurrentId;
    if (id != mCurrentId)
        id = uniqueId(id);
    mUi->leID->setText(id);

    Command command;
    command.id = id;
    command.code = mUi->leCommandCode->text().toLatin1();
    command.cachedUpdate = mUi->cbCachedUpdate->isChecked();
    command.developerOnly = mUi->cbDeveloperOnly->isChecked();
    mUi->wdgParameters->getLists(
        command.paramsSet, command.paramsGet, command.returnValueSet, command.returnValueGet);
    mDescription->replaceCommand(mCurrentId, command);
    mCurrentId = id;
}

void EditCommandWidget::selectCommand(const QString &id)
{
    commit();
    mCurrentId = id;
    rebuildList();
    showCurrent();
}

// Rows are updated in place: rebuilding them would drop the row under a click that finished
// an edit of the Id field.
void EditCommandWidget::rebuildList()
{
    QTreeWidget *list = mUi->twCommandList;
    const QList<Command> commands = mDescription ? mDescription->commands() : QList<Command>();
    while (list->topLevelItemCount() > commands.size())
        delete list->takeTopLevelItem(list->topLevelItemCount() - 1);
    while (list->topLevelItemCount() < commands.size())
        list->addTopLevelItem(new QTreeWidgetItem(list));
    QTreeWidgetItem *current = nullptr;
    for (int i = 0; i < commands.size(); ++i) {
        QTreeWidgetItem *item = list->topLevelItem(i);
        item->setText(0, commands.at(i).id);
        if (!current && !mCurrentId.isEmpty() && commands.at(i).id == mCurrentId)
            current = item;
    }
    list->setCurrentItem(current);
    if (!current)
        list->clearSelection();
}

void EditCommandWidget::showCurrent()
{
    const bool shown
        = mDescription && !mCurrentId.isEmpty() && mDescription->hasCommand(mCurrentId);
    for (QWidget *field :
        { static_cast<QWidget *>(mUi->leID), static_cast<QWidget *>(mUi->leCommandCode),
            static_cast<QWidget *>(mUi->cbCachedUpdate),
            static_cast<QWidget *>(mUi->cbDeveloperOnly),
            static_cast<QWidget *>(mUi->wdgParameters) })
        field->setEnabled(shown);
    const Command command = shown ? mDescription->command(mCurrentId) : Command();
    QStringList allIds;
    if (shown) {
        const QList<Command> commands = mDescription->commands();
        for (const Command &each : commands) {
            for (const QList<CommandParameter> *list :
                { &each.paramsSet, &each.paramsGet, &each.returnValueSet, &each.returnValueGet }) {
                for (const CommandParameter &parameter : *list) {
                    if (!parameter.id.isEmpty())
                        allIds.append(parameter.id);
                }
            }
        }
        allIds.sort();
        allIds.removeDuplicates();
    }
    mUi->leID->setText(command.id);
    mUi->leCommandCode->setText(QString::fromLatin1(command.code));
    mUi->cbCachedUpdate->setChecked(command.cachedUpdate);
    mUi->cbDeveloperOnly->setChecked(command.developerOnly);
    mUi->wdgParameters->setLists(command.paramsSet, command.paramsGet, command.returnValueSet,
        command.returnValueGet, allIds);
}

void EditCommandWidget::on_tbAdd_clicked()
{
    if (!mDescription)
        return;
    commit();
    Command command;
    command.id = uniqueId(QStringLiteral("newCommand"));
    mDescription->addCommand(command);
    mCurrentId = command.id;
    rebuildList();
    showCurrent();
}

void EditCommandWidget::on_tbCopy_clicked()
{
    if (!mDescription || !mUi->twCommandList->currentItem())
        return;
    commit();
    if (!mDescription->hasCommand(mCurrentId))
        return;
    Command copy = mDescription->command(mCurrentId);
    copy.id = uniqueId(copy.id);
    mDescription->addCommand(copy);
    mCurrentId = copy.id;
    rebuildList();
    showCurrent();
}

void EditCommandWidget::on_tbRemove_clicked()
{
    QTreeWidgetItem *item = mUi->twCommandList->currentItem();
    if (!mDescription || !item)
        return;
    const QString id = item->text(0);
    mCurrentId.clear();
    mDescription->removeCommand(id);
    rebuildList();
    showCurrent();
}

void EditCommandWidget::on_twCommandList_itemClicked(QTreeWidgetItem *item, int)
{
    if (!item)
        return;
    selectCommand(item->text(0));
}

void EditCommandWidget::on_leID_editingFinished()
{
    commit();
    rebuildList();
}

void EditCommandWidget::on_leCommandCode_editingFinished()
{
    mUi->leCommandCode->setText(mUi->leCommandCode->text().toUpper());
}

bool EditCommandWidget::eventFilter(QObject *watched, QEvent *event)
{
    // A click beside every row leaves no command selected.
    if (watched == mUi->twCommandList->viewport() && event->type() == QEvent::MouseButtonPress
        && !mUi->twCommandList->itemAt(static_cast<QMouseEvent *>(event)->pos())) {
        commit();
        mCurrentId.clear();
        rebuildList();
        showCurrent();
    }
    return QWidget::eventFilter(watched, event);
}
