// The export table on Windows: the module DllMain was given.
#include "base/Module.h"
#include "odbc3/OwnExports.h"

OwnExports::OwnExports() : library_(ModuleInstance()) {}

OwnExports::~OwnExports() = default;

bool OwnExports::Has(const char* name) const {
  return library_ != nullptr && GetProcAddress(static_cast<HMODULE>(library_), name) != nullptr;
}
