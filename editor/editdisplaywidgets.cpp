#include "editor/editdisplaywidgets.h"

#include "description/boolelement.h"
#include "description/cameradescriptionfile.h"
#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/integerelement.h"
#include "description/listelement.h"
#include "description/roielement.h"
#include "description/stringelement.h"
#include "editor/selectreferencesdialog.h"
#include "ui/uiresources.h"
#include "ui_editdisplaywidgets.h"

#include <QDebug>
#include <QInputDialog>
#include <QScopedValueRollback>
#include <QScriptEngine>
#include <QScriptSyntaxCheckResult>

#include <algorithm>
#include <limits>

namespace {

// A tree row's element, by address: names need not be unique while they are being edited.
constexpr int ElementRole = Qt::UserRole + 2;
constexpr int kKinds = 8;

QString groupPathOf(const QTreeWidgetItem *item)
{
    QString group;
    for (const QTreeWidgetItem *row = item; row; row = row->parent())
        group = group.isEmpty() ? row->text(0) : row->text(0) + QLatin1Char('/') + group;
    return group;
}

} // namespace

EditDisplayWidgets::EditDisplayWidgets(QWidget *parent)
    : QWidget(parent)
    , mUi(std::make_unique<Ui::EditDisplayWidgets>())
{
    UiResources::init();
    mUi->setupUi(this);
    for (MfxSpinBox *box : { mUi->sbIntMinValue, mUi->sbIntMaxValue, mUi->sbIntIncrement,
             mUi->sbStringMinlength, mUi->sbStringMaxLength, mUi->sbEnumItemValue })
        box->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    connect(mUi->cboType, qOverload<int>(&QComboBox::currentIndexChanged), mUi->swKinds,
        &QStackedWidget::setCurrentIndex);
    connect(mUi->cboGroup->lineEdit(), &QLineEdit::editingFinished, this,
        &EditDisplayWidgets::onCboGroupLineEditEditDone);
    connectReferenceButtons();
    // Moving through the enumeration items with the keyboard shows them as a click does, so
    // that the form never edits another item than the one marked.
    connect(mUi->lwEnumItems, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!mFilling && row >= 0 && row < mEnumItems.size() && row != mEnumRow)
            on_lwEnumItems_itemClicked(mUi->lwEnumItems->item(row));
    });
    // Moving through the tree with the keyboard selects as a click does. Queued, so that a
    // click, which selects through itemClicked, has been handled first.
    connect(mUi->twElements, &QTreeWidget::currentItemChanged, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                QTreeWidgetItem *item = mUi->twElements->currentItem();
                if (!item || mFilling)
                    return;
                const bool shown = item->data(0, RowKindRole).toInt() == ElementRow
                    ? item->data(0, ElementRole).value<quintptr>()
                        == reinterpret_cast<quintptr>(mCurrent)
                    : !mCurrent && groupPathOf(item) == mCurrentGroup;
                if (!shown)
                    on_twElements_itemClicked(item, 0);
            },
            Qt::QueuedConnection);
    });
    showCurrent();
}

EditDisplayWidgets::~EditDisplayWidgets() = default;

int EditDisplayWidgets::deTypeToInt(DisplayElementType type)
{
    const int index = static_cast<int>(type);
    if (index >= 0 && index < kKinds)
        return index;
    qDebug("deTypeToInt() Unknown DisplayElement type");
    return 0;
}

DisplayElementType EditDisplayWidgets::intToDeType(int index)
{
    if (index >= 0 && index < kKinds)
        return static_cast<DisplayElementType>(index);
    qDebug("intToDeType(): Invalid index");
    return DisplayElementType::Command;
}

