#include "base/Settings.h"

#include "base/Profile.h"
#include "base/Trace.h"

namespace {

const char kFile[] = "velodbc.ini";
DriverSettings g_settings;
bool g_read = false;

int ReadInt(const char* section, const char* key, int defaultValue) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, defaultValue, kFile));
}

}  // namespace

const DriverSettings& Settings() {
  if (!g_read) {
    g_read = true;
    GetPrivateProfileStringA("Debug", "LogFile", "", g_settings.logFile,
                             sizeof g_settings.logFile, kFile);
    GetPrivateProfileStringA("Debug", "LogMode", "", g_settings.logMode,
                             sizeof g_settings.logMode, kFile);
    // Any non-zero Debug value asks for the detail; a negative one too.
    const int debug = ReadInt("Debug", "Debug", 0);
    g_settings.debug = debug < 0 ? 1 : debug;
    g_settings.useKeepAlive = ReadInt("Config", "UseKeepAlive", 0);
    g_settings.ctl3d = ReadInt("Config", "Ctl3D", 1);
    ++g_settings.reading;
  }
  return g_settings;
}

void ForgetSettings() { g_read = false; }

// Here rather than beside the trace: a program that traces without reading
// velodbc.ini (velora-server) links the trace alone.
void OpenTrace() {
  const DriverSettings& settings = Settings();
  FILE* file = nullptr;
  // "e": not inherited by programs the application starts.
  if (settings.logFile[0] != '\0') file = std::fopen(settings.logFile, "ae");
  SetTraceMode(settings.logMode, file);
}
