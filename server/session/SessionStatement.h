// Session internals shared by its source files: the server-side
// statement with its cursor.
#ifndef VELORA_SERVER_SESSION_SESSIONSTATEMENT_H
#define VELORA_SERVER_SESSION_SESSIONSTATEMENT_H

#include "server/session/Session.h"

namespace velsrv {

// Where a statement's cursor stands; kNone: no cursor is open.
enum class Position { kNone, kBefore, kOnRow, kAfter };

// What a cursor needs to write its rows back (SessionEdit.cpp): the one
// table its query reads, that table's column behind each result column,
// the key that finds a row, and per row read its key and its values as
// read (the version an optimistic write compares).
struct EditPlan {
  bool on = false;
  std::string why;  // why the cursor is read-only, when it is
  std::string table;
  std::vector<std::string> columns;                    // SQL text, by result column
  std::vector<std::string> keys;                       // SQL text of the key's expressions
  std::vector<std::vector<Value>> rowKeys, rowValues;  // by row number - 1
  uint32_t current = 0;  // the row the application stands on (0: the last read)
};

struct Session::Statement {
  uint32_t id = 0;
  std::string cursorName;
  // A positioned statement (WHERE CURRENT OF): the cursor it names, and
  // the markers of that cursor's key added after the statement's own.
  std::string positionedOn;
  int positionedKeys = 0;
  StatementOptions options;
  std::unique_ptr<StorageStatement> storage;
  // What storage was compiled from, and on which side (primary or
  // standby): a prepared statement follows the session when it moves.
  std::string sql;
  const StorageSession* side = nullptr;
  bool prepared = false;  // Execute allowed
  bool dmlText = false;   // INSERT/UPDATE/DELETE: row count is meaningful
  std::vector<ColumnOut> description;
  // The cursor.
  Position position = Position::kNone;
  bool pendingRow = false;  // a row already stepped and not yet fetched
  uint32_t rowNumber = 0;
  bool isStatic = false;
  std::vector<std::vector<Value>> rows;
  size_t staticIndex = 0;
  int64_t rowCount = -1;
  // A text of several statements (empty for one): each one's text and
  // markers; storage holds statement part (the first one waits in head
  // meanwhile); next is the one SQLMoreResults runs (parts.size(): none
  // left); values are the execution's, each statement taking its share
  // in marker order.
  struct Part {
    std::string text;
    int markers = 0;
    bool dml = false;
  };
  std::vector<Part> parts;
  size_t part = 0, next = 0;
  std::unique_ptr<StorageStatement> head;
  std::vector<ParamIn> values;
  EditPlan edit;
};

}  // namespace velsrv

#endif