DisplayElement *EditDisplayWidgets::createElement(DisplayElementType type)
{
    switch (type) {
    case DisplayElementType::Bool:
        return new BoolElement;
    case DisplayElementType::Integer:
        return new IntegerElement;
    case DisplayElementType::Double:
        return new DoubleElement;
    case DisplayElementType::String:
        return new StringElement;
    case DisplayElementType::Enumeration:
        return new EnumerationElement;
    case DisplayElementType::List:
        return new ListElement;
    case DisplayElementType::ROI:
        return new RoiElement;
    default:
        return new CommandElement;
    }
}

void EditDisplayWidgets::setDescription(CameraDescriptionFile *description)
{
    mCurrent = nullptr;
    mCurrentGroup.clear();
    mEnumItems.clear();
    mEnumRow = -1;
    mDescription = description;
    showCurrent();
    rebuildTree();
}

QString EditDisplayWidgets::uniqueName(const QString &wanted) const
{
    if (!mDescription->displayElement(wanted))
        return wanted;
    for (int n = 0;; ++n) {
        const QString candidate = QStringLiteral("%1_%2").arg(wanted).arg(n);
        if (!mDescription->displayElement(candidate))
            return candidate;
    }
}

void EditDisplayWidgets::commit()
{
    if (!mDescription || mFilling)
        return;
    // A group without a stored state counts as expanded; looking at it stores nothing.
    const bool expanded = mUi->cbGroupExpand->isChecked();
    if (!mCurrentGroup.isEmpty() && expanded != mDescription->isGroupExpanded(mCurrentGroup)) {
        mDescription->setGroupExpanded(mCurrentGroup, expanded);
        emit changed();
    }
    if (!mCurrent)
        return;
    const std::unique_ptr<DisplayElement> before(mCurrent->clone());

    QString name = mUi->leName->text();
    // An element without a name shows as a blank row; it keeps the name it had.
    if (name.isEmpty())
        name = mCurrent->name;
    else if (name != mCurrent->name && mDescription->displayElement(name))
        name = uniqueName(name);
    if (name != mUi->leName->text())
        mUi->leName->setText(name);
    mCurrent->name = name;
    mCurrent->description = mUi->pteDescription->toPlainText();
    mCurrent->toolTip = mUi->leTooltip->text();
    mCurrent->visibility = static_cast<Visibility>(mUi->cboVisibility->currentIndex());
    mCurrent->accessMode = static_cast<AccessMode>(mUi->cboAccessMode->currentIndex());
    mCurrent->cacheable = mUi->cbCachable->isChecked();
    mCurrent->invalidatedBy = mUi->leInvalidatedBy->text().split(QLatin1Char(','));
    mCurrent->isAvailable = mUi->leIsAvailable->text();
    mCurrent->persistent = mUi->cbPersistent->isChecked();
    QString group = mUi->cboGroup->currentText();
    const bool regroup = group != mCurrent->group;
    if (regroup)
        mCurrent->group = group.isEmpty() ? QStringLiteral("Generic") : group;

    const DisplayElementType kind = intToDeType(mUi->cboType->currentIndex());
    if (kind != mCurrent->type()) {
        // The file keeps the old element alive for whoever still points at it.
        DisplayElement *replacement = createElement(kind);
        replacement->copyCommonFrom(*mCurrent);
        mDescription->replaceDisplayElement(mCurrent, replacement);
        mCurrent = replacement;
    }
    writeKind(*mCurrent);
    if (regroup)
        mDescription->sortElements();
    if (!before->equals(*mCurrent))
        emit changed();
}

