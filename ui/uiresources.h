#ifndef UIRESOURCES_H
#define UIRESOURCES_H

/// Registers the images compiled into the user-interface library. The library is static, so
/// the linker drops its resources unless something refers to them; every window that shows an
/// image calls this first.
namespace UiResources {
void init();
}

#endif // UIRESOURCES_H
