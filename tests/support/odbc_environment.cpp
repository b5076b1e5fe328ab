// The private unixODBC folder for integration tests.
#include "support/odbc_environment.h"

#include <cstdlib>
#include <fstream>

std::string DataSourceSection(const std::string& name, const std::string& server,
                              const std::string& service, const std::string& user,
                              const std::string& passwordSwitch) {
  return "[" + name + "]\nDriver = Velora\nDescription = test data source\nServer = " + server +
         "\nService = " + service + "\nUser = " + user + "\nPassword = " + passwordSwitch + "\n\n";
}

std::string PrivateOdbcFolder() { return VEL_ODBC_DIR; }

void UsePrivateOdbc(const std::string& program, const std::string& dataSources) {
  const std::string folder = PrivateOdbcFolder();
  const std::string userIni = folder + "/" + program + ".odbc.ini";
  std::ofstream(userIni) << dataSources;
  setenv("ODBCSYSINI", folder.c_str(), 1);
  setenv("ODBCINI", userIni.c_str(), 1);
  setenv("HOME", (folder + "/home").c_str(), 1);
}