void EditDisplayWidgets::writeKind(DisplayElement &element)
{
    Ui::EditDisplayWidgets &ui = *mUi;
    switch (element.type()) {
    case DisplayElementType::Command: {
        auto &e = static_cast<CommandElement &>(element);
        e.reference = ui.leCommandReference->text();
        e.buttonText = ui.leCommandButtonText->text();
        break;
    }
    case DisplayElementType::Bool: {
        auto &e = static_cast<BoolElement &>(element);
        e.reference = ui.leBoolReference->text();
        e.trueValue = ui.leBoolTrueValue->text();
        e.falseValue = ui.leBoolFalseValue->text();
        break;
    }
    case DisplayElementType::Integer: {
        auto &e = static_cast<IntegerElement &>(element);
        e.reference = ui.leIntReference->text();
        e.minimumValue = ui.sbIntMinValue->value();
        e.maximumValue = ui.sbIntMaxValue->value();
        e.increment = ui.sbIntIncrement->value();
        e.prefix = ui.leIntPrefix->text();
        e.suffix = ui.leIntSuffix->text();
        break;
    }
    case DisplayElementType::Double: {
        auto &e = static_cast<DoubleElement &>(element);
        e.reference = ui.leDoubleReference->text();
        e.minimumValue = ui.dsbDoubleMinValue->value();
        e.maximumValue = ui.dsbDoubleMaxValue->value();
        e.increment = ui.dsbDoubleIncrement->value();
        e.prefix = ui.leDoublePrefix->text();
        e.suffix = ui.leDoubleSuffix->text();
        e.convertAdd = ui.dsbDoubleConvertAdd->value();
        e.convertMultiply = ui.dabDoubleConvertMultiply->value();
        break;
    }
    case DisplayElementType::String: {
        auto &e = static_cast<StringElement &>(element);
        e.reference = ui.leStringReference->text();
        e.minimumLength = ui.sbStringMinlength->value();
        e.maximumLength = ui.sbStringMaxLength->value();
        break;
    }
    case DisplayElementType::Enumeration: {
        auto &e = static_cast<EnumerationElement &>(element);
        e.reference = ui.leEnumReference->text();
        storeEnumItem();
        e.items = mEnumItems;
        break;
    }
    case DisplayElementType::List: {
        auto &e = static_cast<ListElement &>(element);
        e.start = ui.leListStart->text();
        e.end = ui.leListEnd->text();
        e.count = ui.leListCount->text();
        e.get = ui.leListGet->text();
        e.index = ui.leListIndex->text();
        e.set = ui.leListSet->text();
        break;
    }
    case DisplayElementType::ROI: {
        auto &e = static_cast<RoiElement &>(element);
        e.start = ui.leROIStart->text();
        e.end = ui.leROIEnd->text();
        e.screenWidth = ui.leROIScreenWidth->text();
        e.screenHeight = ui.leROIScreenHeight->text();
        e.x = ui.leROIX->text();
        e.y = ui.leROIY->text();
        e.width = ui.leROIWidth->text();
        e.height = ui.leROIHeight->text();
        e.count = ui.leROICount->text();
        e.index = ui.leROIIndex->text();
        e.getCommand = ui.leROIGetCommand->text();
        e.setCommand = ui.leROISetCommand->text();
        break;
    }
    }
}

