// The server's engine: each data source's location chooses SQLite or
// PostgreSQL.
#include <algorithm>
#include <cctype>
#include <mutex>

#include "server/storage/PostgresText.h"
#include "server/storage/Storage.h"

namespace velsrv {

bool HoldsStatement(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "--") == 0) {
      i = text.find('\n', i);
      if (i == std::string::npos) return false;
    } else if (text.compare(i, 2, "/*") == 0) {
      i = text.find("*/", i + 2);
      if (i == std::string::npos) return false;
      ++i;
    } else if (!std::isspace(static_cast<unsigned char>(text[i])) && text[i] != ';') {
      return true;
    }
  }
  return false;
}

namespace {

class StorageRouter : public StorageEngine {
 public:
  StorageRouter(int lockWaitMs, int maxValueBytes, const std::atomic<bool>* stop)
      : lockWaitMs_(lockWaitMs), maxValueBytes_(maxValueBytes), stop_(stop) {}

  Status Open(const std::string& location, std::unique_ptr<StorageSession>* out) override {
    StorageEngine* engine = nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      std::unique_ptr<StorageEngine>& slot = IsPostgresLocation(location) ? postgres_ : sqlite_;
      if (!slot)
        slot = IsPostgresLocation(location)
                   ? CreatePostgresEngine(lockWaitMs_, maxValueBytes_, stop_)
                   : CreateSqliteEngine(lockWaitMs_, maxValueBytes_, stop_);
      engine = slot.get();
    }
    return engine->Open(location, out);
  }

 private:
  int lockWaitMs_, maxValueBytes_;
  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::unique_ptr<StorageEngine> sqlite_, postgres_;
};

}  // namespace

Status StorageSession::PrimaryKey(const std::string& table, PrimaryKeyEntry* out) {
  std::vector<TableColumnEntry> columns;
  Status st = TableColumns(table, &columns);
  if (!st.ok) return st;
  std::stable_sort(columns.begin(), columns.end(),
                   [](const TableColumnEntry& a, const TableColumnEntry& b) {
                     return a.primaryKeyPosition < b.primaryKeyPosition;
                   });
  for (const TableColumnEntry& c : columns)
    if (c.primaryKeyPosition > 0) out->columns.push_back(c.name);
  return Status::Ok();
}

bool IsPostgresLocation(const std::string& location) {
  return location.compare(0, 13, "postgresql://") == 0 ||
         location.compare(0, 11, "postgres://") == 0;
}

std::string LoggedLocation(const std::string& location) { return RedactedLocation(location); }

std::unique_ptr<StorageEngine> CreateStorageEngine(int lockWaitMs, int maxValueBytes,
                                                   const std::atomic<bool>* stop) {
  return std::unique_ptr<StorageEngine>(new StorageRouter(lockWaitMs, maxValueBytes, stop));
}

}  // namespace velsrv
