#include "base/Settings.h"

#include <atomic>

#include "base/Lock.h"
#include "base/Profile.h"
#include "base/Trace.h"

namespace {

const char kFile[] = "velodbc.ini";
// Written once, by the first caller, under the lock; read freely after
// g_read says so.
DriverSettings g_settings;
std::atomic<bool> g_read{false};
struct SettingsLockTag;

// Every key of the file: a text key fills its array, a number key its int
// (its default when absent).
struct Key {
  const char* section;
  const char* name;
  char (DriverSettings::*text)[256];
  int DriverSettings::*number;
  int defaultValue;
};

const Key kKeys[] = {
    {"Debug", "LogFile", &DriverSettings::logFile, nullptr, 0},
    {"Debug", "LogMode", &DriverSettings::logMode, nullptr, 0},
    {"Debug", "Debug", nullptr, &DriverSettings::debug, 0},
    {"Config", "UseKeepAlive", nullptr, &DriverSettings::useKeepAlive, 0},
    {"Config", "Ctl3D", nullptr, &DriverSettings::ctl3d, 1},
    {"Config", "BlockFetch", nullptr, &DriverSettings::blockFetch, 1},
    // Long enough for a short statement's reply from a server nearby,
    // short enough that a client waiting on slower ones burns little.
    {"Config", "ReplyPolling", nullptr, &DriverSettings::replyPolling, 100},
};

}  // namespace

const DriverSettings& Settings() {
  if (g_read.load(std::memory_order_acquire)) return g_settings;
  LockGuard guard(ProcessLock<SettingsLockTag>());
  if (!g_read.load(std::memory_order_relaxed)) {
    for (const Key& key : kKeys) {
      if (key.text != nullptr) {
        GetPrivateProfileStringA(key.section, key.name, "", g_settings.*key.text,
                                 sizeof(g_settings.*key.text), kFile);
      } else {
        g_settings.*key.number =
            static_cast<int>(GetPrivateProfileIntA(key.section, key.name, key.defaultValue, kFile));
      }
    }
    // Any non-zero Debug value asks for the detail; a negative one too.
    if (g_settings.debug < 0) g_settings.debug = 1;
    ++g_settings.reading;
    g_read.store(true, std::memory_order_release);
  }
  return g_settings;
}

void ForgetSettings() { g_read.store(false, std::memory_order_release); }

// Here rather than beside the trace: a program that traces without reading
// velodbc.ini (velora-server) links the trace alone.
void OpenTrace() {
  const DriverSettings& settings = Settings();
  FILE* file = nullptr;
  if (settings.logFile[0] != '\0') file = OpenTraceFile(settings.logFile);
  SetTraceMode(settings.logMode, file);
}
