#include "ui/pellixitem.h"

#include "description/boolelement.h"
#include "description/commandelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "engine/cameradatabase.h"
#include "engine/elementvalue.h"
#include "ui/standarditemmodel.h"

#include <QMetaObject>
#include <QWidget>

namespace {

int itemTypeOf(const DisplayElement *element)
{
    if (!element)
        return QStandardItem::UserType;
    switch (element->type()) {
    case DisplayElementType::Bool:
        return PellixItem::BoolType;
    case DisplayElementType::Command:
        return PellixItem::CommandType;
    case DisplayElementType::Double:
        return PellixItem::DoubleType;
    case DisplayElementType::Enumeration:
        return PellixItem::EnumerationType;
    case DisplayElementType::Integer:
        return PellixItem::IntegerType;
    case DisplayElementType::String:
        return PellixItem::StringType;
    case DisplayElementType::List:
        return PellixItem::ListType;
    case DisplayElementType::ROI:
        return PellixItem::RoiType;
    }
    return QStandardItem::UserType;
}

bool hasSingleValue(DisplayElementType type)
{
    return type == DisplayElementType::Bool || type == DisplayElementType::Integer
        || type == DisplayElementType::Double || type == DisplayElementType::String
        || type == DisplayElementType::Enumeration;
}

// The value editors live above this layer; they are reached by slot name so that the tree does
// not depend on them. An editor without the slot is simply not told.
void invokeEditor(
    QWidget *editor, const char *signature, const char *method, const QVariant *value = nullptr)
{
    if (!editor)
        return;
    const QByteArray normalized = QMetaObject::normalizedSignature(signature);
    if (editor->metaObject()->indexOfMethod(normalized.constData()) < 0)
        return;
    if (value)
        QMetaObject::invokeMethod(editor, method, Qt::DirectConnection, Q_ARG(QVariant, *value));
    else
        QMetaObject::invokeMethod(editor, method, Qt::DirectConnection);
}

} // namespace

PellixItem::PellixItem(CameraDatabase *database, DisplayElement *element)
    : mItemType(itemTypeOf(element))
    , mDatabase(database)
    , mElement(element)
{
    if (!mElement)
        return;
    if (database) {
        for (const QString &id : qAsConst(mElement->invalidatedBy)) {
            if (!id.isEmpty())
                database->registerItem(id, this);
        }
        // Named in InvalidatedBy too, it is one subscription: every arrival is told once.
        const QString ref = reference();
        if (!ref.isEmpty() && !mElement->invalidatedBy.contains(ref))
            database->registerItem(ref, this);
    }
    if (mItemType == BoolType)
        setCheckable(true);
    setToolTip(mElement->toolTip);
}

PellixItem::~PellixItem()
{
    if (mDatabase)
        mDatabase->unregisterItem(this);
}

int PellixItem::type() const
{
    return mItemType;
}

CameraDatabase *PellixItem::database() const
{
    return mDatabase;
}

StandardItemModel *PellixItem::treeModel() const
{
    return qobject_cast<StandardItemModel *>(model());
}

QString PellixItem::reference() const
{
    return ElementValue::reference(mElement);
}

DisplayElementType PellixItem::elementType() const
{
    return mElement ? mElement->type() : DisplayElementType::Command;
}

AccessMode PellixItem::accessMode() const
{
    return mElement ? mElement->accessMode : AccessMode::RO;
}

QString PellixItem::name() const
{
    return mElement ? mElement->name : QString();
}

QString PellixItem::descriptionText() const
{
    if (!mElement)
        return QString();
    return QStringLiteral("<B>%1</B>:<BR>%2").arg(mElement->name, mElement->description);
}

QVariant PellixItem::data(int role) const
{
    if (role == Qt::DisplayRole)
        return displayText();
    if (role == Qt::EditRole)
        return editValue();
    return QStandardItem::data(role);
}

void PellixItem::setData(const QVariant &value, int role)
{
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        // The value belongs to the camera database; the view is only told to ask again.
        emitDataChanged();
        return;
    }
    if (role == Qt::CheckStateRole && mItemType == BoolType) {
        if (value.toInt() != QStandardItem::data(Qt::CheckStateRole).toInt()) {
            setValue(value.toInt() == Qt::Checked);
            emitDataChanged();
        }
    }
    QStandardItem::setData(value, role);
}