void EditDisplayWidgets::fillKind(const DisplayElement &element)
{
    Ui::EditDisplayWidgets &ui = *mUi;
    switch (element.type()) {
    case DisplayElementType::Command: {
        const auto &e = static_cast<const CommandElement &>(element);
        ui.leCommandReference->setText(e.reference);
        ui.leCommandButtonText->setText(e.buttonText);
        break;
    }
    case DisplayElementType::Bool: {
        const auto &e = static_cast<const BoolElement &>(element);
        ui.leBoolReference->setText(e.reference);
        ui.leBoolTrueValue->setText(e.trueValue);
        ui.leBoolFalseValue->setText(e.falseValue);
        break;
    }
    case DisplayElementType::Integer: {
        const auto &e = static_cast<const IntegerElement &>(element);
        ui.leIntReference->setText(e.reference);
        ui.sbIntMinValue->setValue(e.minimumValue);
        ui.sbIntMaxValue->setValue(e.maximumValue);
        ui.sbIntIncrement->setValue(e.increment);
        ui.leIntPrefix->setText(e.prefix);
        ui.leIntSuffix->setText(e.suffix);
        break;
    }
    case DisplayElementType::Double: {
        const auto &e = static_cast<const DoubleElement &>(element);
        ui.leDoubleReference->setText(e.reference);
        ui.dsbDoubleMinValue->setValue(e.minimumValue);
        ui.dsbDoubleMaxValue->setValue(e.maximumValue);
        ui.dsbDoubleIncrement->setValue(e.increment);
        ui.leDoublePrefix->setText(e.prefix);
        ui.leDoubleSuffix->setText(e.suffix);
        ui.dsbDoubleConvertAdd->setValue(e.convertAdd);
        ui.dabDoubleConvertMultiply->setValue(e.convertMultiply);
        break;
    }
    case DisplayElementType::String: {
        const auto &e = static_cast<const StringElement &>(element);
        ui.leStringReference->setText(e.reference);
        ui.sbStringMinlength->setValue(e.minimumLength);
        ui.sbStringMaxLength->setValue(e.maximumLength);
        break;
    }
    case DisplayElementType::Enumeration: {
        const auto &e = static_cast<const EnumerationElement &>(element);
        ui.leEnumReference->setText(e.reference);
        mEnumItems = e.items;
        mEnumRow = -1;
        refreshEnumList();
        showEnumItem();
        break;
    }
    case DisplayElementType::List: {
        const auto &e = static_cast<const ListElement &>(element);
        ui.leListStart->setText(e.start);
        ui.leListEnd->setText(e.end);
        ui.leListCount->setText(e.count);
        ui.leListGet->setText(e.get);
        ui.leListIndex->setText(e.index);
        ui.leListSet->setText(e.set);
        break;
    }
    case DisplayElementType::ROI: {
        const auto &e = static_cast<const RoiElement &>(element);
        ui.leROIStart->setText(e.start);
        ui.leROIEnd->setText(e.end);
        ui.leROIScreenWidth->setText(e.screenWidth);
        ui.leROIScreenHeight->setText(e.screenHeight);
        ui.leROIX->setText(e.x);
        ui.leROIY->setText(e.y);
        ui.leROIWidth->setText(e.width);
        ui.leROIHeight->setText(e.height);
        ui.leROICount->setText(e.count);
        ui.leROIIndex->setText(e.index);
        ui.leROIGetCommand->setText(e.getCommand);
        ui.leROISetCommand->setText(e.setCommand);
        break;
    }
    }
}

void EditDisplayWidgets::showCurrent()
{
    mFilling = true;
    Ui::EditDisplayWidgets &ui = *mUi;
    ui.gbGroupInformation->setEnabled(!mCurrentGroup.isEmpty());
    if (mDescription && !mCurrentGroup.isEmpty())
        ui.cbGroupExpand->setChecked(mDescription->isGroupExpanded(mCurrentGroup));
    ui.pgeElement->setEnabled(mCurrent != nullptr);
    ui.swPages->setCurrentWidget(mCurrent ? ui.pgeElement : ui.pgeGroup);
    if (mCurrent) {
        ui.leName->setText(mCurrent->name);
        ui.pteDescription->setPlainText(mCurrent->description);
        ui.leTooltip->setText(mCurrent->toolTip);
        ui.cboGroup->clear();
        ui.cboGroup->addItems(mDescription->groupNames());
        ui.cboGroup->setCurrentText(mCurrent->group);
        ui.cboVisibility->setCurrentIndex(static_cast<int>(mCurrent->visibility));
        ui.cboAccessMode->setCurrentIndex(static_cast<int>(mCurrent->accessMode));
        ui.cbCachable->setChecked(mCurrent->cacheable);
        ui.leInvalidatedBy->setText(mCurrent->invalidatedBy.join(QLatin1Char(',')));
        ui.leIsAvailable->setText(mCurrent->isAvailable);
        ui.cbPersistent->setChecked(mCurrent->persistent);
        ui.cboType->setCurrentIndex(deTypeToInt(mCurrent->type()));
        // The other kinds' pages start from a fresh element, so that a change of kind does
        // not pick up fields of an element shown earlier.
        for (int kind = 0; kind < kKinds; ++kind) {
            if (kind != deTypeToInt(mCurrent->type())) {
                const std::unique_ptr<DisplayElement> fresh(createElement(intToDeType(kind)));
                fillKind(*fresh);
            }
        }
        fillKind(*mCurrent);
        showSyntax(ui.lblIsAvailableStatus, mCurrent->isAvailable);
    }
    mFilling = false;
}

