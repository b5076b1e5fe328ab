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

bool TempFile::WriteAt(uint64_t offset, const void* bytes, uint32_t length) {
  const char* at = static_cast<const char*>(bytes);
  while (length > 0) {
    const ssize_t n = pwrite(static_cast<int>(handle_), at, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

bool TempFile::ReadAt(uint64_t offset, void* bytes, uint32_t length) {
  char* at = static_cast<char*>(bytes);
  while (length > 0) {
    const ssize_t n = pread(static_cast<int>(handle_), at, length, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    offset += static_cast<uint64_t>(n);
    length -= static_cast<uint32_t>(n);
  }
  return true;
}

void TempFile::Close() {
  if (handle_ != kNone) close(static_cast<int>(handle_));
  handle_ = kNone;
}
