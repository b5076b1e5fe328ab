// Data-source setup: ConfigDSN's attribute block, the attribute-list parser,
// the writer of a data source's keys and the setup dialog (dialog 1001).
#ifndef VELORA_ODBC_SETUP_SETUP_H
#define VELORA_ODBC_SETUP_SETUP_H

#include "handles/Frame.h"
#include "odbc/connect/ConnectKeys.h"
#include "platform/Dialog.h"

// The attributes ConfigDSN knows are the rows of kConnectKeys the data
// source keeps (and DSN, its name); attr[row] holds each.
constexpr int kSetupDsn = ConnectKeyRow("DSN");
static_assert(kSetupDsn >= 0 && (kConnectKeys[kSetupDsn].from & kSetupName) != 0,
              "the setup names the data source by DSN");

struct SetupAttribute {
  bool supplied;  // the attribute list named the key
  char value[kSetupValueSize];
};

// One per ConfigDSN call, zero-filled.
struct SetupAttributes {
  HWND parent;
  const char* driver;
  SetupAttribute attr[kConnectKeyCount];
  char previousDsn[kSetupValueSize];  // the DSN as the list gave it, else empty
  bool fNewDSN;
  bool fDefault;  // the data source "Default" (any letter case)
};

// Fills the slots from "key=value" strings, each ended by a NUL, the list
// ended by an empty string; each string is read by the connection-string
// grammar. Keys and their aliases are matched in any letter case
// ("DESC" is "Description", "UID" is "User"); a string without "=" ends the
// list, values are cut at 255 characters and the first occurrence of a
// key wins.
void ParseAttributes(const char* text, SetupAttributes* attributes);
// Writes the data source: its section with the driver, then the keys (those
// the dialog shows when a window is given, and those the list supplied).
// A configured data source keeps the keys it is not given; a name changed in the dialog removes the
// old section. A failed section write is shown in a message box on window (when given) and answers
// FALSE.
BOOL SetDSNAttributes(HWND window, SetupAttributes* attributes);
// Centres window over its parent, kept inside the screen; a window whose
// parent is not a dialog is centred on the screen.
void CenterOverParent(HWND window);
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The setup dialog's procedure under the name the library exports.
VEL_EXPORT INT_PTR CALLBACK ConfigDlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

#endif
