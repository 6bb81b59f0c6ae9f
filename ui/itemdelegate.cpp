#include "ui/itemdelegate.h"

#include "ui/itemwidget.h"
#include "ui/pellixitem.h"

#include <QAbstractProxyModel>
#include <QKeyEvent>
#include <QPointer>
#include <QStandardItemModel>

ItemDelegate::ItemDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{ }

PellixItem *ItemDelegate::itemOf(const QModelIndex &index)
{
    QModelIndex source = index;
    while (const auto *proxy = qobject_cast<const QAbstractProxyModel *>(source.model()))
        source = proxy->mapToSource(source);
    const auto *model = qobject_cast<const QStandardItemModel *>(source.model());
    QStandardItem *item = model ? model->itemFromIndex(source) : nullptr;
    if (!item || item->type() < PellixItem::BoolType || item->type() > PellixItem::RoiType)
        return nullptr;
    return static_cast<PellixItem *>(item);
}

QWidget *ItemDelegate::createEditor(
    QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const
{
    PellixItem *item = itemOf(index);
    if (!item || item->type() == PellixItem::BoolType)
        return nullptr;
    auto *editor = new ItemWidget(item, parent);
    connect(editor, &ItemWidget::hovered, this, &ItemDelegate::editorHovered);
    return editor;
}

void ItemDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    auto *widget = qobject_cast<ItemWidget *>(editor);
    if (widget && itemOf(index))
        widget->updateValue(index.data(Qt::EditRole));
}

void ItemDelegate::setModelData(QWidget *, QAbstractItemModel *, const QModelIndex &) const
{
    // The editor has sent its value to the camera already.
}

void ItemDelegate::updateEditorGeometry(
    QWidget *editor, const QStyleOptionViewItem &option, const QModelIndex &) const
{
    editor->setGeometry(option.rect);
}

bool ItemDelegate::eventFilter(QObject *object, QEvent *event)
{
    auto *editor = qobject_cast<QWidget *>(object);
    if (!editor)
        return false;
    auto *widget = qobject_cast<ItemWidget *>(editor);
    if (event->type() == QEvent::FocusIn && widget) {
        widget->setFocus();
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return QStyledItemDelegate::eventFilter(object, event);

    switch (static_cast<QKeyEvent *>(event)->key()) {
    case Qt::Key_Escape:
        // Moving the focus away finishes the controls' edits; what was typed must not be sent.
        if (widget)
            widget->setDiscarding(true);
        emit closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
        if (editor->parentWidget())
            editor->parentWidget()->setFocus();
        if (widget)
            widget->setDiscarding(false);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // After the key has reached the control, which sends the value on Return.
        QPointer<QWidget> target = editor;
        QMetaObject::invokeMethod(
            this,
            [this, target] {
                if (!target)
                    return;
                emit commitData(target);
                emit closeEditor(target, QAbstractItemDelegate::SubmitModelCache);
            },
            Qt::QueuedConnection);
        return false;
    }
    default:
        return false;
    }
}
