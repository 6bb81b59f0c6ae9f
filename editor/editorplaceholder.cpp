#include "editor/editorplaceholder.h"

#include <QLabel>
#include <QPointer>

namespace {

QPointer<EditorPlaceholder> gInstance;

} // namespace

EditorPlaceholder::EditorPlaceholder(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Mfx: Camera description editor"));
    auto *label = new QLabel(QStringLiteral("The description editor is not available in this "
                                            "version."),
        this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
    resize(700, 550);
}

EditorPlaceholder *EditorPlaceholder::instance()
{
    if (!gInstance)
        gInstance = new EditorPlaceholder;
    return gInstance;
}

void EditorPlaceholder::destroyInstance()
{
    delete gInstance.data();
}
