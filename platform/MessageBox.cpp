// Message boxes: the test sink, else the system's display of a box.
#include "platform/MessageBox.h"

namespace {
MessageBoxSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

int VelMessageBox(void* owner, const char* text, const char* caption, unsigned flags) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "";
  if (g_sink != nullptr) {
    g_sink(g_context, caption, text, flags);
    return 1;
  }
  return ShowMessageBox(owner, text, caption, flags);
}

void SetMessageBoxSink(MessageBoxSink sink, void* context) {
  g_sink = sink;
  g_context = sink != nullptr ? context : nullptr;
}
