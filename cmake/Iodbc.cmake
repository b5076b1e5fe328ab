# The Unicode library for iODBC (libvelodbcw-iodbc.so): the sources of
# libvelodbcw.so compiled against iODBC's headers, whose SQLWCHAR is the
# 4-byte wchar_t (UTF-32), and linked with iODBC's installer library, so
# that data-source keys are read from iODBC's odbc.ini. Built only when
# iODBC's headers and installer library are found: scripts/deps.sh test
# unpacks the headers into build/iodbc without installing them (Debian's
# libiodbc2-dev conflicts with unixodbc-dev) and installs the runtime.
set(VEL_IODBC_ROOT "${CMAKE_SOURCE_DIR}/build/iodbc" CACHE PATH
    "where iODBC's headers are (VEL_IODBC_ROOT/usr/include/iodbc or VEL_IODBC_ROOT/include)")
find_path(IODBC_INCLUDE iodbcunix.h
  PATHS ${VEL_IODBC_ROOT}/usr/include/iodbc ${VEL_IODBC_ROOT}/include/iodbc ${VEL_IODBC_ROOT}/include
  NO_DEFAULT_PATH)
find_library(IODBCINST_LIB NAMES iodbcinst libiodbcinst.so.2 HINTS ${VEL_IODBC_ROOT}/lib)
find_library(IODBC_LIB NAMES iodbc libiodbc.so.2 HINTS ${VEL_IODBC_ROOT}/lib)
if(VEL_FUZZ)
  return()  # the fuzz targets take the layers, not a library
endif()
if(NOT IODBC_INCLUDE OR NOT IODBCINST_LIB)
  message(STATUS "iODBC headers or libiodbcinst not found: libvelodbcw-iodbc.so is not built")
  return()
endif()

set(vel_iodbc_sources)
foreach(layer ${VEL_LAYERS} velodbc3)
  get_target_property(sources ${layer} SOURCES)
  get_target_property(dir ${layer} SOURCE_DIR)
  foreach(source ${sources})
    # odbc/info/ApiInfo.cpp answers for the 2.0 library only.
    if(NOT source MATCHES "ApiInfo\\.cpp$")
      cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY ${dir})
      list(APPEND vel_iodbc_sources ${source})
    endif()
  endforeach()
endforeach()
add_library(velodbcw-iodbc SHARED ${vel_iodbc_sources})
# iODBC's headers come before the system's (unixODBC's) ones.
target_include_directories(velodbcw-iodbc BEFORE PRIVATE ${IODBC_INCLUDE})
target_include_directories(velodbcw-iodbc PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(velodbcw-iodbc PRIVATE SQL_NOUNICODEMAP)
target_compile_options(velodbcw-iodbc PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden
                       -include ${CMAKE_SOURCE_DIR}/cmake/IodbcTypes.h)
find_package(Threads REQUIRED)
target_link_libraries(velodbcw-iodbc PRIVATE ${IODBCINST_LIB} ${VEL_TLS_LIBS} Threads::Threads
                      ${CMAKE_DL_LIBS})
if(APPLE)
  # Apple's linker: odbc3/exports.map's patterns; undefined symbols fail
  # the link by default.
  target_link_options(velodbcw-iodbc PRIVATE "LINKER:-exported_symbol,_SQL*"
                      "LINKER:-exported_symbol,_ConfigDSN")
else()
  target_link_options(velodbcw-iodbc PRIVATE
    -Wl,-Bsymbolic-functions
    -Wl,--version-script=${CMAKE_SOURCE_DIR}/odbc3/exports.map)
  if(NOT VEL_FUZZ)
    target_link_options(velodbcw-iodbc PRIVATE -Wl,--no-undefined)
  endif()
endif()
set_target_properties(velodbcw-iodbc PROPERTIES LINK_DEPENDS ${CMAKE_SOURCE_DIR}/odbc3/exports.map)
