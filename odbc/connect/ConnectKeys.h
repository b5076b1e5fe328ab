// The connection keys: one row per key, read by the login (from the
// connection string, else the data source, else the default), by the
// completed connection string of SQLDriverConnect, by the data-source
// setup (ConfigDSN and its dialog) and by the README check
// (scripts/check-readme.sh reads the names, aliases and sources of the
// rows below). A key is added by adding a row, and its field to
// ConnectSettings when the driver reads it.
#ifndef VELORA_ODBC_CONNECT_CONNECTKEYS_H
#define VELORA_ODBC_CONNECT_CONNECTKEYS_H

#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "handles/ConnectSettings.h"
#include "platform/DialogTemplate.h"

constexpr int kSetupValueSize = 256;  // a data source's value: 255 characters and a NUL

// Where a key may come from, and how it is kept.
enum : uint8_t {
  kFromString = 0x01,      // a SQLDriverConnect connection string
  kFromDataSource = 0x02,  // the data source's ODBC.INI section, which the setup writes
  kFromBoth = kFromString | kFromDataSource,
  kEmptyIsGiven = 0x04,  // given empty it stays empty; otherwise the next source is read
  kYesNo = 0x08,         // the setup writes "Yes" or "No" (a check box)
  kSetupName = 0x10,     // names the data source in the setup (its section)
};

// What the completed connection string (SQLDriverConnect's output) says
// of a key, in the order of the rows.
enum class KeyOut : uint8_t {
  kNone,
  kLead,     // the data source, or the driver and the server's data source: written first
  kValue,    // its value
  kWithTls,  // its value, when not empty and the connection asked for encryption
  kGiven,    // its value, when the connection string gave the key
};

struct ConnectKey {
  const char* name;
  const char* alias;  // another name of the key, or null
  uint8_t from;
  const char* fallback;  // the value when no source gives one
  // Its field in ConnectSettings; size 0: the driver keeps no such field
  // (the key is read by other means, or only kept for the data source).
  uint16_t offset;
  uint16_t size;
  int setupControl;  // the setup dialog's control that shows it; 0: not shown
  KeyOut out;
};

#define VEL_SETTING(field) offsetof(ConnectSettings, field), sizeof(ConnectSettings::field)
#define VEL_NO_SETTING 0, 0

// In this order the setup writes a data source's keys and the completed
// connection string names them.
inline constexpr ConnectKey kConnectKeys[] = {
    // clang-format off
    {"DSN", nullptr, kFromString | kSetupName, "", VEL_NO_SETTING, kSetupNameField, KeyOut::kLead},
    {"DRIVER", nullptr, kFromString, "", VEL_NO_SETTING, 0, KeyOut::kLead},
    {"Description", "DESC", kFromDataSource, "", VEL_NO_SETTING, kSetupDescriptionField, KeyOut::kNone},
    {"Server", "Host", kFromBoth, "unknown", VEL_SETTING(servers), kSetupServerField, KeyOut::kValue},
    {"LoadBalance", nullptr, kFromBoth, "no", VEL_SETTING(loadBalance), 0, KeyOut::kNone},
    {"Service", "Port", kFromBoth, "unknown", VEL_SETTING(service), kSetupServiceField, KeyOut::kValue},
    {"User", "UID", kFromBoth | kEmptyIsGiven, "public", VEL_SETTING(user), kSetupUserField, KeyOut::kValue},
    {"Password", nullptr, kFromBoth | kEmptyIsGiven | kYesNo, "no", VEL_SETTING(passwordSwitch), kSetupPasswordBox, KeyOut::kValue},
    {"Debug", nullptr, kFromDataSource, "", VEL_NO_SETTING, 0, KeyOut::kNone},
    {"TLS", nullptr, kFromBoth, "off", VEL_SETTING(tls), 0, KeyOut::kWithTls},
    {"TLSCAFile", nullptr, kFromBoth, "", VEL_SETTING(tlsCaFile), 0, KeyOut::kWithTls},
    {"CursorMemory", nullptr, kFromBoth | kEmptyIsGiven, "256M", VEL_SETTING(cursorMemory), 0, KeyOut::kNone},
    {"ConnectRetryCount", nullptr, kFromBoth, "0", VEL_SETTING(connectRetryCount), 0, KeyOut::kGiven},
    {"ConnectRetryInterval", nullptr, kFromBoth, "1", VEL_SETTING(connectRetryInterval), 0, KeyOut::kGiven},
    {"Database", nullptr, kFromBoth, "", VEL_SETTING(database), 0, KeyOut::kLead},
    {"PWD", nullptr, kFromBoth | kEmptyIsGiven, "", VEL_SETTING(pwd), 0, KeyOut::kGiven},
    // clang-format on
};

constexpr int kConnectKeyCount = static_cast<int>(sizeof kConnectKeys / sizeof kConnectKeys[0]);

constexpr bool SameKeyName(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

// The row of the key named name (exactly as the table writes it), -1
// when none: code that treats a key apart finds its row so, at compile
// time.
constexpr int ConnectKeyRow(const char* name) {
  for (int i = 0; i < kConnectKeyCount; ++i)
    if (SameKeyName(kConnectKeys[i].name, name)) return i;
  return -1;
}

// The row whose name or alias is the length characters of text in any
// letter case; -1 when none.
inline int MatchConnectKey(const char* text, std::size_t length) {
  for (int i = 0; i < kConnectKeyCount; ++i) {
    for (const char* name : {kConnectKeys[i].name, kConnectKeys[i].alias}) {
      if (name && std::strlen(name) == length && strncasecmp(text, name, length) == 0) return i;
    }
  }
  return -1;
}

inline char* SettingOf(ConnectSettings* settings, const ConnectKey& key) {
  return reinterpret_cast<char*>(settings) + key.offset;
}

#endif
