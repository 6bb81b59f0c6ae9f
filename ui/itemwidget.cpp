#include "ui/itemwidget.h"

#include "description/commandelement.h"
#include "description/doubleelement.h"
#include "description/enumerationelement.h"
#include "description/integerelement.h"
#include "description/stringelement.h"
#include "engine/cameradatabase.h"
#include "engine/elementvalue.h"
#include "ui/luteditordialog.h"
#include "ui/mfxdoublespinbox.h"
#include "ui/mfxspinbox.h"
#include "ui/pellixitem.h"
#include "ui/roieditdialog.h"
#include "ui/standarditemmodel.h"

#include <QComboBox>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

namespace {

constexpr int kSpinBoxWidth = 90;
constexpr int kSliderMinimumWidth = 40;

bool isSet(const QVariant &value)
{
    return value.isValid() && !value.isNull();
}

// A spin box cannot show every camera value: an unknown one shows as the spin box's value nearest
// 0, one beyond its limits as the nearest limit. Such a stand-in is no choice of the user's and
// must not be written until the user changes it.
template<typename SpinBox>
bool standsIn(const SpinBox *spinBox, const QVariant &held, double camera)
{
    bool number = false;
    held.toDouble(&number);
    return !isSet(held) || !number || camera < spinBox->minimum() || camera > spinBox->maximum();
}

template<typename SpinBox, typename Element> void decorate(SpinBox *spinBox, const Element *element)
{
    spinBox->setFixedWidth(kSpinBoxWidth);
    if (!element->prefix.isEmpty())
        spinBox->setPrefix(element->prefix + QLatin1Char(' '));
    if (!element->suffix.isEmpty())
        spinBox->setSuffix(QLatin1Char(' ') + element->suffix);
}

} // namespace

ItemWidget::ItemWidget(PellixItem *item, QWidget *parent)
    : QWidget(parent)
{
    if (!item || !item->element() || !item->model())
        return;
    mModel = item->model();
    mIndex = item->index();
    mType = item->type();
    mReadOnly = item->accessMode() == AccessMode::RO;

    auto *layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // Read-only rows show their value in the tree; a Bool row's check box is its editor.
    if (!mReadOnly && mType != PellixItem::BoolType)
        buildControls(item, layout);
    layout->setContentsMargins(1, 1, 1, 1);
    setLayout(layout);
}

PellixItem *ItemWidget::itemAt(
    const QPointer<QStandardItemModel> &model, const QPersistentModelIndex &index, int type)
{
    if (!model || !index.isValid())
        return nullptr;
    QStandardItem *item = model->itemFromIndex(index);
    return item && item->type() == type ? static_cast<PellixItem *>(item) : nullptr;
}

PellixItem *ItemWidget::item() const
{
    return itemAt(mModel, mIndex, mType);
}

QSlider *ItemWidget::newSlider(int minimum, int maximum, int step)
{
    auto *slider = new QSlider(Qt::Horizontal);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(step);
    slider->setTickPosition(QSlider::TicksBothSides);
    slider->setTickInterval(int((qint64(maximum) - minimum) / 4));
    slider->setMinimumWidth(kSliderMinimumWidth);
    slider->setAutoFillBackground(true);
    return slider;
}

