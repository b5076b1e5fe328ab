// Data-source setup: ConfigDSN's attribute block, the attribute-list parser,
// the writer of a data source's keys and the setup dialog (dialog 1001).
#ifndef VELORA_ODBC_SETUP_SETUP_H
#define VELORA_ODBC_SETUP_SETUP_H

#include "platform/Dialog.h"

// The attributes ConfigDSN knows, in the order of kSetupKeys' ODBC.INI names.
enum SetupKey {
  kSetupDsn,
  kSetupDescription,
  kSetupServer,
  kSetupService,
  kSetupUser,
  kSetupPassword,
  kSetupDebug,
  kSetupTls,
  kSetupTlsCaFile,
  kSetupDatabase,
  kSetupPwd,
  kSetupKeyCount
};
constexpr int kSetupValueSize = 256;  // 255 characters and a NUL
extern const char* const kSetupKeys[kSetupKeyCount];

struct SetupAttribute {
  bool supplied;  // the attribute list named the key
  char value[kSetupValueSize];
};

// One per ConfigDSN call, zero-filled.
struct SetupAttributes {
  HWND parent;
  const char* driver;
  SetupAttribute attr[kSetupKeyCount];
  char previousDsn[kSetupValueSize];  // the DSN as the list gave it, else empty
  bool fNewDSN;
  bool fDefault;  // the data source "Default" (any letter case)
};

// Controls of the setup dialog.
enum : int {
  kSetupNameField = 400,
  kSetupNameLabel = 401,
  kSetupDescriptionField = 402,
  kSetupServerField = 403,
  kSetupServiceField = 404,
  kSetupUserField = 405,
  kSetupPasswordBox = 406
};

// Fills the slots from "key=value" strings, each ended by a NUL, the list
// ended by an empty string; each string is read by the connection-string
// grammar. Keys are matched in any letter case ("DESC" is "Description",
// "UID" is "User", "Port" is "Service"); a string without "=" ends the
// list, values are cut at 255 characters and the first occurrence of a
// key wins.
void ParseAttributes(const char* text, SetupAttributes* attributes);
// Writes the data source: its section with the driver, then the keys (all
// but Debug, the TLS keys, Database and PWD when a window is given, else those the list supplied).
// A configured data source keeps the keys it is not given; a name changed in the dialog removes the
// old section. A failed section write is shown in a message box on window (when given) and answers
// FALSE.
BOOL SetDSNAttributes(HWND window, SetupAttributes* attributes);
// Centres window over its parent, kept inside the screen; a window whose
// parent is not a dialog is centred on the screen.
void CenterOverParent(HWND window);
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
