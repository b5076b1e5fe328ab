// The driver's own settings: velodbc.ini (the file named by VELODBC_INI,
// else /etc/velodbc.ini), read once per process into one structure that
// the trace, the diagnostics, the socket layer and the dialogs consult.
#ifndef VELORA_BASE_SETTINGS_H
#define VELORA_BASE_SETTINGS_H

struct DriverSettings {
  char logFile[256];  // [Debug] LogFile: trace file, appended to; empty: none
  char logMode[256];  // [Debug] LogMode: category letters with levels
  int debug;          // [Debug] Debug: SQLError appends source file and line
  int useKeepAlive;   // [Config] UseKeepAlive: SO_KEEPALIVE on connections
  int ctl3d;          // [Config] Ctl3D: three-dimensional dialog controls
  int blockFetch;     // [Config] BlockFetch: rows in blocks where the server offers them
  int replyPolling;   // [Config] ReplyPolling: most microseconds a reply is polled for (0: never)
  unsigned reading;   // 1 for the first reading of the file, 2 for the next...
};

// The settings, read from the file on the first call.
const DriverSettings& Settings();
// Test seam: the next call to Settings() reads the file again.
void ForgetSettings();

#endif
