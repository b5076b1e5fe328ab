// The values of a connection's keys as its connection string (or
// SQLConnect's arguments), its data source or the defaults gave them; the
// table odbc/connect/ConnectKeys.h names each field's key and reads it.
#ifndef VELORA_HANDLES_CONNECTSETTINGS_H
#define VELORA_HANDLES_CONNECTSETTINGS_H

struct ConnectSettings {
  // The servers as given ("host1:port1,host2,..."), and the service of
  // those without a port; once logged in, the one that answered.
  char servers[512];
  char service[32];
  char loadBalance[8];  // "yes" (any case, or on, true, 1): a random order
  char user[32];
  char passwordSwitch[10];  // "yes": prompt when no password is known
  char pwd[32];             // wiped when the login ends
  char database[256];       // the server's data source; empty: the DSN's name
  char tls[16];             // net/Tls.h has the modes
  char tlsCaFile[260];
  char cursorMemory[32];  // as written; Connection::cursorMemory has its bytes
  // Connection resiliency: how many times a lost idle session is made
  // again at its next call, and the seconds between the tries.
  char connectRetryCount[8];
  char connectRetryInterval[8];
};

#endif
