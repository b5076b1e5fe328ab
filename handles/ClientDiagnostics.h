// The client diagnostics the driver posts: SQLSTATE, native code and text
// of each, as data. Post one with VEL_POST(object, rc, kDiag...).
#ifndef VELORA_HANDLES_CLIENTDIAGNOSTICS_H
#define VELORA_HANDLES_CLIENTDIAGNOSTICS_H

#include <cstdint>

#include "handles/ErrorData.h"

struct ClientDiagnostic {
  const char* sqlstate;
  int32_t native;
  const char* text;
};

// Native codes: 1006..1072 client conditions found while checking
// arguments, options and conversions (1027 all data conversions); 3008
// exhausted memory and failed allocations; 3028 internal errors and
// unimplemented functions; 3047 connection and communication failures.
enum : int32_t {
  VEL_NATIVE_CONVERSION = 1027,
  VEL_NATIVE_MEMORY = 3008,
  VEL_NATIVE_INTERNAL = 3028,
  VEL_NATIVE_COMMUNICATION = 3047,
};

inline constexpr ClientDiagnostic kDiagDisconnectError{"01002", 3047, "disconnect error"};
inline constexpr ClientDiagnostic kDiagDataTruncated{"01004", 1041, "data truncated"};
inline constexpr ClientDiagnostic kDiagConversionNotSupported{"07006", 1027,
                                                              "requested conversion not supported"};
inline constexpr ClientDiagnostic kDiagConnectionFailure{"08001", 3047, "connection failure"};
inline constexpr ClientDiagnostic kDiagConnectionNotOpen{"08003", 1054, "connection not open"};
inline constexpr ClientDiagnostic kDiagCommunicationFailure{"08S01", 3047,
                                                            "communication failure"};
inline constexpr ClientDiagnostic kDiagBinaryLengthMismatch{
    "22003", 1063, "binary length doesn't match size of object on data source"};
inline constexpr ClientDiagnostic kDiagLossOfSignificance{"22003", 1045, "loss of significance"};
inline constexpr ClientDiagnostic kDiagInvalidConversionRequested{"22005", 1027,
                                                                  "invalid conversion requested"};
inline constexpr ClientDiagnostic kDiagNoResultSet{"24000", 1006, "result set does not exist"};
inline constexpr ClientDiagnostic kDiagMissingDataSourceName{"IM007", 3047,
                                                             "missing data source name"};
inline constexpr ClientDiagnostic kDiagNullPccol{"S1000", 1072, "NULL pointer in argument pccol"};
inline constexpr ClientDiagnostic kDiagNullPcrow{"S1000", 1072, "NULL pointer in argument pcrow"};
inline constexpr ClientDiagnostic kDiagHdbcAllocation{"S1000", 3008, "HDBC: Allocation failed"};
inline constexpr ClientDiagnostic kDiagHstmtAllocation{"S1000", 3008, "HSTMT: Allocation failed"};
inline constexpr ClientDiagnostic kDiagInternalError{"S1000", 3028, "internal error"};
inline constexpr ClientDiagnostic kDiagMemory{"S1001", 3008, "memory allocation failure"};
inline constexpr ClientDiagnostic kDiagColumnOutOfRange{"S1002", 1044,
                                                        "column number out of range"};
inline constexpr ClientDiagnostic kDiagProgramTypeOutOfRange{"S1003", 1027,
                                                             "program type out of range"};
inline constexpr ClientDiagnostic kDiagInvalidArgument{
    "S1009", 1072, "function called with invalid argument value"};
inline constexpr ClientDiagnostic kDiagSequenceError{"S1010", 1064, "function sequence error"};
inline constexpr ClientDiagnostic kDiagPutDataWrongContext{"S1010", 1064,
                                                           "SQLPutData called in wrong context"};
inline constexpr ClientDiagnostic kDiagInvalidParameterNumber{
    "S1093", 1070, "invalid parameter number for SQLDescribeParam"};
inline constexpr ClientDiagnostic kDiagPacketSize{"S1C00", 1056,
                                                  "can't change network packet size"};
inline constexpr ClientDiagnostic kDiagTranslationDll{"S1C00", 1057,
                                                      "translation DLL not supported"};
inline constexpr ClientDiagnostic kDiagKeysetCursors{"S1C00", 1059,
                                                     "keyset-driven cursors not supported"};
inline constexpr ClientDiagnostic kDiagSimulatedCursors{"S1C00", 1060,
                                                        "simulated cursors not used"};
inline constexpr ClientDiagnostic kDiagBookmarks{"S1C00", 1061, "bookmarks not supported yet"};
inline constexpr ClientDiagnostic kDiagExtendedFetch{"S1C00", 1062,
                                                     "extended fetch not supported yet"};
inline constexpr ClientDiagnostic kDiagProcedures{"S1C00", 1071,
                                                  "SQL procedures are not supported"};

// Posts diagnostic d on a handle object with the posting site's file and
// line; evaluates to rc. Conditions with several texts (the conversion
// conditions, "not implemented" of each function) use VEL_POST_ERROR with
// the native code and SQLSTATE of their row.
#define VEL_POST(object, rc, d) VEL_POST_ERROR(object, rc, (d).native, (d).sqlstate, (d).text)

#endif
