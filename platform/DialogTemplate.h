// Dialog templates as data: what a dialog resource holds (caption, size,
// font, and per control its id, kind, style, text and place in dialog
// units), looked up by resource id.
#ifndef VELORA_PLATFORM_DIALOGTEMPLATE_H
#define VELORA_PLATFORM_DIALOGTEMPLATE_H

#include <cstdint>

enum DialogItemKind : uint8_t {
  kDialogStatic,
  kDialogGroupBox,
  kDialogEdit,
  kDialogCheckBox,
  kDialogPushButton,
  kDialogDefaultButton,
};

enum DialogItemStyle : unsigned {
  kStyleNone = 0,
  kStyleReadOnly = 1,    // edit the user cannot change
  kStylePassword = 2,    // edit whose text is masked
  kStyleAutoScroll = 4,  // edit that scrolls horizontally
  kStyleDisabled = 8,    // starts disabled
};

// Id of controls that are never addressed (labels, group captions).
constexpr int kStaticId = -1;

struct DialogItemTemplate {
  int id;
  DialogItemKind kind;
  unsigned style;
  const char* text;
  short x, y, width, height;
};

struct DialogTemplate {
  int id;
  const char* caption;
  short width, height;
  const char* font;
  short pointSize;
  const DialogItemTemplate* items;
  int itemCount;
};

// The template with resource id, or null.
const DialogTemplate* FindDialogTemplate(int id);

// Resource ids of the dialogs the library carries.
constexpr int kSetupDialogId = 1001;
constexpr int kPasswordDialogId = 1004;
// Controls of the setup dialog (odbc/connect/ConnectKeys.h names the
// key each edit shows).
constexpr int kSetupNameField = 400;
constexpr int kSetupNameLabel = 401;
constexpr int kSetupDescriptionField = 402;
constexpr int kSetupServerField = 403;
constexpr int kSetupServiceField = 404;
constexpr int kSetupUserField = 405;
constexpr int kSetupPasswordBox = 406;
// Controls of the password dialog.
constexpr int kPasswordUserField = 1005;
constexpr int kPasswordField = 1006;

#endif
