// Export (Windows): ConfigDSNW, which Windows' installer library calls in
// a driver that has it. The driver's name and the attribute list (texts
// each ended by a 0, the list by an empty one) go to ConfigDSN as UTF-8;
// a text that is not UTF-16 fails the call as a failed allocation does.
#include <odbcinst.h>

#include "handles/Frame.h"
#include "odbc3/WideArgs.h"

VEL_EXPORT BOOL ConfigDSNW(HWND hwndParent, WORD fRequest, LPCWSTR lpszDriver,
                           LPCWSTR lpszAttributes) {
  long units = 0;  // the list's texts with their 0s, not its final 0
  while (lpszAttributes != nullptr && lpszAttributes[units] != 0) {
    while (lpszAttributes[units] != 0) ++units;
    ++units;
  }
  WideArg driver, attributes;
  if (driver.Set(lpszDriver, SQL_NTS) != WideResult::kOk ||
      attributes.Set(lpszAttributes, units) != WideResult::kOk) {
    return FALSE;
  }
  // The String's own 0 after the last text's 0 ends the list.
  return ConfigDSN(hwndParent, fRequest, reinterpret_cast<const char*>(driver.Text()),
                   reinterpret_cast<const char*>(attributes.Text()));
}
