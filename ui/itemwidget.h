#ifndef ITEMWIDGET_H
#define ITEMWIDGET_H

#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QVariant>
#include <QWidget>

class MfxDoubleSpinBox;
class MfxSpinBox;
class PellixItem;
class QComboBox;
class QLayout;
class QLineEdit;
class QSlider;
class QStandardItemModel;

/// The value editor of one parameter tree row: the controls of its element's kind (combo box,
/// line edit, spin box with slider, push button, "..." for lists and regions). It sends new
/// values to the camera through the row's item when an edit is finished, while a slider is
/// dragged, or when a button is pressed; values arriving from the camera are shown unless the
/// user is busy with the control.
class ItemWidget : public QWidget
{
    Q_OBJECT

public:
    /// item must sit in its tree model; the editor notices when the row goes away.
    explicit ItemWidget(PellixItem *item, QWidget *parent = nullptr);

    /// The row's value cell; null once the row has left the tree.
    PellixItem *item() const;
    /// While set, nothing is sent; clearing it shows the camera's value again. An abandoned
    /// edit uses it so that the focus leaving a control does not send what was typed.
    void setDiscarding(bool discarding);

    using QWidget::setFocus;

signals:
    /// The mouse moved over the editor; index is the row's index in the tree's view.
    void hovered(const QModelIndex &index);

public slots:
    /// Gives the keyboard focus to the editor's main control.
    void setFocus();
    /// Shows a value of the row's camera value, unless the user is busy with the control.
    void updateValue(const QVariant &value);
    /// Fills the enumeration's choices again for the current level and availability.
    void reloadEnumItems();
    void thisHovered();
    void listEdit();
    void roiEdit();
    void doubleEditDone();
    void doubleEditStart();
    void doubleEditFinished();
    void doubleEditUpdate(int raw);
    void doubleEditActionTriggered();
    void integerEditStart();
    void integerEditFinished();
    void integerEditSliderChanged(int value);
    void integerEditSliderAction();
    void setBool(bool value);
    void setInt(int value);
    void setDouble(double value);
    void setString();
    void setEnum(int index);
    void doCommand();
    void editStarted();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    static PellixItem *itemAt(
        const QPointer<QStandardItemModel> &model, const QPersistentModelIndex &index, int type);
    void buildControls(PellixItem *item, QLayout *layout);
    QSlider *newSlider(int minimum, int maximum, int step);
    void send(const QVariant &value);
    QVariant cachedValue() const;
    void fillEnumItems();
    void selectEnumValue(const QVariant &value);
    // Conversions of the Double editor between slider steps (camera values) and shown values.
    double shownDouble(int raw) const;
    int rawDouble(double shown) const;

    // The item is found again through its index each time: rows can be deleted while the
    // view still keeps the editor.
    QPointer<QStandardItemModel> mModel;
    QPersistentModelIndex mIndex;
    int mType = 0;
    bool mReadOnly = true;
    QWidget *mFocusWidget = nullptr;
    QComboBox *mCombo = nullptr;
    QLineEdit *mLineEdit = nullptr;
    int mMinimumLength = 0;
    QSlider *mSlider = nullptr;
    MfxSpinBox *mSpinBox = nullptr;
    MfxDoubleSpinBox *mDoubleSpinBox = nullptr;
    bool mEditing = false;
    bool mPressed = false;
    bool mAction = false;
    bool mDiscarding = false;
    // The spin box shows what the program put there for a value it cannot show, untouched.
    bool mStandIn = false;
};

#endif // ITEMWIDGET_H
