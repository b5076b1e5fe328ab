// The library's module instance handle, stored at process attach; the
// dialogs and string resources are the module's own.
#ifndef VELORA_BASE_MODULE_H
#define VELORA_BASE_MODULE_H

#include <sqltypes.h>

HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

#endif
