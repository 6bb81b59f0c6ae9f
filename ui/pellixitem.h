#ifndef PELLIXITEM_H
#define PELLIXITEM_H

#include "description/displayelement.h"
#include "engine/cameradatabase.h"
#include "engine/valuesubscriber.h"

#include <QList>
#include <QPointer>
#include <QRect>
#include <QStandardItem>
#include <QStringList>
#include <QVariant>
#include <QWidget>

class StandardItemModel;

/// The value cell of one display element in the parameter tree: shows the element's camera
/// value, hands it to an editor, writes edits back through the camera database and follows
/// the database's change notifications.
class PellixItem : public QStandardItem, public ValueSubscriber
{
public:
    /// Item type per element kind.
    enum ItemType {
        BoolType = 1001,
        CommandType = 1002,
        DoubleType = 1003,
        EnumerationType = 1004,
        IntegerType = 1005,
        StringType = 1006,
        ListType = 1007,
        RoiType = 1008
    };

    /// Subscribes to the element's Reference and InvalidatedBy names. Neither pointer is owned;
    /// the element must outlive the item.
    PellixItem(CameraDatabase *database, DisplayElement *element);
    ~PellixItem() override;

    int type() const override;
    QVariant data(int role = Qt::UserRole + 1) const override;
    void setData(const QVariant &value, int role = Qt::UserRole + 1) override;

    /// Text of the value column; empty while unavailable or while an editor shows the value.
    QVariant displayText() const;
    /// Value handed to an editor.
    QVariant editValue() const;
    /// Reads the value for saving, waiting for the camera when it is not cached.
    QVariant value() const;
    /// Writes a value from an editor to the camera (and remembers it for write-only elements).
    void setValue(const QVariant &value);
    QVariant lastEditedValue() const { return mLastEditedValue; }

    void valueChanged(const QString &id, const QVariant &value) override;

    /// Result of the IsAvailable expression; evaluated on first use, and again when forced.
    bool isAvailable(bool force = false) const;
    /// Available and not above the tree's current level.
    bool isVisible() const;
    /// Available, persistent, read-write and not a command.
    bool isSaveable() const;
    /// Evaluates the availability again, shows or hides the row and re-reads the value.
    void refresh();
    void refreshIfNotCacheable();

    /// Records the row's open editor (none when hasEditor is false). The editor is expected to
    /// offer the slots updateValue(QVariant) and reloadEnumItems(); either is skipped when
    /// missing.
    void setEditor(bool hasEditor, QWidget *editor);
    /// False also once the recorded editor was deleted (a view drops the editors of rows it
    /// hides), so that the row shows its value again.
    bool hasEditor() const { return mHasEditor && mEditor; }
    QWidget *editor() const { return mEditor; }

    DisplayElement *element() const { return mElement; }
    CameraDatabase *database() const;
    DisplayElementType elementType() const;
    AccessMode accessMode() const;
    QString name() const;
    /// "<B>name</B>:<BR>description" for the description box.
    QString descriptionText() const;

    /// Reads a List element's entries; count is -1 when the user cancelled. Other kinds: no-op.
    void loadList(QStringList &out, int &count);
    /// Reads a ROI element's regions and the sensor size; count is -1 when the user cancelled.
    /// Other kinds: no-op.
    void loadRoi(QList<QRect> &out, int &count, int &screenWidth, int &screenHeight);
    /// Writes a List element's entries. Other kinds: no-op.
    void saveList(const QStringList &list);
    /// Writes count regions of a ROI element. Other kinds: no-op.
    void saveRoi(const QList<QRect> &regions, int count);

private:
    StandardItemModel *treeModel() const;
    QString reference() const;
    void refreshRow(bool rereadValue);
    void pauseRefresh();
    void resumeRefresh();

    int mItemType;
    bool mHasEditor = false;
    QPointer<QWidget> mEditor;
    QVariant mLastEditedValue;
    mutable bool mAvailabilityEvaluated = false;
    mutable bool mAvailable = false;
    mutable bool mEvaluating = false;
    QPointer<CameraDatabase> mDatabase;
    DisplayElement *mElement;
};

#endif // PELLIXITEM_H
