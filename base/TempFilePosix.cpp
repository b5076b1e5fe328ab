// The scratch file on POSIX: mkstemp in TMPDIR (else /tmp), unlinked at
// once, closed on exec.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/TempFile.h"

bool TempFile::Open() {
  Close();
  const char* folder = std::getenv("TMPDIR");
  if (folder == nullptr || folder[0] == '\0') folder = "/tmp";
  char path[4096];
  if (std::snprintf(path, sizeof path, "%s/velora-cursor-XXXXXX", folder) >=
      static_cast<int>(sizeof path))
    return false;
  const int fd = mkstemp(path);  // mode 0600
  if (fd < 0) return false;
  unlink(path);
  fcntl(fd, F_SETFD, FD_CLOEXEC);
  handle_ = fd;
  return true;
}

namespace {

// Repeats a positioned read or write (op: pread or pwrite) until length
// bytes have moved; false on an error or end of file.
template <class Op, class Byte>
bool WholeAt(Op op, int fd, uint64_t offset, Byte* at, uint32_t length) {
  while (length > 0) {
    const ssize_t n = op(fd, at, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

}  // namespace

bool TempFile::WriteAt(uint64_t offset, const void* bytes, uint32_t length) {
  return WholeAt(pwrite, static_cast<int>(handle_), offset, static_cast<const char*>(bytes),
                 length);
}

bool TempFile::ReadAt(uint64_t offset, void* bytes, uint32_t length) {
  return WholeAt(pread, static_cast<int>(handle_), offset, static_cast<char*>(bytes), length);
}

void TempFile::Close() {
  if (handle_ != kNone) close(static_cast<int>(handle_));
  handle_ = kNone;
}