QVariant PellixItem::displayText() const
{
    if (!mElement || !isAvailable())
        return QVariant();
    const DisplayElementType kind = mElement->type();
    if (mElement->accessMode == AccessMode::WO && kind != DisplayElementType::Command)
        return mLastEditedValue;
    if (hasEditor() && mElement->accessMode != AccessMode::RO)
        return QVariant();
    const QString ref = reference();
    const QVariant cached = (mDatabase && !ref.isEmpty()) ? mDatabase->getValue(ref) : QVariant();
    return ElementValue::displayText(mElement, cached);
}

QVariant PellixItem::editValue() const
{
    if (!mElement || !isAvailable())
        return QVariant();
    const DisplayElementType kind = mElement->type();
    if (mElement->accessMode == AccessMode::WO && kind != DisplayElementType::Command) {
        // Editors take camera values; a Double was edited in shown units.
        if (kind == DisplayElementType::Double && mLastEditedValue.isValid())
            return ElementValue::cameraValue(mElement, mLastEditedValue);
        return mLastEditedValue;
    }
    if (hasEditor() && kind != DisplayElementType::Bool && kind != DisplayElementType::Command)
        return QVariant();
    const QString ref = reference();
    const QVariant cached = (mDatabase && !ref.isEmpty()) ? mDatabase->getValue(ref) : QVariant();
    // A value never read reaches the editor as nothing, not as the 0 a conversion makes of it.
    if ((kind == DisplayElementType::Double || kind == DisplayElementType::Enumeration)
        && (!cached.isValid() || cached.isNull()))
        return QVariant();
    return ElementValue::editorValue(mElement, cached);
}

QVariant PellixItem::value() const
{
    if (!mElement || !mDatabase)
        return QVariant();
    return ElementValue::readForSaving(mDatabase, mElement);
}

void PellixItem::setValue(const QVariant &value)
{
    const QVariant previous = mLastEditedValue;
    mLastEditedValue = value;
    if (!mElement || !mDatabase || ElementValue::write(mDatabase, mElement, value))
        return;
    // Refused (it cannot be sent as it is): the row and its editor show again what the camera
    // holds rather than a value that never left.
    mLastEditedValue = previous;
    const QVariant held = mDatabase->cachedValue(reference());
    invokeEditor(mEditor, "updateValue(QVariant)", "updateValue", &held);
    emitDataChanged();
}

void PellixItem::valueChanged(const QString &id, const QVariant &value)
{
    if (!mElement)
        return;
    const QString ref = reference();
    if (mItemType == BoolType && id == ref) {
        // A reply to the command of the same name carries no value; the box then shows what is
        // cached instead of falling back to unticked.
        const QVariant current
            = (value.isValid() || !mDatabase) ? value : mDatabase->cachedValue(ref);
        // Straight to the stored state: going through setData would send the value back.
        QStandardItem::setData(ElementValue::checkState(mElement, current), Qt::CheckStateRole);
    }
    if (mElement->invalidatedBy.contains(id)) {
        // When the element names its own value, the value has just arrived; reading it again
        // would only start an endless get loop, and the row and its editor must still show it.
        refreshRow(id != ref);
        if (id != ref)
            return;
    }
    const DisplayElementType kind = mElement->type();
    if (hasEditor() && id == ref
        && (kind == DisplayElementType::Integer || kind == DisplayElementType::Double
            || kind == DisplayElementType::String || kind == DisplayElementType::Enumeration))
        invokeEditor(mEditor, "updateValue(QVariant)", "updateValue", &value);
    emitDataChanged();
}

