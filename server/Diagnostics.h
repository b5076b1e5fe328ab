// Every SQLSTATE the server reports, one row each: sessions, value codecs
// and storages name a row; the texts that go with them are composed where
// the condition is found. A storage's own codes (SQLite result codes,
// PostgreSQL's SQLSTATEs) are mapped onto these rows by the storage's
// mapping tables. No other server file writes a SQLSTATE (the
// server_sqlstates test checks it).
#ifndef VELORA_SERVER_DIAGNOSTICS_H
#define VELORA_SERVER_DIAGNOSTICS_H

namespace velsrv {

// clang-format off
inline constexpr char
  kStateNone[]                   = "00000",  // no diagnostic
  kStateOperationConflict[]      = "01001",  // a cursor's row changed since it was read
  kStateOptionChanged[]          = "01S02",
  kStateNoData[]                 = "02000",
  kStateParameterCount[]         = "07001",
  kStateCannotConnect[]          = "08001",
  kStateConnectionInUse[]        = "08002",
  kStateConnectionNotOpen[]      = "08003",
  kStateConnectionRejected[]     = "08004",
  kStateCommunicationLink[]      = "08S01",
  kStateValueCount[]             = "21S01",  // insert value list does not match the columns
  kStateTruncated[]              = "22001",
  kStateOutOfRange[]             = "22003",
  kStateInvalidCharacter[]       = "22005",
  kStateDatetimeOverflow[]       = "22008",
  kStateDivisionByZero[]         = "22012",
  kStateLengthMismatch[]         = "22026",
  kStateIntegrity[]              = "23000",
  kStateCursorState[]            = "24000",
  kStateTransactionState[]       = "25000",
  kStateAuthorization[]          = "28000",
  kStateCursorName[]             = "34000",
  kStateSyntax[]                 = "37000",
  kStateDuplicateCursor[]        = "3C000",
  kStateSerialization[]          = "40001",
  kStateAccess[]                 = "42000",
  kStateTableExists[]            = "S0001",
  kStateTableNotFound[]          = "S0002",
  kStateIndexExists[]            = "S0011",
  kStateIndexNotFound[]          = "S0012",
  kStateColumnExists[]           = "S0021",
  kStateColumnNotFound[]         = "S0022",
  kStateGeneral[]                = "S1000",
  kStateMemory[]                 = "S1001",
  kStateColumnNumber[]           = "S1002",
  kStateTypeOutOfRange[]         = "S1004",
  kStateCancelled[]              = "S1008",
  kStateInvalidArgument[]        = "S1009",
  kStateSequence[]               = "S1010",
  kStateOperationInvalid[]       = "S1011",
  kStateTransactionCode[]        = "S1012",
  kStateNoMoreStatements[]       = "S1014",
  kStateLength[]                 = "S1090",
  kStateOptionType[]             = "S1092",
  kStateRowOutOfRange[]          = "S1107",
  kStateParameterNumber[]        = "S1093",
  kStateColumnType[]             = "S1097",
  kStateScopeType[]              = "S1098",
  kStateNullableType[]           = "S1099",
  kStateUniquenessOption[]       = "S1100",
  kStateAccuracyOption[]         = "S1101",
  kStateNotCapable[]             = "S1C00",
  kStateTimeout[]                = "S1T00";
// clang-format on

// Texts written more than once with their state.
inline constexpr char kTextMemory[] = "memory allocation failure";
inline constexpr char kTextNoData[] = "no data found: the end of the result set";
inline constexpr char kTextNotOnRow[] = "invalid cursor state: the cursor is not on a row";

}  // namespace velsrv

#endif
