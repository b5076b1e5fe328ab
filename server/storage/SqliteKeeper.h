// One SQLite database file as the engine serves it: the sessions open on
// it and the engine's own connection that keeps it open between them.
#ifndef VELORA_SERVER_STORAGE_SQLITEKEEPER_H
#define VELORA_SERVER_STORAGE_SQLITEKEEPER_H

#include <sqlite3.h>

#include <mutex>
#include <string>

namespace velsrv {

// While any connection has a database open in WAL mode, SQLite keeps its
// WAL and shared-memory files; when the last one closes, it checkpoints and
// deletes them, and the next connection creates them again and reads the
// schema from scratch. With logins that come and go one at a time that was
// most of what a login cost the server, so the engine keeps one connection
// of its own (the keeper) open on each file while the file stays where it
// is. The keeper runs no statement of a client: sessions still have their
// own connections and transactions.
//
// A file without sessions is left as it was without the keeper: its WAL is
// checkpointed into it and truncated, so a copy of the idle file is whole
// and a file deleted or replaced meanwhile inherits no stale WAL frames.
class SqliteFile {
 public:
  explicit SqliteFile(std::string path) : path_(std::move(path)) {}
  ~SqliteFile();
  SqliteFile(const SqliteFile&) = delete;
  SqliteFile& operator=(const SqliteFile&) = delete;

  // Before a session opens the file: true when the keeper has it open in
  // WAL mode, so the session need not switch it. A keeper whose file was
  // deleted or renamed is closed first, before the session may open the
  // new file at the path (and its shared memory).
  bool Kept();
  // After a session switched the file to WAL mode: opens the keeper unless
  // it is open. Without success (the file is locked, no memory) there is
  // none, and the next login tries again.
  void Keep();
  // A session opened the file or closed it; after the last one the keeper
  // checkpoints the WAL into the file.
  void Join();
  void Leave();
  // Closes the keeper: a session is about to change the journal or locking
  // mode, which the keeper's lock would hold off for good.
  void Drop();

 private:
  void CloseKeeper();  // under mutex_

  const std::string path_;
  std::mutex mutex_;
  sqlite3* keeper_ = nullptr;  // under mutex_
  int sessions_ = 0;           // under mutex_
};

}  // namespace velsrv

#endif  // VELORA_SERVER_STORAGE_SQLITEKEEPER_H
