// Loads the built driver library with dlopen, as a driver manager does,
// drives its exported functions by name and unloads it with a connection
// still allocated.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(DriverLoadTest, DrivesExportsByNameAndUnloadClosesTheTraceFirst) {
  char ini[] = "/tmp/velodbc-dl-ini-XXXXXX", log[] = "/tmp/velodbc-dl-log-XXXXXX";
  close(mkstemp(ini));
  close(mkstemp(log));
  std::ofstream(ini) << "[Debug]\nLogFile=" << log << "\nLogMode=A2N2\n";
  setenv("VELODBC_INI", ini, 1);
  void* lib = dlopen(VEL_DRIVER_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, lib) << dlerror();
  auto allocEnv = reinterpret_cast<SQLRETURN (*)(SQLHENV*)>(dlsym(lib, "SQLAllocEnv"));
  auto allocConnect = reinterpret_cast<SQLRETURN (*)(SQLHENV, SQLHDBC*)>(dlsym(lib, "SQLAllocConnect"));
  auto loadByOrdinal = reinterpret_cast<void (*)()>(dlsym(lib, "LoadByOrdinal"));
  ASSERT_TRUE(allocEnv && allocConnect && loadByOrdinal);
  loadByOrdinal();
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, allocEnv(&henv));
  ASSERT_EQ(SQL_SUCCESS, allocConnect(henv, &hdbc));  // left for the unload to delete
  ASSERT_EQ(0, dlclose(lib));
  const std::string trace = (std::stringstream() << std::ifstream(log).rdbuf()).str();
  unsetenv("VELODBC_INI");
  unlink(ini);
  unlink(log);
  EXPECT_NE(std::string::npos, trace.find(" A2: SQLAllocEnv:\n"));
  EXPECT_NE(std::string::npos, trace.find(" N2: ClibConnection::ClibConnection\n"));
  // The objects deleted at unload write nothing after the closing line.
  size_t end = trace.find("\n\nEnde: ");
  ASSERT_NE(std::string::npos, end);
  EXPECT_EQ(trace.find('\n', end + 8) + 2, trace.size()) << trace;
}

}  // namespace