bool PellixItem::isAvailable(bool force) const
{
    // The expression may read the camera; the reply can name this element's InvalidatedBy
    // and ask for a new evaluation before the value is stored. The running evaluation reads
    // that value anyway, so the nested request is answered with the last result instead of
    // another camera read (which would recurse without end).
    if (mEvaluating || (!force && mAvailabilityEvaluated))
        return mAvailable;
    bool available = true;
    if (mElement && mDatabase && !mElement->isAvailable.isEmpty()) {
        mEvaluating = true;
        available = mDatabase->evaluateBool(mElement->isAvailable);
        mEvaluating = false;
    }
    mAvailable = available;
    mAvailabilityEvaluated = true;
    return mAvailable;
}

bool PellixItem::isVisible() const
{
    if (!mElement)
        return false;
    const bool available = isAvailable();
    const StandardItemModel *tree = treeModel();
    if (!tree)
        tree = StandardItemModel::instance();
    const int level = tree ? tree->level() : 0;
    if (hasEditor() && mElement->type() == DisplayElementType::Enumeration)
        invokeEditor(mEditor, "reloadEnumItems()", "reloadEnumItems");
    return available && level >= static_cast<int>(mElement->visibility);
}

bool PellixItem::isSaveable() const
{
    return mElement && isAvailable() && mElement->persistent
        && mElement->accessMode == AccessMode::RW
        && mElement->type() != DisplayElementType::Command;
}

void PellixItem::refresh()
{
    refreshRow(true);
}

void PellixItem::refreshRow(bool rereadValue)
{
    // See isAvailable: the evaluation under way decides about the row.
    if (!mElement || mEvaluating)
        return;
    isAvailable(true);
    StandardItemModel *tree = treeModel();
    if (isVisible()) {
        if (tree)
            tree->setItemVisible(this, true);
        const QString ref = reference();
        if (rereadValue && mDatabase && hasSingleValue(mElement->type()) && !ref.isEmpty())
            mDatabase->refreshValue(ref);
    } else if (tree) {
        tree->setItemVisible(this, false);
    }
}

void PellixItem::refreshIfNotCacheable()
{
    if (mElement && !mElement->cacheable)
        refresh();
}

void PellixItem::setEditor(bool hasEditor, QWidget *editor)
{
    mHasEditor = hasEditor;
    mEditor = hasEditor ? editor : nullptr;
    if (mItemType == BoolType)
        setCheckable(true);
}

void PellixItem::pauseRefresh()
{
    if (StandardItemModel *tree = treeModel())
        tree->stopTimer();
}

void PellixItem::resumeRefresh()
{
    if (StandardItemModel *tree = treeModel())
        tree->restartTimer();
}

void PellixItem::loadList(QStringList &out, int &count)
{
    if (!mDatabase || mItemType != ListType)
        return;
    const auto *list = static_cast<const ListElement *>(mElement);
    count = mDatabase->evaluateInt(list->count);
    pauseRefresh();
    if (!mDatabase->loadList(out, count, list->get, list->index))
        count = -1;
    resumeRefresh();
}

void PellixItem::loadRoi(QList<QRect> &out, int &count, int &screenWidth, int &screenHeight)
{
    if (!mDatabase || mItemType != RoiType)
        return;
    const auto *roi = static_cast<const RoiElement *>(mElement);
    count = mDatabase->evaluateInt(roi->count);
    screenWidth = mDatabase->evaluateInt(roi->screenWidth);
    screenHeight = mDatabase->evaluateInt(roi->screenHeight);
    pauseRefresh();
    if (!mDatabase->loadRoi(
            out, count, roi->index, roi->x, roi->y, roi->width, roi->height, roi->getCommand))
        count = -1;
    resumeRefresh();
}

void PellixItem::saveList(const QStringList &list)
{
    if (!mDatabase || mItemType != ListType)
        return;
    const auto *element = static_cast<const ListElement *>(mElement);
    pauseRefresh();
    mDatabase->saveList(list, element->index, element->start, element->end, element->set);
    resumeRefresh();
}

void PellixItem::saveRoi(const QList<QRect> &regions, int count)
{
    if (!mDatabase || mItemType != RoiType)
        return;
    const auto *roi = static_cast<const RoiElement *>(mElement);
    pauseRefresh();
    mDatabase->saveRoi(regions, count, roi->x, roi->y, roi->width, roi->height, roi->start,
        roi->end, roi->setCommand);
    resumeRefresh();
}
