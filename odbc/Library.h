// The library's load entry points: DllMain, which the system calls on
// Windows and LibraryElf.cpp's hooks elsewhere, and LoadByOrdinal, part of
// the published export list.
#ifndef VELORA_ODBC_LIBRARY_H
#define VELORA_ODBC_LIBRARY_H

#include <sql.h>

#include "base/Module.h"
#include "handles/Frame.h"

VEL_EXPORT BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved);
VEL_EXPORT void SQL_API LoadByOrdinal(void);

#endif
