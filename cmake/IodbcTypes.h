// Included before every source of the library for iODBC (cmake/Iodbc.cmake):
// the Windows-style types and ODBC 3.80 values that unixODBC's headers have
// and iODBC's do not. The values are ODBC's own, the same in every driver
// manager.
#ifndef VELORA_CMAKE_IODBCTYPES_H
#define VELORA_CMAKE_IODBCTYPES_H

#include <sqltypes.h>

typedef void* HINSTANCE;
typedef unsigned int UINT;

#ifndef SQL_CONVERT_GUID
#define SQL_CONVERT_GUID 173
#endif

#endif
