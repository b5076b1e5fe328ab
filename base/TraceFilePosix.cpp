// The trace file on POSIX: created with mode 0600 (it may show what a
// user typed), "e"/O_CLOEXEC closes it in programs the application
// starts.
#include <fcntl.h>
#include <unistd.h>

#include "base/Trace.h"

FILE* OpenTraceFile(const char* path) {
  const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return nullptr;
  FILE* file = fdopen(fd, "ae");
  if (!file) close(fd);
  return file;
}
