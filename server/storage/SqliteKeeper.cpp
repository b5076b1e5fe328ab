// The keeper of a SQLite database file: opened after the first session,
// closed when the file moves away, when a session changes the journal or
// locking mode, or with the engine.
#include "server/storage/SqliteKeeper.h"

#include <sys/stat.h>

namespace velsrv {

SqliteFile::~SqliteFile() {
  // The last connection to close checkpoints the WAL and deletes it, as
  // every connection did before there were keepers.
  if (keeper_) sqlite3_close_v2(keeper_);
}

void SqliteFile::CloseKeeper() {
  sqlite3_close_v2(keeper_);
  keeper_ = nullptr;
}

bool SqliteFile::Kept() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!keeper_) return false;
  int moved = 1;
  if (sqlite3_file_control(keeper_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK || moved) {
    // The WAL at the path may belong to the file that is there now: the
    // keeper of the old one neither checkpoints nor deletes it.
    sqlite3_db_config(keeper_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    CloseKeeper();
  }
  return keeper_ != nullptr;
}

void SqliteFile::Keep() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (keeper_) return;
  // No busy timeout: the session that just opened the file waited for its
  // locks already, and the keeper never waits.
  sqlite3* db = nullptr;
  sqlite3_stmt* stmt = nullptr;
  bool wal =
      sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) ==
          SQLITE_OK &&
      sqlite3_prepare_v2(db, "PRAGMA journal_mode=WAL", -1, &stmt, nullptr) == SQLITE_OK &&
      sqlite3_step(stmt) == SQLITE_ROW &&
      sqlite3_stricmp(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal") == 0;
  sqlite3_finalize(stmt);
  if (wal)
    keeper_ = db;
  else
    sqlite3_close_v2(db);
}

void SqliteFile::Join() {
  std::lock_guard<std::mutex> lock(mutex_);
  ++sessions_;
}

void SqliteFile::Leave() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (--sessions_ > 0 || !keeper_) return;
  // Sessions that only read leave the WAL empty: nothing to do.
  const char* wal = sqlite3_filename_wal(sqlite3_db_filename(keeper_, "main"));
  struct stat st {};
  if (wal && stat(wal, &st) == 0 && st.st_size == 0) return;
  // A session of another process that holds a lock makes it fail at once;
  // the file is then as the other process leaves it.
  sqlite3_wal_checkpoint_v2(keeper_, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

void SqliteFile::Drop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (keeper_) CloseKeeper();
}

}  // namespace velsrv
