// The columns a statement's parameter markers stand for, as far as its
// text says: for engines that cannot describe a marker themselves.
#ifndef VELORA_SERVER_SESSION_MARKERCOLUMNS_H
#define VELORA_SERVER_SESSION_MARKERCOLUMNS_H

#include <string>
#include <vector>

namespace velsrv {

// A marker's column: its name, or its position in the table (from 0;
// -1: by name), and the tables the statement names, in the order named,
// where it may be found. An empty name and no position: not known.
struct MarkerColumn {
  std::string column;
  int position = -1;
  std::vector<std::string> tables;
};

// One entry per "?" marker of sql, in order. A marker is known where it
// is a whole value of INSERT ... [(columns)] VALUES (...) (then the column
// at its position, the table's own order when no columns are named), or
// one side of a comparison (=, ==, <>, !=, <, >, <=, >=, LIKE) whose other
// side is a column name. Quoted text, quoted names and comments are
// skipped as SQLite reads them.
std::vector<MarkerColumn> MarkerColumns(const std::string& sql);

}  // namespace velsrv

#endif
