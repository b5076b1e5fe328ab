// Message boxes on a system without a windowing system: standard error.
#include "platform/MessageBox.h"

#include <cstdio>

namespace {
MessageBoxSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

int VelMessageBox(void* /*owner*/, const char* text, const char* caption, unsigned flags) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "";
  if (g_sink != nullptr) {
    g_sink(g_context, caption, text, flags);
    return 1;
  }
  // One line: the text's line breaks become blanks so that a log stays
  // readable line by line.
  std::fprintf(stderr, "%s: ", caption);
  for (const char* p = text; *p != '\0'; ++p) std::fputc(*p == '\n' ? ' ' : *p, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
  return 1;
}

void SetMessageBoxSink(MessageBoxSink sink, void* context) {
  g_sink = sink;
  g_context = sink != nullptr ? context : nullptr;
}
