// The export table on ELF systems: the library found by the address of one
// of its own functions, opened again without loading anything.
#include <dlfcn.h>

#include "odbc3/OwnExports.h"

namespace {
void OwnExportsAnchor() {}
}  // namespace

OwnExports::OwnExports() : library_(nullptr) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnExportsAnchor), &info) != 0 && info.dli_fname != nullptr) {
    library_ = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
  }
}

OwnExports::~OwnExports() {
  if (library_ != nullptr) dlclose(library_);
}

bool OwnExports::Has(const char* name) const {
  return library_ != nullptr && dlsym(library_, name) != nullptr;
}
