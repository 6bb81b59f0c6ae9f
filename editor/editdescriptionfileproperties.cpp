#include "editor/editdescriptionfileproperties.h"

#include "description/cameradescriptionfile.h"
#include "ui_editdescriptionfileproperties.h"

namespace {

// "a, b,,c" gives a, b and c.
QStringList parseSupported(const QString &text)
{
    QStringList models;
    const QStringList parts = text.split(QLatin1Char(','));
    for (const QString &part : parts) {
        const QString model = part.trimmed();
        if (!model.isEmpty())
            models.append(model);
    }
    return models;
}

} // namespace

EditDescriptionFileProperties::EditDescriptionFileProperties(QWidget *parent)
    : QDialog(parent)
    , mUi(std::make_unique<Ui::EditDescriptionFileProperties>())
{
    mUi->setupUi(this);
}

EditDescriptionFileProperties::~EditDescriptionFileProperties() = default;

bool EditDescriptionFileProperties::edit(CameraDescriptionFile &description, QWidget *parent)
{
    EditDescriptionFileProperties dialog(parent);
    Ui::EditDescriptionFileProperties &ui = *dialog.mUi;
    qint32 major = 0, minor = 0, patch = 0;
    description.version(major, minor, patch);
    ui.leModelName->setText(description.modelName());
    ui.leSupported->setText(description.supportedModels().join(QStringLiteral(", ")));
    ui.sbMajor->setValue(major);
    ui.sbMinor->setValue(minor);
    ui.sbPatch->setValue(patch);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    // Blanks around the name would keep it from matching any camera, as for the models.
    description.setModelName(ui.leModelName->text().trimmed());
    description.setSupportedModels(parseSupported(ui.leSupported->text()));
    description.setVersion(ui.sbMajor->value(), ui.sbMinor->value(), ui.sbPatch->value());
    return true;
}
