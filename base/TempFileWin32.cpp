// The scratch file on Windows: a unique name in the user's temporary
// folder, deleted by the system when its handle is closed.
#include <windows.h>

#include "base/TempFile.h"

namespace {

HANDLE AsHandle(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool Seek(intptr_t h, uint64_t offset) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(AsHandle(h), at, nullptr, FILE_BEGIN) != 0;
}

}  // namespace

bool TempFile::Open() {
  Close();
  char folder[MAX_PATH + 1];
  char path[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > sizeof folder || GetTempFileNameA(folder, "vel", 0, path) == 0) return false;
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DeleteFileA(path);
    return false;
  }
  handle_ = reinterpret_cast<intptr_t>(h);
  return true;
}

bool TempFile::WriteAt(uint64_t offset, const void* bytes, uint32_t length) {
  DWORD written = 0;
  return Seek(handle_, offset) &&
         WriteFile(AsHandle(handle_), bytes, length, &written, nullptr) != 0 && written == length;
}

bool TempFile::ReadAt(uint64_t offset, void* bytes, uint32_t length) {
  DWORD read = 0;
  return Seek(handle_, offset) && ReadFile(AsHandle(handle_), bytes, length, &read, nullptr) != 0 &&
         read == length;
}

void TempFile::Close() {
  if (handle_ != kNone) CloseHandle(AsHandle(handle_));
  handle_ = kNone;
}