void ItemWidget::buildControls(PellixItem *item, QLayout *layout)
{
    const DisplayElement *element = item->element();
    switch (mType) {
    case PellixItem::EnumerationType:
        mCombo = new QComboBox;
        mCombo->setEditable(false);
        fillEnumItems();
        connect(mCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ItemWidget::setEnum);
        layout->addWidget(mCombo);
        mFocusWidget = mCombo;
        break;
    case PellixItem::StringType: {
        const auto *e = static_cast<const StringElement *>(element);
        mLineEdit = new QLineEdit(cachedValue().toString());
        // A description without a maximum length does not mean that nothing may be typed.
        if (e->maximumLength > 0)
            mLineEdit->setMaxLength(e->maximumLength);
        mMinimumLength = e->minimumLength;
        connect(mLineEdit, &QLineEdit::textEdited, this, &ItemWidget::editStarted);
        connect(mLineEdit, &QLineEdit::editingFinished, this, &ItemWidget::setString);
        layout->addWidget(mLineEdit);
        mFocusWidget = mLineEdit;
        break;
    }
    case PellixItem::IntegerType: {
        const auto *e = static_cast<const IntegerElement *>(element);
        mSlider = newSlider(e->minimumValue, e->maximumValue, e->increment);
        mSpinBox = new MfxSpinBox;
        mSpinBox->setRange(e->minimumValue, e->maximumValue);
        mSpinBox->setSingleStep(e->increment);
        decorate(mSpinBox, e);
        setAutoFillBackground(true);
        const QVariant held = cachedValue();
        mSpinBox->setValue(held.toInt());
        mSlider->setValue(held.toInt());
        mStandIn = standsIn(mSpinBox, held, held.toInt());
        connect(mSpinBox, QOverload<int>::of(&QSpinBox::valueChanged), this,
            [this] { mStandIn = false; });
        connect(mSpinBox->lineEdit(), &QLineEdit::textEdited, this, [this] { mStandIn = false; });
        connect(
            mSpinBox, &QAbstractSpinBox::editingFinished, this, &ItemWidget::integerEditFinished);
        connect(mSlider, &QSlider::sliderPressed, this, &ItemWidget::integerEditStart);
        connect(mSlider, &QSlider::sliderReleased, this, &ItemWidget::integerEditFinished);
        connect(mSlider, &QSlider::valueChanged, this, &ItemWidget::integerEditSliderChanged);
        connect(mSlider, &QSlider::actionTriggered, this, &ItemWidget::integerEditSliderAction);
        layout->addWidget(mSpinBox);
        layout->addWidget(mSlider);
        mFocusWidget = mSpinBox;
        break;
    }
    case PellixItem::DoubleType: {
        const auto *e = static_cast<const DoubleElement *>(element);
        // The slider moves in camera steps: its ends are the limits converted for the camera.
        int lowest = 0;
        int highest = 0;
        ElementValue::rawFromShown(e, e->minimumValue, &lowest);
        ElementValue::rawFromShown(e, e->maximumValue, &highest);
        mSlider = newSlider(qMin(lowest, highest), qMax(lowest, highest), 1);
        mDoubleSpinBox = new MfxDoubleSpinBox;
        mDoubleSpinBox->setDecimals(3);
        mDoubleSpinBox->setRange(e->minimumValue, e->maximumValue);
        mDoubleSpinBox->setSingleStep(e->increment);
        decorate(mDoubleSpinBox, e);
        setAutoFillBackground(true);
        const QVariant held = cachedValue();
        const int raw = held.toInt();
        mDoubleSpinBox->setValue(shownDouble(raw));
        mSlider->setValue(raw);
        mStandIn = standsIn(mDoubleSpinBox, held, shownDouble(raw));
        connect(mDoubleSpinBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this,
            [this] { mStandIn = false; });
        connect(
            mDoubleSpinBox->lineEdit(), &QLineEdit::textEdited, this, [this] { mStandIn = false; });
        connect(
            mDoubleSpinBox, &QAbstractSpinBox::editingFinished, this, &ItemWidget::doubleEditDone);
        connect(mSlider, &QSlider::sliderPressed, this, &ItemWidget::doubleEditStart);
        connect(mSlider, &QSlider::sliderReleased, this, &ItemWidget::doubleEditFinished);
        connect(mSlider, &QSlider::valueChanged, this, &ItemWidget::doubleEditUpdate);
        connect(mSlider, &QSlider::actionTriggered, this, &ItemWidget::doubleEditActionTriggered);
        layout->addWidget(mDoubleSpinBox);
        layout->addWidget(mSlider);
        mFocusWidget = mDoubleSpinBox;
        break;
    }
    case PellixItem::CommandType: {
        auto *button = new QPushButton(ElementValue::editorValue(element, QVariant()).toString());
        connect(button, &QPushButton::clicked, this, &ItemWidget::doCommand);
        layout->addWidget(button);
        mFocusWidget = button;
        break;
    }
    case PellixItem::ListType:
    case PellixItem::RoiType: {
        // The label leaves the row's own text visible beside the button.
        layout->addWidget(new QLabel);
        auto *button = new QToolButton;
        button->setText(QStringLiteral("..."));
        connect(button, &QToolButton::clicked, this,
            mType == PellixItem::ListType ? &ItemWidget::listEdit : &ItemWidget::roiEdit);
        layout->addWidget(button);
        mFocusWidget = button;
        break;
    }
    default:
        layout->addWidget(new QLabel(QStringLiteral("Unknown data type: %1").arg(mType)));
        break;
    }
}

