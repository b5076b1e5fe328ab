// The library's module instance handle, stored at process attach; the
// dialogs and string resources are the module's own.
#ifndef VELORA_BASE_MODULE_H
#define VELORA_BASE_MODULE_H

#include <sqltypes.h>

#ifndef WINAPI
#define WINAPI  // the calling convention of Windows entry points; none elsewhere
#endif

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

#endif
