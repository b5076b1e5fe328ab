// Rows in blocks: with a server that offered the fetch-block request at
// login, SQLFetch and SQLExtendedFetch take their rows from one reply of
// many rows (protocol/BLOCKS.md) instead of one round trip per row.
#ifndef VELORA_ODBC_FETCH_BLOCKFETCH_H
#define VELORA_ODBC_FETCH_BLOCKFETCH_H

#include <sql.h>

#include <cstdint>

class FetchDataSetElement;
class Request;
class Statement;

// The first block asks for kFirstBlockBudget bytes of rows, so that the
// first row comes back as fast as alone; each next block of the same
// result set asks for twice as many, up to kMaxBlockBudget (a block always
// holds at least one row, however large).
constexpr uint32_t kFirstBlockBudget = 256;
constexpr uint32_t kMaxBlockBudget = 64u * 1024u;

// True when the next row of stmt comes from a block: one is being served,
// or one may be asked for. Blocks are not asked for on a connection whose
// server did not offer them, with [Config] BlockFetch=0 in velodbc.ini,
// with autocommit off (a commit or rollback between two fetches closes
// the cursor exactly there, as the server's cursors end with the
// transaction; with autocommit on a commit leaves them open, and blocks
// with them), for a statement whose cursor has a name the application knows (a
// positioned statement names the server's cursor, which must stand on the
// application's row), or while a long column (LONGVARCHAR, LONGVARBINARY)
// would be read on demand: such a value is asked for on its own, of the
// row the server's cursor stands on.
bool FetchesBlocks(Statement* stmt);

// True when stmt's next execution goes in an execute-rows request
// (protocol/QUICK.md): the server offered it, and the statement has no
// result set or fetches it in blocks through a forward-only cursor.
bool ExecutesWithRows(Statement* stmt);

// Takes the reply of an execute-rows request that succeeded (owned from
// now on): its row count becomes SQLRowCount's answer, its rows the block
// SQLFetch serves first, and a result the server sent whole needs no
// close request.
void AdoptFirstBlock(Statement* stmt, Request* reply);

// The next row of the block, as its encoding's bytes (which stay valid
// until the next call or until the block is dropped), asking the server
// for the next block when the one held is used up. SQL_SUCCESS with the
// row; SQL_NO_DATA_FOUND or SQL_ERROR, with the server's record, at the row
// where the block said the result set ends or fails. *left (when given):
// the rows the block holds after this one.
SQLRETURN NextBlockRow(Statement* stmt, const uint8_t** bytes, uint32_t* length,
                       uint32_t* left = nullptr);

#endif
