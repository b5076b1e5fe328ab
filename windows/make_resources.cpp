// Writes the DLL's resource script (windres) from the tables the driver
// keeps as data: the dialogs of platform/DialogResources.cpp and the socket
// error texts of net/SocketErrors.cpp as the string table. Built for and
// run on the build machine.
//   make_resources OUTPUT.rc
#include <cstdio>
#include <string>

#include "net/SocketErrors.h"
#include "platform/DialogTemplate.h"

namespace {

std::string Quoted(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p; ++p) out += *p == '"' ? std::string("\"\"") : std::string(1, *p);
  return out + "\"";
}

std::string EditStyle(unsigned style) {
  std::string out = "WS_TABSTOP";
  if (style & kStyleAutoScroll) out += " | ES_AUTOHSCROLL";
  if (style & kStyleReadOnly) out += " | ES_READONLY";
  if (style & kStylePassword) out += " | ES_PASSWORD";
  return out;
}

void WriteItem(FILE* out, const DialogItemTemplate& item) {
  static const char* const kStatements[] = {"LTEXT",        "GROUPBOX",   "EDITTEXT",
                                            "AUTOCHECKBOX", "PUSHBUTTON", "DEFPUSHBUTTON"};
  std::fprintf(out, "  %s ", kStatements[item.kind]);
  if (item.kind != kDialogEdit) std::fprintf(out, "%s, ", Quoted(item.text).c_str());
  std::fprintf(out, "%d, %d, %d, %d, %d", item.id, item.x, item.y, item.width, item.height);
  std::string style = item.kind == kDialogEdit ? EditStyle(item.style) : "";
  if (item.style & kStyleDisabled) style += style.empty() ? "WS_DISABLED" : " | WS_DISABLED";
  if (!style.empty()) std::fprintf(out, ", %s", style.c_str());
  std::fprintf(out, "\n");
}

void WriteDialog(FILE* out, const DialogTemplate& dialog) {
  std::fprintf(out, "%d DIALOG 0, 0, %d, %d\n", dialog.id, dialog.width, dialog.height);
  std::fprintf(out, "STYLE DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU\n");
  std::fprintf(out, "CAPTION %s\nFONT %d, %s\nBEGIN\n", Quoted(dialog.caption).c_str(),
               dialog.pointSize, Quoted(dialog.font).c_str());
  for (int i = 0; i < dialog.itemCount; ++i) WriteItem(out, dialog.items[i]);
  std::fprintf(out, "END\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_resources OUTPUT.rc\n");
    return 2;
  }
  FILE* out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(
      out,
      "// Made by make_resources from the driver's tables; do not edit.\n#include <windows.h>\n\n");
  for (int id : {kSetupDialogId, kPasswordDialogId}) WriteDialog(out, *FindDialogTemplate(id));
  std::fprintf(out, "STRINGTABLE\nBEGIN\n");
  for (int number = kWsaNoError; number <= kWsaNoData; ++number) {
    if (const char* text = SocketErrorText(number))
      std::fprintf(out, "  %d, %s\n", number, Quoted(text).c_str());
  }
  std::fprintf(out, "END\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
