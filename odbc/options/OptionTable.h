// The tables of the four option functions: for each option what is done,
// which stored value it concerns, and the refusal posted for options the driver does not support.
#ifndef VELORA_ODBC_OPTIONS_OPTIONTABLE_H
#define VELORA_ODBC_OPTIONS_OPTIONTABLE_H

#include <cstdint>

#include "handles/ClientDiagnostics.h"
#include "protocol/OptionDefaults.h"

enum class OptionAction : uint8_t {
  kNothing,       // set: nothing, SQL_SUCCESS; get: nothing written
  kStore,         // set: store only; get: answer the stored value
  kStoreAndSend,  // set: store, then send the slot's request
  kRefuse,        // post the row's refusal, SQL_ERROR
  kQualifier,     // SQL_CURRENT_QUALIFIER text
  kQuietMode,     // SQL_QUIET_MODE window handle
  kAnswerZero,    // get: answer 0
  kRowNumber,     // get: ask the server (the get-row-number request)
  kSynchronous,   // set SQL_ASYNC_ENABLE: off kept, anything else "01S02"
};

// slot: where kStore and kStoreAndSend keep the value; the request that
// tells the server is the slot's (protocol/OptionDefaults.h).
struct OptionRow {
  uint16_t option;
  OptionAction action;
  OptionSlot slot;
  const ClientDiagnostic* refusal;  // kRefuse rows only
};

// The row for option in each table; options without a row of their own get
// the refusal "S1092" (unknown options, the driver-specific range among
// them: the driver defines none). Never null.
const OptionRow* SetConnectOptionRow(uint16_t option);  // when logged in
const OptionRow* GetConnectOptionRow(uint16_t option);
const OptionRow* SetStmtOptionRow(uint16_t option);
const OptionRow* GetStmtOptionRow(uint16_t option);

#endif