void EditDisplayWidgets::rebuildTree()
{
    QTreeWidget *tree = mUi->twElements;
    tree->clear();
    if (!mDescription)
        return;
    QHash<QString, QTreeWidgetItem *> groups;
    QTreeWidgetItem *selected = nullptr;
    const QList<DisplayElement *> elements = mDescription->displayElements();
    for (DisplayElement *element : elements) {
        QTreeWidgetItem *parent = nullptr;
        QString path;
        const QStringList parts = element->group.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            path = path.isEmpty() ? part : path + QLatin1Char('/') + part;
            QTreeWidgetItem *&row = groups[path];
            if (!row) {
                row = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
                row->setText(0, part);
                row->setData(0, RowKindRole, GroupRow);
                if (!mCurrent && path == mCurrentGroup)
                    selected = row;
            }
            parent = row;
        }
        auto *row = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        row->setText(0, element->name);
        row->setData(0, RowKindRole, ElementRow);
        row->setData(0, ElementRole, QVariant::fromValue(reinterpret_cast<quintptr>(element)));
        if (element == mCurrent)
            selected = row;
    }
    tree->expandAll();
    if (selected)
        tree->setCurrentItem(selected);
}

void EditDisplayWidgets::selectElement(DisplayElement *element)
{
    commit();
    mCurrent
        = mDescription && mDescription->displayElements().contains(element) ? element : nullptr;
    mCurrentGroup.clear();
    rebuildTree();
    showCurrent();
}

void EditDisplayWidgets::on_twElements_itemClicked(QTreeWidgetItem *item, int)
{
    if (!item || !mDescription)
        return;
    DisplayElement *const before = mCurrent;
    auto *clicked
        = reinterpret_cast<DisplayElement *>(item->data(0, ElementRole).value<quintptr>());
    const QString group = groupPathOf(item);
    const bool elementRow = item->data(0, RowKindRole).toInt() == ElementRow;
    commit();
    if (elementRow) {
        // A change of kind on commit put a new element in the clicked one's place.
        mCurrent = clicked == before ? mCurrent : clicked;
        mCurrentGroup.clear();
    } else {
        mCurrent = nullptr;
        mCurrentGroup = group;
    }
    rebuildTree();
    showCurrent();
}

void EditDisplayWidgets::on_tbElementAdd_clicked()
{
    if (!mDescription)
        return;
    commit();
    auto *element = new CommandElement;
    element->invalidatedBy = QStringList { QString() };
    element->group = mCurrent ? mCurrent->group : QStringLiteral("Generic");
    element->name = QStringLiteral("DisplayElement_0");
    for (int n = 1; mDescription->displayElement(element->name); ++n)
        element->name = QStringLiteral("DisplayElement_%1").arg(n);
    mDescription->addDisplayElement(element);
    mCurrent = element;
    mCurrentGroup.clear();
    showCurrent();
    rebuildTree();
    emit changed();
}

void EditDisplayWidgets::on_tbElementCopy_clicked()
{
    if (!mDescription || !mCurrent)
        return;
    commit();
    DisplayElement *copy = mCurrent->clone();
    copy->name = uniqueName(mCurrent->name);
    mDescription->addDisplayElement(copy);
    mCurrent = copy;
    showCurrent();
    rebuildTree();
    emit changed();
}

