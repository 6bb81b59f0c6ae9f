#ifndef EDITDESCRIPTIONFILEPROPERTIES_H
#define EDITDESCRIPTIONFILEPROPERTIES_H

#include <QDialog>

#include <memory>

class CameraDescriptionFile;

namespace Ui {
class EditDescriptionFileProperties;
}

/// The file-level properties of a description: model name, supported models and version.
class EditDescriptionFileProperties : public QDialog
{
    Q_OBJECT

public:
    explicit EditDescriptionFileProperties(QWidget *parent = nullptr);
    ~EditDescriptionFileProperties() override;

    /// Shows the properties of description and writes them back when the user presses OK.
    static bool edit(CameraDescriptionFile &description, QWidget *parent = nullptr);

private:
    std::unique_ptr<Ui::EditDescriptionFileProperties> mUi;
};

#endif // EDITDESCRIPTIONFILEPROPERTIES_H
