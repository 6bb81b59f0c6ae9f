#ifndef EDITCOMMANDWIDGET_H
#define EDITCOMMANDWIDGET_H

#include <QWidget>

#include <memory>

class CameraDescriptionFile;
class QTreeWidgetItem;

namespace Ui {
class EditCommandWidget;
}

/// The "Commands" tab of the description editor: the command list and the form of the
/// current command. The form reaches the description only on commit.
class EditCommandWidget : public QWidget
{
    Q_OBJECT

public:
    explicit EditCommandWidget(QWidget *parent = nullptr);
    ~EditCommandWidget() override;

    /// Shows the description (not owned) with no command selected.
    void setDescription(CameraDescriptionFile *description);
    /// Writes the form into the description.
    void commit();
    /// Commits the form, then shows the command with that Id.
    void selectCommand(const QString &id);
    QString currentId() const { return mCurrentId; }

public slots:
    void on_tbAdd_clicked();
    void on_tbCopy_clicked();
    void on_tbRemove_clicked();
    void on_twCommandList_itemClicked(QTreeWidgetItem *item, int column);
    void on_leID_editingFinished();
    void on_leCommandCode_editingFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// wanted, or wanted_0, wanted_1, ...: the first Id no command has.
    QString uniqueId(const QString &wanted) const;
    void rebuildList();
    void showCurrent();

    std::unique_ptr<Ui::EditCommandWidget> mUi;
    CameraDescriptionFile *mDescription = nullptr;
    QString mCurrentId;
};

#endif // EDITCOMMANDWIDGET_H
