// Every diagnostic the driver itself posts, one row each: SQLSTATE, native
// code and text. Post one with VEL_POST(object, rc, kDiag...); a row whose
// text is a printf format is posted with VEL_POST_TEXT and the formatted text.
//
// Native codes: 1006..1072 client conditions found while checking
// arguments, options and conversions (1027 all data conversions); 3008
// exhausted memory and failed allocations; 3028 internal errors and
// unimplemented functions; 3047 connection and communication failures.
#ifndef VELORA_HANDLES_CLIENTDIAGNOSTICS_H
#define VELORA_HANDLES_CLIENTDIAGNOSTICS_H

#include <cstdint>

#include "handles/ErrorData.h"

struct ClientDiagnostic {
  const char* sqlstate;
  int32_t native;
  const char* text;
};

// Texts are what applications and their tests see; keep them byte for byte
// (including "failiure" of the cursor-name row and the misspellings of
// the table-type and column-name rows).
// clang-format off
inline constexpr ClientDiagnostic
  kDiagDisconnectError                  {"01002", 3047, "disconnect error"},
  kDiagDataTruncated                    {"01004", 1041, "data truncated"},
  kDiagFractionalTruncation             {"01S07", 1027, "fractional truncation"},
  kDiagFractionalDigitsLost             {"01004", 1027, "fractional digits lost"},
  kDiagFractionalValue                  {"01004", 1027, "value out of range"},
  kDiagBitFraction                      {"01004", 1027, "fractional value for BIT column"},
  kDiagTimeLost                         {"01004", 1027, "time information lost"},
  kDiagFractionLost                     {"01004", 1027, "fraction information lost"},
  kDiagDateText                         {"01004", 1027, "could not convert character to date"},
  kDiagTimeText                         {"01004", 1027, "could not convert character to time"},
  kDiagInvalidWideText                  {"22005", 1027, "invalid character value: the text is not UTF-16"},
  kDiagConversionNotSupported           {"07006", 1027, "requested conversion not supported"},
  kDiagTlsFallback                      {"01000", 3047, "no encryption (%s): connected without TLS"},
  kDiagCursorTypeChanged                {"01S02", 1072, "option value changed: keyset-driven and dynamic cursors are static"},
  kDiagSynchronousOnly                  {"01S02", 1072, "option value changed: calls run synchronously"},
  kDiagKeysetSizeChanged                {"01S02", 1072, "option value changed: the keyset is the whole result set"},
  kDiagFetchBeforeStart                 {"01S06", 1072, "attempt to fetch before the result set returned the first rowset"},
  kDiagNotAQuery                        {"07005", 1006, "prepared statement is not a query"},
  kDiagConnectionFailure                {"08001", 3047, "connection failure"},
  kDiagNoServerAnswered                 {"08001", 3047, "no server answered: %s"},
  kDiagTlsFailure                       {"08001", 3047, "TLS handshake failed: %s"},
  kDiagTlsMode                          {"08001", 3047, "invalid TLS mode \"%s\": use off, prefer, require or verify-full"},
  kDiagConnectionInUse                  {"08002", 1054, "connection in use"},
  kDiagConnectionNotOpen                {"08003", 1054, "connection not open"},
  kDiagCommunicationFailure             {"08S01", 3047, "communication failure"},
  kDiagInvalidReply                     {"08S01", 3047, "the server's reply was invalid"},
  kDiagProtocolFailure                  {"08S01", 3047, "Unable to connect.\nProtocol failure #%d detected."},
  kDiagLossOfSignificance               {"22003", 1045, "loss of significance"},
  kDiagDataOutOfRange                   {"22003", 1027, "data out of range"},
  kDiagWholeDigitsLost                  {"22003", 1027, "whole digits lost"},
  kDiagValueOutOfRange                  {"22003", 1027, "value out of range"},
  kDiagBitOutOfRange                    {"22003", 1027, "out of range for BIT column"},
  kDiagUlongTooLarge                    {"22003", 1027, "machine too stupid to convert this to character"},
  kDiagBinaryLength                     {"22003", 1063, "binary length doesn't match size of object on data source"},
  kDiagIndicatorRequired                {"22002", 1072, "indicator variable required but not supplied"},
  kDiagNonNumeric                       {"22005", 1027, "character data is non-numeric"},
  kDiagNotNumeric                       {"22005", 1027, "could not convert character to numeric"},
  kDiagInvalidConversionRequested       {"22005", 1027, "invalid conversion requested"},
  kDiagIntervalText                     {"22005", 1027, "invalid character value: not an interval of the type"},
  kDiagIntervalOverflow                 {"22015", 1027, "interval field overflow"},
  kDiagNoResultSet                      {"24000", 1006, "result set does not exist"},
  kDiagNoCurrentRow                     {"24000", 1006, "invalid cursor state: the cursor is not on a row"},
  kDiagCursorStillOpen                  {"24000", 1006, "invalid cursor state: the result set has rows not yet fetched"},
  kDiagReadOnlyDescriptor               {"HY016", 1072, "cannot modify an implementation row descriptor"},
  kDiagInconsistentDescriptor           {"HY021", 1072, "inconsistent descriptor information"},
  kDiagPiecesOfFixedData                {"HY019", 1072, "non-character and non-binary data sent in pieces"},
  kDiagNullConcatenation                {"HY020", 1072, "attempt to concatenate a null value"},
  kDiagSqlTypeOutOfRange                {"S1004", 1072, "SQL data type out of range"},
  kDiagParameterType                    {"S1105", 1072, "invalid parameter type"},
  kDiagScaleValue                       {"S1094", 1072, "invalid scale value"},
  kDiagParameterNumber                  {"S1093", 1070, "invalid parameter number"},
  kDiagImplicitDescriptor               {"HY017", 1072, "invalid use of an automatically allocated descriptor handle"},
  kDiagMissingDataSourceName            {"IM007", 3047, "missing data source name"},
  kDiagNullPccol                        {"S1000", 1072, "NULL pointer in argument pccol"},
  kDiagNullPcrow                        {"S1000", 1072, "NULL pointer in argument pcrow"},
  kDiagHdbcAllocation                   {"S1000", 3008, "HDBC: Allocation failed"},
  kDiagHstmtAllocation                  {"S1000", 3008, "HSTMT: Allocation failed"},
  kDiagInternalError                    {"S1000", 3028, "internal error"},
  kDiagUnknownInfoType                  {"S1096", 1072, "information type out of range"},
  kDiagMemory                           {"S1001", 3008, "memory allocation failure"},
  kDiagOutcomesUnknown                  {"S1001", 3008, "memory allocation failure after the sets were sent: their outcomes are unknown"},
  kDiagCursorNameMemory                 {"S1001", 3008, "memory allocation failiure"},
  kDiagTableTypeMemory                  {"S1001", 3008, "memory allocationn failure"},
  kDiagColumnNameMemory                 {"S1001", 3008, "memory allcoation failure"},
  kDiagBookmarkColumn                   {"S1002", 1044, "column number 0 is the bookmark column, and bookmarks are off"},
  kDiagColumnOutOfRange                 {"S1002", 1044, "column number out of range"},
  kDiagProgramTypeOutOfRange            {"S1003", 1027, "program type out of range"},
  kDiagInvalidArgument                  {"S1009", 1072, "function called with invalid argument value"},
  kDiagSequenceError                    {"S1010", 1064, "function sequence error"},
  kDiagPutDataContext                   {"S1010", 1064, "SQLPutData called in wrong context"},
  kDiagInvalidLength                    {"S1090", 1072, "invalid string or buffer length"},
  kDiagDescriptorTypeOutOfRange         {"S1091", 1072, "descriptor type out of range"},
  kDiagOptionOutOfRange                 {"S1092", 1072, "option type out of range"},
  kDiagValueTooLong                     {"S1090", 1072, "string too long: texts are sent with at most 32767 bytes"},
  kDiagFetchTypeOutOfRange              {"S1106", 1072, "fetch type out of range"},
  kDiagRowValueOutOfRange               {"S1107", 1072, "row value out of range"},
  kDiagConcurrencyOutOfRange            {"S1108", 1072, "concurrency option out of range"},
  kDiagInvalidCursorPosition            {"S1109", 1072, "invalid cursor position"},
  kDiagInvalidBookmark                  {"S1111", 1072, "invalid bookmark value"},
  kDiagCursorFile                       {"S1000", 1072, "the static cursor's temporary file could not be written or read"},
  kDiagDescriptorField                  {"S1091", 1072, "invalid descriptor field identifier"},
  kDiagDescriptorIndex                  {"S1002", 1044, "invalid descriptor index"},
  kDiagRequestTooLong                   {"S1090", 1072, "request too long: a request carries at most 268435456 bytes"},
  kDiagDescribeParamNumber              {"S1093", 1070, "invalid parameter number for SQLDescribeParam"},
  kDiagPacketSize                       {"S1C00", 1056, "can't change network packet size"},
  kDiagTranslationDll                   {"S1C00", 1057, "translation DLL not supported"},
  kDiagKeysetCursors                    {"S1C00", 1059, "keyset-driven cursors not supported"},
  kDiagSimulatedCursors                 {"S1C00", 1060, "simulated cursors not used"},
  kDiagOptionNotCapable                 {"S1C00", 1072, "option value not supported"},
  kDiagBulkOperationsUnimplemented      {"S1C00", 3028, "SQLBulkOperations not implemented"},
  kDiagBookmarks                        {"S1C00", 1061, "bookmarks not supported yet"},
  kDiagReadOnlyCursor                   {"S1C00", 1061, "cursors are read-only: SQLSetPos only positions"},
  kDiagProcedures                       {"S1C00", 1071, "SQL procedures are not supported"},
  kDiagArraySelect                      {"S1C00", 1071, "a statement that returns rows cannot take an array of parameter sets"},
  kDiagArraySelectAtExec                {"S1C00", 1071, "the parameter sets of a query cannot take data at execution"},
  kDiagBrowseConnectUnimplemented       {"S1C00", 3028, "SQLBrowseConnect not implemented"},
  kDiagColumnPrivilegesUnimplemented    {"S1C00", 3028, "SQLColumnPrivileges not implemented"},
  kDiagForeignKeysUnimplemented         {"S1C00", 3028, "SQLForeignKeys not implemented"},
  kDiagNativeSqlUnimplemented           {"S1C00", 3028, "SQLNativeSql not implemented"},
  kDiagPrimaryKeysUnimplemented         {"S1C00", 3028, "SQLPrimaryKeys not implemented"},
  kDiagProcedureColumnsUnimplemented    {"S1C00", 3028, "SQLProcedureColumns not implemented"},
  kDiagProceduresUnimplemented          {"S1C00", 3028, "SQLProcedures not implemented"},
  kDiagSetPosUnimplemented              {"S1C00", 3028, "SQLSetPos not implemented"},
  kDiagSetScrollOptionsUnimplemented    {"S1C00", 3028, "SQLSetScrollOptions not implemented"},
  kDiagTablePrivilegesUnimplemented     {"S1C00", 3028, "SQLTablePrivileges not implemented"};
// clang-format on

// Posts diagnostic d on a handle object with the posting site's file and
// line; evaluates to rc.
#define VEL_POST(object, rc, d) VEL_POST_ERROR(object, rc, (d).native, (d).sqlstate, (d).text)
// The same with text in place of d's (d's text formatted by the caller).
#define VEL_POST_TEXT(object, rc, d, text) \
  VEL_POST_ERROR(object, rc, (d).native, (d).sqlstate, (text))

#endif