QVariant ItemWidget::cachedValue() const
{
    PellixItem *cell = item();
    CameraDatabase *database = cell ? cell->database() : nullptr;
    const QString id = cell ? ElementValue::reference(cell->element()) : QString();
    return database && !id.isEmpty() ? database->cachedValue(id) : QVariant();
}

void ItemWidget::send(const QVariant &value)
{
    if (mDiscarding)
        return;
    if (PellixItem *cell = item())
        cell->setValue(value);
}

void ItemWidget::setDiscarding(bool discarding)
{
    mDiscarding = discarding;
    if (discarding)
        return;
    mEditing = false;
    mPressed = false;
    mAction = false;
    updateValue(cachedValue());
}

void ItemWidget::setFocus()
{
    if (mFocusWidget)
        mFocusWidget->setFocus(Qt::OtherFocusReason);
}

void ItemWidget::updateValue(const QVariant &value)
{
    // A value never read leaves the control as it is rather than showing 0.
    if (mEditing || mReadOnly || !isSet(value))
        return;
    switch (mType) {
    case PellixItem::IntegerType:
        if (!mPressed) {
            mAction = false;
            const QSignalBlocker blocker(mSpinBox);
            mSpinBox->setValue(value.toInt());
            mStandIn = standsIn(mSpinBox, value, value.toInt());
            mSlider->setValue(value.toInt());
        }
        break;
    case PellixItem::DoubleType:
        if (!mPressed) {
            mAction = false;
            const int raw = value.toInt();
            const QSignalBlocker blocker(mDoubleSpinBox);
            if (raw != rawDouble(mDoubleSpinBox->value()))
                mDoubleSpinBox->setValue(shownDouble(raw));
            mStandIn = standsIn(mDoubleSpinBox, value, shownDouble(raw));
            mSlider->setValue(raw);
        }
        break;
    case PellixItem::StringType:
        mLineEdit->setText(value.toString());
        break;
    case PellixItem::EnumerationType:
        selectEnumValue(value);
        break;
    default:
        break;
    }
}

void ItemWidget::reloadEnumItems()
{
    if (mCombo)
        fillEnumItems();
}

void ItemWidget::fillEnumItems()
{
    const QSignalBlocker blocker(mCombo);
    mCombo->clear();
    PellixItem *cell = item();
    if (!cell)
        return;
    const auto *tree = qobject_cast<const StandardItemModel *>(mModel.data());
    const int level = tree ? tree->level() : 0;
    CameraDatabase *database = cell->database();
    const auto *e = static_cast<const EnumerationElement *>(cell->element());
    for (const EnumerationItem &choice : e->items) {
        if (static_cast<int>(choice.visibility) > level)
            continue;
        if (database && !database->evaluateBool(choice.isAvailable))
            continue;
        mCombo->addItem(choice.name, choice.value);
    }
    selectEnumValue(cachedValue());
}

void ItemWidget::selectEnumValue(const QVariant &value)
{
    int found = -1;
    bool ok = false;
    const int number = isSet(value) ? value.toInt(&ok) : 0;
    for (int index = 0; ok && index < mCombo->count(); ++index) {
        if (mCombo->itemData(index).toInt() == number)
            found = index;
    }
    const QSignalBlocker blocker(mCombo);
    mCombo->setCurrentIndex(found);
}

double ItemWidget::shownDouble(int raw) const
{
    const PellixItem *cell = item();
    return cell
        ? ElementValue::shownDouble(static_cast<const DoubleElement *>(cell->element()), raw)
        : raw;
}

