// Loads the built driver library with dlopen, as a driver manager does, and
// drives its exported functions by name.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

typedef SQLRETURN (*AllocEnvFn)(SQLHENV*);
typedef SQLRETURN (*AllocConnectFn)(SQLHENV, SQLHDBC*);
typedef SQLRETURN (*FreeConnectFn)(SQLHDBC);
typedef SQLRETURN (*FreeEnvFn)(SQLHENV);
typedef SQLRETURN (*ErrorFn)(SQLHENV, SQLHDBC, SQLHSTMT, SQLCHAR*, SQLINTEGER*, SQLCHAR*,
                             SQLSMALLINT, SQLSMALLINT*);
typedef BOOL (*DllMainFn)(void*, DWORD, void*);
typedef void (*LoadByOrdinalFn)(void);

std::string ReadFile(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "r");
  if (f == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

// A settings file naming a trace file, both removed at the end.
class DriverLoadTest : public ::testing::Test {
 protected:
  void Configure(const char* mode) {
    char ini[] = "/tmp/velodbc-dl-ini-XXXXXX";
    char log[] = "/tmp/velodbc-dl-log-XXXXXX";
    close(mkstemp(ini));
    close(mkstemp(log));
    ini_ = ini;
    log_ = log;
    FILE* f = std::fopen(ini, "w");
    std::fprintf(f, "[Debug]\nLogFile=%s\nLogMode=%s\n", log, mode);
    std::fclose(f);
    setenv("VELODBC_INI", ini, 1);
  }
  void TearDown() override {
    unsetenv("VELODBC_INI");
    if (!ini_.empty()) unlink(ini_.c_str());
    if (!log_.empty()) unlink(log_.c_str());
  }
  void* Load() {
    void* lib = dlopen(VEL_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(nullptr, lib) << dlerror();
    return lib;
  }
  std::string ini_;
  std::string log_;
};

TEST_F(DriverLoadTest, DrivesExportedFunctionsByName) {
  Configure("A2N2");
  void* lib = Load();
  ASSERT_NE(nullptr, lib);
  auto allocEnv = reinterpret_cast<AllocEnvFn>(dlsym(lib, "SQLAllocEnv"));
  auto allocConnect = reinterpret_cast<AllocConnectFn>(dlsym(lib, "SQLAllocConnect"));
  auto freeConnect = reinterpret_cast<FreeConnectFn>(dlsym(lib, "SQLFreeConnect"));
  auto freeEnv = reinterpret_cast<FreeEnvFn>(dlsym(lib, "SQLFreeEnv"));
  auto error = reinterpret_cast<ErrorFn>(dlsym(lib, "SQLError"));
  auto loadByOrdinal = reinterpret_cast<LoadByOrdinalFn>(dlsym(lib, "LoadByOrdinal"));
  ASSERT_TRUE(allocEnv && allocConnect && freeConnect && freeEnv && error && loadByOrdinal);
  EXPECT_EQ(nullptr, dlsym(lib, "SQLAllocHandle"));  // never an ODBC 3 driver
  loadByOrdinal();

  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, allocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, allocConnect(henv, &hdbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, freeConnect(henv));
  SQLCHAR state[6];
  SQLINTEGER native = -1;
  SQLCHAR text[64];
  SQLSMALLINT length = -1;
  EXPECT_EQ(SQL_NO_DATA_FOUND, error(nullptr, hdbc, nullptr, state, &native, text, sizeof text,
                                     &length));
  EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
  EXPECT_EQ(SQL_SUCCESS, freeConnect(hdbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, freeConnect(hdbc));
  // A second connection is left for the unload to delete.
  ASSERT_EQ(SQL_SUCCESS, allocConnect(henv, &hdbc));
  ASSERT_EQ(0, dlclose(lib));

  std::string trace = ReadFile(log_);
  EXPECT_NE(std::string::npos, trace.find("   Flags = [A2N2]\n\n"));
  EXPECT_NE(std::string::npos, trace.find(" A2: SQLAllocEnv:\n"));
  EXPECT_NE(std::string::npos, trace.find(" A2: Return code: -2 (unknown)\n\n"));
  EXPECT_NE(std::string::npos, trace.find(" N2: ClibConnection::ClibConnection\n"));
  // The trace is closed before the registry goes: the objects deleted at
  // unload write nothing after the closing line.
  size_t end = trace.find("\n\nEnde: ");
  ASSERT_NE(std::string::npos, end);
  size_t lineEnd = trace.find('\n', end + 8);
  ASSERT_NE(std::string::npos, lineEnd);
  EXPECT_EQ(trace.size(), lineEnd + 2);
}

TEST_F(DriverLoadTest, EmptyModeWritesOnlyTheClosingLine) {
  Configure("");
  void* lib = Load();
  ASSERT_NE(nullptr, lib);
  auto allocEnv = reinterpret_cast<AllocEnvFn>(dlsym(lib, "SQLAllocEnv"));
  SQLHENV henv = nullptr;
  ASSERT_EQ(SQL_SUCCESS, allocEnv(&henv));
  ASSERT_EQ(0, dlclose(lib));
  std::string trace = ReadFile(log_);
  EXPECT_EQ(0u, trace.find("\n\nEnde: ")) << trace;
}

TEST_F(DriverLoadTest, DllMainByNameOpensAndClosesTheTrace) {
  Configure("A2");
  void* lib = Load();
  ASSERT_NE(nullptr, lib);
  auto dllMain = reinterpret_cast<DllMainFn>(dlsym(lib, "DllMain"));
  ASSERT_NE(nullptr, dllMain);
  EXPECT_EQ(1, dllMain(nullptr, 0, nullptr));  // detach: closing line
  EXPECT_EQ(1, dllMain(nullptr, 3, nullptr));  // thread detach: nothing
  ASSERT_EQ(0, dlclose(lib));
  std::string trace = ReadFile(log_);
  // One header and one closing line: the unload found the trace closed.
  EXPECT_EQ(trace.find("\n\nEnde: "), trace.rfind("\n\nEnde: "));
  EXPECT_NE(std::string::npos, trace.find("Flags = [A2]"));
}

}  // namespace
