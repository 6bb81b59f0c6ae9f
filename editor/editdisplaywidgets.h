#ifndef EDITDISPLAYWIDGETS_H
#define EDITDISPLAYWIDGETS_H

#include "description/displayelement.h"
#include "description/enumerationelement.h"

#include <QWidget>

#include <memory>

class CameraDescriptionFile;
class QLabel;
class QLineEdit;
class QListWidgetItem;
class QTreeWidgetItem;

namespace Ui {
class EditDisplayWidgets;
}

/// The "Display Elements" tab of the description editor: the elements as a tree of groups,
/// a form page per element kind and a page for a selected group. The form reaches the
/// description only on commit.
class EditDisplayWidgets : public QWidget
{
    Q_OBJECT

public:
    /// Item data role of a tree row's kind: 1 group, 2 element.
    static constexpr int RowKindRole = Qt::UserRole + 1;
    enum RowKind { GroupRow = 1, ElementRow = 2 };

    explicit EditDisplayWidgets(QWidget *parent = nullptr);
    ~EditDisplayWidgets() override;

    /// Shows the description (not owned) with nothing selected.
    void setDescription(CameraDescriptionFile *description);
    /// Writes the form into the description.
    void commit();
    /// Commits the form, then shows the element (or nothing when it is null).
    void selectElement(DisplayElement *element);
    DisplayElement *currentElement() const { return mCurrent; }
    QString currentGroup() const { return mCurrentGroup; }

    /// Index of the kind in the type selector; 0 with a debug line for an unknown kind.
    static int deTypeToInt(DisplayElementType type);
    /// Kind at an index of the type selector; Command with a debug line for an unknown index.
    static DisplayElementType intToDeType(int index);

signals:
    /// The description was changed through this tab.
    void changed();

public slots:
    void on_tbElementAdd_clicked();
    void on_tbElementRemove_clicked();
    void on_tbElementCopy_clicked();
    void on_tbElementMoveUp_clicked();
    void on_tbElementMoveDown_clicked();
    void on_twElements_itemClicked(QTreeWidgetItem *item, int column);
    void onCboGroupLineEditEditDone();
    void on_cboGroup_textActivated(const QString &text);
    void on_leName_editingFinished();
    void on_tbEnumAddItem_clicked();
    void on_tbEnumRemoveItem_clicked();
    void on_lwEnumItems_itemClicked(QListWidgetItem *item);
    void on_sbEnumItemValue_editingFinished();
    void on_leEnumItemName_editingFinished();
    void on_leIsAvailable_editingFinished();
    void on_leEnumItemIsAvailable_editingFinished();
    void on_tbSelectRefsInvalidatedBy_clicked();

private:
    enum class Offer { Commands, CommandsAndValues, Values };
    enum class Pick { Replace, Append, AppendSpaced };

    static DisplayElement *createElement(DisplayElementType type);
    QString uniqueName(const QString &wanted) const;
    QStringList offered(Offer offer) const;
    void pickReference(QLineEdit *field, Offer offer, Pick pick);
    void connectReferenceButtons();
    void changeGroup(QString group);
    void moveCurrent(int step);

    void rebuildTree();
    void showCurrent();
    void fillKind(const DisplayElement &element);
    void writeKind(DisplayElement &element);
    void storeEnumItem();
    void refreshEnumList();
    void showEnumItem();
    static void showSyntax(QLabel *status, const QString &script);

    std::unique_ptr<Ui::EditDisplayWidgets> mUi;
    CameraDescriptionFile *mDescription = nullptr;
    DisplayElement *mCurrent = nullptr;
    QString mCurrentGroup;
    QList<EnumerationItem> mEnumItems;
    // Index into mEnumItems of the item on the form; -1 for none.
    int mEnumRow = -1;
    // Set while the form is filled, so that the signals this causes change nothing.
    bool mFilling = false;
};

#endif // EDITDISPLAYWIDGETS_H