int ItemWidget::rawDouble(double shown) const
{
    const PellixItem *cell = item();
    int raw = mSlider->value();
    if (cell)
        ElementValue::rawFromShown(
            static_cast<const DoubleElement *>(cell->element()), shown, &raw);
    return raw;
}

void ItemWidget::thisHovered()
{
    const auto *tree = qobject_cast<const StandardItemModel *>(mModel.data());
    if (tree && tree->filter() && mIndex.isValid())
        emit hovered(tree->filter()->mapFromSource(mIndex));
}

void ItemWidget::mouseMoveEvent(QMouseEvent *event)
{
    QWidget::mouseMoveEvent(event);
    thisHovered();
}

void ItemWidget::listEdit()
{
    // The transfers and the dialog run event loops of their own, in which the row and this
    // editor may go away: afterwards only what is held here is used.
    const QPointer<QStandardItemModel> model = mModel;
    const QPersistentModelIndex index = mIndex;
    PellixItem *cell = item();
    if (!cell)
        return;
    QStringList values;
    int count = 0;
    cell->loadList(values, count);
    if (count == -1) {
        qDebug().noquote() << "Edit list value failed, because numberOfValues is invalid";
        return;
    }
    if (!LUTEditorDialog::edit(values, count, nullptr))
        return;
    if (PellixItem *target = itemAt(model, index, PellixItem::ListType))
        target->saveList(values);
}

void ItemWidget::roiEdit()
{
    const QPointer<QStandardItemModel> model = mModel;
    const QPersistentModelIndex index = mIndex;
    PellixItem *cell = item();
    if (!cell)
        return;
    QList<QRect> regions;
    int count = 1;
    int width = 800;
    int height = 600;
    cell->loadRoi(regions, count, width, height);
    if (count == -1) // the user cancelled the read
        return;
    if (!ROIEditDialog::edit(regions, count, width, height, this))
        return;
    if (PellixItem *target = itemAt(model, index, PellixItem::RoiType))
        target->saveRoi(regions, count);
}

void ItemWidget::doubleEditStart()
{
    mPressed = true;
}

void ItemWidget::doubleEditActionTriggered()
{
    mAction = true;
}

void ItemWidget::doubleEditUpdate(int raw)
{
    // Only the user's moves are sent; the program moves the slider to show camera values.
    if (mPressed || mAction) {
        const double shown = shownDouble(raw);
        mDoubleSpinBox->setValue(shown);
        send(shown);
    }
    mAction = false;
}

void ItemWidget::doubleEditFinished()
{
    mPressed = false;
    if (!mStandIn)
        send(shownDouble(mSlider->value()));
}

void ItemWidget::doubleEditDone()
{
    mAction = false;
    mSlider->setValue(rawDouble(mDoubleSpinBox->value()));
    if (!mStandIn)
        send(mDoubleSpinBox->value());
}

void ItemWidget::integerEditStart()
{
    mPressed = true;
}

void ItemWidget::integerEditSliderAction()
{
    mAction = true;
}

void ItemWidget::integerEditSliderChanged(int value)
{
    if (mPressed || mAction) {
        mSpinBox->setValue(value);
        send(value);
    }
    mAction = false;
}

void ItemWidget::integerEditFinished()
{
    mPressed = false;
    mAction = false;
    const int value = mSpinBox->value();
    if (!mStandIn)
        send(value);
    mSlider->setValue(value);
}

void ItemWidget::setBool(bool value)
{
    send(value);
}

void ItemWidget::setInt(int value)
{
    send(value);
}

void ItemWidget::setDouble(double value)
{
    send(value);
}

void ItemWidget::setString()
{
    mEditing = false;
    const QString text = mLineEdit->text();
    if (text.length() >= mMinimumLength)
        send(text);
    else
        mLineEdit->setText(cachedValue().toString());
}

void ItemWidget::setEnum(int index)
{
    const QVariant data = mCombo->itemData(index);
    if (data.isValid())
        send(data.toInt());
}

void ItemWidget::doCommand()
{
    send(1);
}

void ItemWidget::editStarted()
{
    mEditing = true;
}
