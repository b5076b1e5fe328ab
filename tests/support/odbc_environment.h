// Points unixODBC at the build tree's private folder for one test program:
// the driver's odbcinst.ini written by the build (ODBCSYSINI), a user
// odbc.ini with this program's data sources (ODBCINI), and HOME inside the
// folder so that no ~/.odbcinst.ini is merged. Nothing under /etc is used.
#ifndef VELORA_TESTS_SUPPORT_ODBC_ENVIRONMENT_H
#define VELORA_TESTS_SUPPORT_ODBC_ENVIRONMENT_H

#include <string>

// One data source section for odbc.ini.
std::string DataSourceSection(const std::string& name, const std::string& server,
                              const std::string& service, const std::string& user = "public",
                              const std::string& passwordSwitch = "no");

// Writes dataSources (sections made by DataSourceSection) as the user
// odbc.ini named after program and sets ODBCSYSINI, ODBCINI and HOME.
// unixODBC caches what it reads for a while and keeps the system folder
// from its first call, so call this once, before any ODBC call.
void UsePrivateOdbc(const std::string& program, const std::string& dataSources);

// The folder the build writes (VEL_ODBC_DIR).
std::string PrivateOdbcFolder();

#endif
