// The descriptor cases of SQLAllocHandle and SQLFreeHandle, for those
// exports to call (they trace the entry and the return code): each holds
// its handle (input: the connection; handle: the descriptor) and runs the
// worker of odbc/descriptors/Descriptors.h.
#ifndef VELORA_ODBC3_DESCRIPTORAPI_H
#define VELORA_ODBC3_DESCRIPTORAPI_H

#include <sql.h>

SQLRETURN AllocDescriptorHandle(SQLHANDLE input, SQLHANDLE* output);
SQLRETURN FreeDescriptorHandle(SQLHANDLE handle);

#endif
