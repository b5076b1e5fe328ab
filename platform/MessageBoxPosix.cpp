// Message boxes on a system without a windowing system: standard error.
#include <cstdio>

#include "platform/MessageBox.h"

int ShowMessageBox(void* /*owner*/, const char* text, const char* caption, unsigned /*flags*/) {
  // One line: the text's line breaks become blanks so that a log stays
  // readable line by line. The stream is held for the whole line, so
  // failures on several threads at once never mix their lines.
  flockfile(stderr);
  std::fprintf(stderr, "%s: ", caption);
  for (const char* p = text; *p != '\0'; ++p) std::fputc(*p == '\n' ? ' ' : *p, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  funlockfile(stderr);
  return 1;
}
