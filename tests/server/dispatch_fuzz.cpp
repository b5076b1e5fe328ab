// Fuzz target: arbitrary bytes as a stream of request frames (4-byte
// length, 2-byte code, body) through the server's decoding and dispatch,
// on a logged-in session over an in-memory SQLite database.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/session/Dispatch.h"
#include "server/Log.h"
#include "server/admin/Options.h"
#include "server/session/Session.h"
#include "server/storage/Storage.h"
#include "support/fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static velsrv::Options options = [] {
    velsrv::Options o;
    o.database = ":memory:";
    o.maxStatements = 16;
    velsrv::SetLogVerbosity(-1);  // no log lines per input
    return o;
  }();
  static std::unique_ptr<velsrv::StorageEngine> engine = velsrv::CreateSqliteEngine(0);
  velsrv::Session session(options, engine.get(), "fuzz");
  std::string version;
  session.Connect("fuzz", "fuzz", "", &version);
  uint32_t id = 0;
  session.AllocStatement(&id);
  std::vector<velsrv::ColumnOut> columns;
  session.ExecDirect(id, "CREATE TABLE t (a INTEGER, b VARCHAR(8), c NUMERIC(5,2), d DATE, e BLOB)", {}, &columns);
  session.ExecDirect(id, "INSERT INTO t VALUES (1, 'x', 1.5, '2024-01-01', x'00'), (NULL, 'yy', 'q', 'bad', 2)", {},
                     &columns);
  std::string reply, why;
  size_t at = 0;
  while (size - at >= 6 && !session.Finished()) {
    uint32_t length =
        data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (static_cast<uint32_t>(data[at + 3]) << 24);
    uint16_t code = static_cast<uint16_t>(data[at + 4] | (data[at + 5] << 8));
    at += 6;
    if (length > size - at) length = static_cast<uint32_t>(size - at);
    if (!velsrv::Dispatch(&session, code, data + at, length, &reply, &why)) break;
    at += length;
  }
  return 0;
}