void EditDisplayWidgets::on_tbElementRemove_clicked()
{
    QTreeWidgetItem *item = mUi->twElements->currentItem();
    if (!mDescription || !item || item->data(0, RowKindRole).toInt() != ElementRow)
        return;
    mCurrent = nullptr;
    // By the row's element: a loaded file may use a name twice.
    mDescription->removeDisplayElement(
        reinterpret_cast<DisplayElement *>(item->data(0, ElementRole).value<quintptr>()));
    rebuildTree();
    showCurrent();
    emit changed();
}

void EditDisplayWidgets::moveCurrent(int step)
{
    QTreeWidgetItem *item = mUi->twElements->currentItem();
    if (!mDescription || !item)
        return;
    commit();
    if (item->data(0, RowKindRole).toInt() == ElementRow && mCurrent) {
        // By the element: a loaded file may use a name twice.
        if (step < 0)
            mDescription->moveElementUp(mCurrent);
        else
            mDescription->moveElementDown(mCurrent);
    } else if (!mCurrentGroup.isEmpty()) {
        QString path = mCurrentGroup;
        while (path.startsWith(QLatin1Char('/')))
            path.remove(0, 1);
        if (step < 0)
            mDescription->moveGroupUp(path);
        else
            mDescription->moveGroupDown(path);
    }
    rebuildTree();
    emit changed();
}

void EditDisplayWidgets::on_tbElementMoveUp_clicked()
{
    moveCurrent(-1);
}

void EditDisplayWidgets::on_tbElementMoveDown_clicked()
{
    moveCurrent(+1);
}

void EditDisplayWidgets::changeGroup(QString group)
{
    if (!mCurrent || mFilling)
        return;
    if (group.isEmpty())
        group = QStringLiteral("Generic");
    if (group == mCurrent->group)
        return;
    mUi->cboGroup->setCurrentText(group);
    commit();
    showCurrent();
    rebuildTree();
}

void EditDisplayWidgets::onCboGroupLineEditEditDone()
{
    changeGroup(mUi->cboGroup->currentText());
}

void EditDisplayWidgets::on_cboGroup_textActivated(const QString &text)
{
    changeGroup(text);
}

void EditDisplayWidgets::on_leName_editingFinished()
{
    commit();
}

void EditDisplayWidgets::storeEnumItem()
{
    if (mEnumRow < 0 || mEnumRow >= mEnumItems.size())
        return;
    EnumerationItem &item = mEnumItems[mEnumRow];
    item.value = mUi->sbEnumItemValue->value();
    item.name = mUi->leEnumItemName->text();
    item.visibility = static_cast<Visibility>(mUi->cboEnumItemVisibility->currentIndex());
    item.isAvailable = mUi->leEnumItemIsAvailable->text();
}

// Rows are renamed in place when their number stays, so a clicked row outlives its signal.
void EditDisplayWidgets::refreshEnumList()
{
    QListWidget *list = mUi->lwEnumItems;
    const QScopedValueRollback<bool> filling(mFilling, true);
    if (list->count() != mEnumItems.size()) {
        list->clear();
        for (int i = 0; i < mEnumItems.size(); ++i)
            list->addItem(QString());
    }
    for (int i = 0; i < mEnumItems.size(); ++i) {
        list->item(i)->setText(mEnumItems.at(i).name);
        list->item(i)->setData(Qt::UserRole, mEnumItems.at(i).value);
    }
    list->setCurrentRow(mEnumRow);
}

void EditDisplayWidgets::showEnumItem()
{
    const bool shown = mEnumRow >= 0 && mEnumRow < mEnumItems.size();
    const EnumerationItem item = shown ? mEnumItems.at(mEnumRow) : EnumerationItem();
    const bool filling = mFilling;
    mFilling = true;
    for (QWidget *field :
        { static_cast<QWidget *>(mUi->sbEnumItemValue), static_cast<QWidget *>(mUi->leEnumItemName),
            static_cast<QWidget *>(mUi->cboEnumItemVisibility),
            static_cast<QWidget *>(mUi->leEnumItemIsAvailable),
            static_cast<QWidget *>(mUi->tbEnumItemScriptRef) })
        field->setEnabled(shown);
    mUi->sbEnumItemValue->setValue(item.value);
    mUi->leEnumItemName->setText(item.name);
    mUi->cboEnumItemVisibility->setCurrentIndex(static_cast<int>(item.visibility));
    mUi->leEnumItemIsAvailable->setText(item.isAvailable);
    showSyntax(mUi->lblEnumItemIsAvailableStatus, item.isAvailable);
    mFilling = filling;
}

