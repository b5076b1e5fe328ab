// ConfigDSN: adding, configuring and removing a data source through the
// installer library, which also decides between the user's and the
// system's ODBC.INI (its config mode, set by SQLConfigDataSource).
#include <odbcinst.h>
#include <strings.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/Alloc.h"
#include "base/Module.h"
#include "base/Trace.h"
#include "handles/Frame.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/setup/Setup.h"
#include "platform/DialogSupport.h"
#include "platform/DialogTemplate.h"
#include "platform/MessageBox.h"

namespace {

// String resources 500 and 501: the box shown when the section cannot be
// written.
const char kWriteFailedCaption[] = "Velora ODBC Driver Setup";
const char kWriteFailedText[] =
    "Cannot write data source \"%s\": a name has 1 to 32 characters, none of []{}(),;?*=!@\\.";

constexpr int kKeptKeys = 32;
constexpr int kKeptNameSize = 64;

struct KeptKey {
  char name[kKeptNameSize];
  char value[kSetupValueSize];
};

// The row of key among those the setup keeps; -1 when none.
int SlotOf(const char* key, std::size_t length) {
  const int row = MatchConnectKey(key, length);
  return row >= 0 && (kConnectKeys[row].from & (kFromDataSource | kSetupName)) ? row : -1;
}

// The keys of section but Driver, read before the section is rewritten
// (the installer empties a section it writes). Returns their count.
int ReadKeptKeys(const char* section, KeptKey* kept) {
  char names[kKeptKeys * kKeptNameSize];
  std::memset(names, 0, sizeof names);
  if (SQLGetPrivateProfileString(section, nullptr, "", names, sizeof names, "ODBC.INI") <= 0)
    return 0;
  int count = 0;
  for (const char* p = names; *p && count < kKeptKeys; p += std::strlen(p) + 1) {
    if (strcasecmp(p, "Driver") == 0 || std::strlen(p) >= kKeptNameSize) continue;
    std::strcpy(kept[count].name, p);
    SQLGetPrivateProfileString(section, p, "", kept[count].value, kSetupValueSize, "ODBC.INI");
    ++count;
  }
  return count;
}

BOOL FailWrite(HWND window, const char* dsn) {
  char text[sizeof kWriteFailedText + kSetupValueSize];
  std::snprintf(text, sizeof text, kWriteFailedText, dsn);
  SQLPostInstallerError(ODBC_ERROR_REQUEST_FAILED, text);
  if (window) VelMessageBox(window, text, kWriteFailedCaption, kMbOk | kMbIconExclamation);
  return FALSE;
}

// A request that needs a name and got none: FALSE, with the reason for the
// caller's SQLInstallerError.
BOOL FailWithoutName() {
  char text[] = "no data source name (DSN=) given";  // iODBC's declaration takes char*
  SQLPostInstallerError(ODBC_ERROR_INVALID_DSN, text);
  return FALSE;
}

BOOL Configure(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver, SetupAttributes* a) {
  const SetupAttribute& dsn = a->attr[kSetupDsn];
  if (fRequest == ODBC_REMOVE_DSN)
    return dsn.supplied ? SQLRemoveDSNFromIni(dsn.value) : FailWithoutName();
  a->parent = hwndParent;
  a->driver = lpszDriver ? lpszDriver : "";
  a->fNewDSN = fRequest == ODBC_ADD_DSN;
  a->fDefault = strcasecmp(dsn.value, "Default") == 0;
  if (hwndParent) {
    HINSTANCE instance = ModuleInstance();
    LoadCtl3D(instance);
    INT_PTR result =
        DialogBoxParamA(instance, reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(kSetupDialogId)),
                        hwndParent, SetupDialogProc, reinterpret_cast<LPARAM>(a));
    UnloadCtl3D(instance);
    // Without a terminal (or a host) the request is carried out silently.
    if (result != -1) return result == IDOK;
  }
  return dsn.supplied ? SetDSNAttributes(nullptr, a) : FailWithoutName();
}

}  // namespace

void ParseAttributes(const char* text, SetupAttributes* attributes) {
  for (const char* p = text; *p; p += std::strlen(p) + 1) {
    if (!std::strchr(p, '=')) return;
    const uint32_t length = static_cast<uint32_t>(std::strlen(p));
    ConnectPair pair;
    for (uint32_t at = 0; NextConnectPair(p, length, &at, &pair);) {
      const int slot = SlotOf(pair.key, pair.keyLength);
      if (slot < 0 || attributes->attr[slot].supplied) continue;  // the first one wins
      CopyPairValue(pair, attributes->attr[slot].value, kSetupValueSize);
      attributes->attr[slot].supplied = true;
    }
  }
}

BOOL SetDSNAttributes(HWND window, SetupAttributes* a) {
  const char* dsn = a->attr[kSetupDsn].value;
  if (a->fNewDSN && dsn[0] == '\0') return FailWithoutName();
  KeptKey kept[kKeptKeys];
  const int keptCount =
      a->fNewDSN ? 0 : ReadKeptKeys(a->previousDsn[0] ? a->previousDsn : dsn, kept);
  if (!SQLWriteDSNToIni(dsn, a->driver)) return FailWrite(window, dsn);
  for (int i = 0; i < keptCount; ++i)
    SQLWritePrivateProfileString(dsn, kept[i].name, kept[i].value, "ODBC.INI");
  for (int row = 0; row < kConnectKeyCount; ++row) {
    const ConnectKey& key = kConnectKeys[row];
    const SetupAttribute& attr = a->attr[row];
    if (!(key.from & kFromDataSource)) continue;
    // The keys the dialog does not show keep the values they have.
    if (!attr.supplied && (!window || key.setupControl == 0)) continue;
    const char* value = attr.value;
    if (key.from & kYesNo) value = strcasecmp(value, "Yes") == 0 ? "Yes" : "No";
    SQLWritePrivateProfileString(dsn, key.name, value, "ODBC.INI");
  }
  // A name edited in the dialog renames the data source.
  if (a->attr[kSetupDsn].supplied && strcasecmp(a->previousDsn, dsn) != 0)
    SQLRemoveDSNFromIni(a->previousDsn);
  return TRUE;
}

VEL_EXPORT BOOL ConfigDSN(HWND hwndParent, WORD fRequest, LPCSTR lpszDriver,
                          LPCSTR lpszAttributes) {
  Trace('A', 2, "ConfigDSN: hwndParent=0x%08lx fRequest=%d lpszDriver=[%s]",
        static_cast<unsigned long>(reinterpret_cast<uintptr_t>(hwndParent)), fRequest,
        lpszDriver ? lpszDriver : "<null>");
  SetupAttributes* a = static_cast<SetupAttributes*>(VelAlloc(sizeof(SetupAttributes)));
  if (!a) return FALSE;
  std::memset(a, 0, sizeof *a);
  if (lpszAttributes) ParseAttributes(lpszAttributes, a);
  if (a->attr[kSetupDsn].supplied) std::strcpy(a->previousDsn, a->attr[kSetupDsn].value);
  const BOOL result = Configure(hwndParent, fRequest, lpszDriver, a);
  VelFree(a);
  return result;
}
