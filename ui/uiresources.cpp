#include "ui/uiresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void initUiResource()
{
    Q_INIT_RESOURCE(ui);
}

void UiResources::init()
{
    static const bool done = [] {
        initUiResource();
        return true;
    }();
    Q_UNUSED(done)
}