void EditDisplayWidgets::on_tbEnumAddItem_clicked()
{
    storeEnumItem();
    EnumerationItem item;
    while (std::any_of(mEnumItems.cbegin(), mEnumItems.cend(),
        [&item](const EnumerationItem &other) { return other.value == item.value; }))
        ++item.value;
    item.name = QStringLiteral("New item");
    item.description = QStringLiteral("New item");
    mEnumItems.append(item);
    mEnumRow = mEnumItems.size() - 1;
    refreshEnumList();
    showEnumItem();
}

void EditDisplayWidgets::on_tbEnumRemoveItem_clicked()
{
    const int row = mUi->lwEnumItems->currentRow();
    if (row < 0 || row >= mEnumItems.size())
        return;
    storeEnumItem();
    mEnumItems.removeAt(row);
    mEnumRow = -1;
    refreshEnumList();
    showEnumItem();
}

void EditDisplayWidgets::on_lwEnumItems_itemClicked(QListWidgetItem *item)
{
    storeEnumItem();
    mEnumRow = mUi->lwEnumItems->row(item);
    refreshEnumList();
    showEnumItem();
}

void EditDisplayWidgets::on_sbEnumItemValue_editingFinished()
{
    if (mFilling)
        return;
    storeEnumItem();
    refreshEnumList();
}

void EditDisplayWidgets::on_leEnumItemName_editingFinished()
{
    on_sbEnumItemValue_editingFinished();
}

void EditDisplayWidgets::on_leIsAvailable_editingFinished()
{
    showSyntax(mUi->lblIsAvailableStatus, mUi->leIsAvailable->text());
}

void EditDisplayWidgets::on_leEnumItemIsAvailable_editingFinished()
{
    showSyntax(mUi->lblEnumItemIsAvailableStatus, mUi->leEnumItemIsAvailable->text());
}

void EditDisplayWidgets::showSyntax(QLabel *status, const QString &script)
{
    const QScriptSyntaxCheckResult result = QScriptEngine::checkSyntax(script);
    const bool valid = result.state() == QScriptSyntaxCheckResult::Valid;
    status->setPixmap(QPixmap(
        valid ? QStringLiteral(":/images/tick.png") : QStringLiteral(":/images/error.png")));
    status->setToolTip(valid                  ? QString()
            : result.errorMessage().isEmpty() ? QStringLiteral("Expected more script to follow")
                                              : result.errorMessage());
}

QStringList EditDisplayWidgets::offered(Offer offer) const
{
    QStringList ids;
    QStringList values;
    const QList<Command> commands = mDescription ? mDescription->commands() : QList<Command>();
    for (const Command &command : commands) {
        ids.append(command.id);
        for (const QList<CommandParameter> *list : { &command.paramsSet, &command.paramsGet,
                 &command.returnValueSet, &command.returnValueGet }) {
            for (const CommandParameter &parameter : *list) {
                if (!parameter.id.isEmpty())
                    values.append(parameter.id);
            }
        }
    }
    ids.sort();
    values.sort();
    values.removeDuplicates();
    switch (offer) {
    case Offer::Commands:
        return ids;
    case Offer::CommandsAndValues:
        return ids + values;
    default:
        return values;
    }
}

void EditDisplayWidgets::pickReference(QLineEdit *field, Offer offer, Pick pick)
{
    bool ok = false;
    const QString chosen = QInputDialog::getItem(this, QStringLiteral("Select reference"),
        QStringLiteral("References"), offered(offer), 0, false, &ok);
    if (!ok || chosen.isEmpty())
        return;
    if (pick == Pick::Replace)
        field->setText(chosen);
    else
        field->setText(field->text()
            + (pick == Pick::AppendSpaced ? QStringLiteral(" ") : QString()) + chosen);
    if (field == mUi->leIsAvailable)
        on_leIsAvailable_editingFinished();
    else if (field == mUi->leEnumItemIsAvailable)
        on_leEnumItemIsAvailable_editingFinished();
}

void EditDisplayWidgets::connectReferenceButtons()
{
    Ui::EditDisplayWidgets &ui = *mUi;
    const struct
    {
        QToolButton *button;
        QLineEdit *field;
        Offer offer;
        Pick pick;
    } choosers[] = {
        { ui.tbCommandSelectRef, ui.leCommandReference, Offer::CommandsAndValues, Pick::Replace },
        { ui.tbListSelectRefStart, ui.leListStart, Offer::CommandsAndValues, Pick::Replace },
        { ui.tbListSelectRefEnd, ui.leListEnd, Offer::CommandsAndValues, Pick::Replace },
        { ui.tbROISelectRefStart, ui.leROIStart, Offer::Commands, Pick::Replace },
        { ui.tbROISelectRefEnd, ui.leROIEnd, Offer::Commands, Pick::Replace },
        { ui.tbROIGetCommandSelect, ui.leROIGetCommand, Offer::Commands, Pick::Replace },
        { ui.tbROISetCommandSelect, ui.leROISetCommand, Offer::Commands, Pick::Replace },
        { ui.tbBoolSelectReference, ui.leBoolReference, Offer::Values, Pick::Replace },
        { ui.tbIntSelectReference, ui.leIntReference, Offer::Values, Pick::Replace },
        { ui.tbDoubleSelectreference, ui.leDoubleReference, Offer::Values, Pick::Replace },
        { ui.tbStringSelectReference, ui.leStringReference, Offer::Values, Pick::Replace },
        { ui.tbEnumerationSelectReference, ui.leEnumReference, Offer::Values, Pick::Replace },
        { ui.tbListSelectRefCount, ui.leListCount, Offer::Values, Pick::Replace },
        { ui.tbListSelectRefGet, ui.leListGet, Offer::Values, Pick::Replace },
        { ui.tbListSelectRefGetIndex, ui.leListIndex, Offer::Values, Pick::Replace },
        { ui.tbListSelectRefSet, ui.leListSet, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefX, ui.leROIX, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefY, ui.leROIY, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefWidth, ui.leROIWidth, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefHeight, ui.leROIHeight, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefIndex, ui.leROIIndex, Offer::Values, Pick::Replace },
        { ui.tbROISelectRefScreenWid, ui.leROIScreenWidth, Offer::Values, Pick::Append },
        { ui.tbROISelectRefScreenHeight, ui.leROIScreenHeight, Offer::Values, Pick::Append },
        { ui.tbROISelectRefCount, ui.leROICount, Offer::Values, Pick::Append },
        { ui.tbIsAvailableAddRef, ui.leIsAvailable, Offer::Values, Pick::AppendSpaced },
        { ui.tbEnumItemScriptRef, ui.leEnumItemIsAvailable, Offer::Values, Pick::AppendSpaced },
    };
    for (const auto &chooser : choosers) {
        connect(chooser.button, &QToolButton::clicked, this,
            [this, chooser] { pickReference(chooser.field, chooser.offer, chooser.pick); });
    }
}

void EditDisplayWidgets::on_tbSelectRefsInvalidatedBy_clicked()
{
    QStringList names = offered(Offer::CommandsAndValues);
    for (QString &name : names)
        name = name.trimmed();
    names.sort();
    names.removeDuplicates();
    QString line = mUi->leInvalidatedBy->text();
    if (SelectReferencesDialog::select(names, line, this))
        mUi->leInvalidatedBy->setText(line);
}
