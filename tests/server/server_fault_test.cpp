// The server when its disk fills, its database file cannot be written or
// SQLite's allocations fail: the session that meets the fault gets an
// error, the others go on, and no committed row is lost.
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <sqlite3.h>

#include <atomic>

#include "base/Alloc.h"
#include "server/session/Dispatch.h"
#include "server/Log.h"
#include "server/session/Session.h"
#include "server_client.h"

namespace {

// A folder that fills after about `bytes`: a tmpfs of that size, mounted in
// a mount namespace of this test program alone (the servers it starts see
// it, nothing else does), when asked and this program may mount; otherwise
// the file size limit, which the server started next inherits.
class SmallDisk {
 public:
  bool Make(const std::string& path, size_t bytes, bool tmpfs = true) {
    path_ = path;
    if (mkdir(path.c_str(), 0700) != 0) return false;
    std::string size = "size=" + std::to_string(bytes);
    mounted_ = tmpfs && unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               mount("tmpfs", path.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (mounted_) return true;
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = bytes;
    limited_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    return limited_;
  }
  // Lifts the file size limit for this program (a started server keeps it).
  void Unlimit() {
    if (limited_) setrlimit(RLIMIT_FSIZE, &saved_);
    limited_ = false;
  }
  // The folder as nobody may write it: a read-only view of it, or its
  // files' modes (which bind only a program that is not root); "" when
  // neither can be had.
  std::string ReadOnly() {
    std::string view = view_ = path_ + "-ro";
    if (mounted_)
      return mkdir(view.c_str(), 0700) == 0 && mount(path_.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                     mount(nullptr, view.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0
                 ? view
                 : "";
    for (const char* name : {"/db", "/db-wal", "/db-shm", ""}) chmod((path_ + name).c_str(), 0555);
    return geteuid() != 0 ? path_ : "";
  }
  ~SmallDisk() {
    Unlimit();
    if (mounted_) umount2(view_.c_str(), MNT_DETACH), umount2(path_.c_str(), MNT_DETACH);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_, view_;
  bool mounted_ = false, limited_ = false;
  rlimit saved_{};
};

struct Db {
  Client c;
  uint32_t s = 0;
  bool Open(const VeloraServer& server) { return c.OpenAndLogin(server.Port()) && (s = c.Alloc()) != 0; }
  std::string Run(const std::string& sql) { return c.Outcome(c.Exec(s, sql), s); }
  std::string Count() {
    Rows rows = c.Query(s, "SELECT count(*) FROM t");
    return rows.size() == 1 ? rows[0][0].bytes : "failed: " + c.State(s);
  }
};

// Filled both ways: the server also outlives its own file size limit.
TEST(ServerDisk, AFullDiskFailsTheWriteAndKeepsEveryCommittedRow) {
  for (bool tmpfs : {true, false}) {
    SCOPED_TRACE(tmpfs ? "tmpfs" : "file size limit");
    VeloraServer server, again;
    SmallDisk disk;
    ASSERT_TRUE(disk.Make(server.Folder() + "/small", 256 << 10, tmpfs));
    ASSERT_TRUE(server.Start({"--database", disk.Path() + "/db"})) << server.Error();
    disk.Unlimit();
    Db writer, reader;
    ASSERT_TRUE(writer.Open(server) && reader.Open(server));
    ASSERT_EQ(writer.Run("CREATE TABLE t (n INTEGER, pad BLOB)"), "0 00000");
    uint32_t committed = 0;
    std::string failure;
    while (committed < 500 && failure.empty()) {
      std::string outcome = writer.Run("INSERT INTO t VALUES (1, zeroblob(3000))");
      if (outcome == "0 00000")
        ++committed;
      else
        failure = outcome;
    }
    EXPECT_EQ(failure, "-1 S1000");  // "database or disk is full", "disk I/O error"
    EXPECT_EQ(reader.Count(), U32(committed));
    EXPECT_EQ(writer.Count(), U32(committed));
    Db late;
    ASSERT_TRUE(late.Open(server));
    EXPECT_EQ(late.Count(), U32(committed));
    EXPECT_EQ(server.Stop(), 0);
    ASSERT_TRUE(again.Start({"--database", disk.Path() + "/db"})) << again.Error();
    ASSERT_TRUE(late.Open(again));
    EXPECT_EQ(late.Count(), U32(committed));
  }
}

TEST(ServerDisk, AnUnwritableDatabaseRefusesWritesAndServesReads) {
  VeloraServer server, unwritable;
  SmallDisk disk;
  ASSERT_TRUE(disk.Make(server.Folder() + "/small", 4 << 20));
  disk.Unlimit();
  ASSERT_TRUE(server.Start({"--database", disk.Path() + "/db"})) << server.Error();
  Db writer, reader;
  ASSERT_TRUE(writer.Open(server));
  ASSERT_EQ(writer.Run("CREATE TABLE t (n INTEGER)"), "0 00000");
  ASSERT_EQ(writer.Run("INSERT INTO t VALUES (1), (2)"), "0 00000");
  std::string view = disk.ReadOnly();
  if (view.empty()) GTEST_SKIP() << "root ignores file modes and may not mount here";
  ASSERT_TRUE(unwritable.Start({"--database", view + "/db"})) << unwritable.Error();
  ASSERT_TRUE(reader.Open(unwritable)) << unwritable.Log();
  EXPECT_EQ(reader.Count(), U32(2));
  EXPECT_EQ(reader.Run("INSERT INTO t VALUES (3)"), "-1 42000");  // an access violation
  EXPECT_EQ(writer.Run("INSERT INTO t VALUES (3)"), "0 00000");
}

// The server holds a database open between sessions; the file it leaves
// idle is whole, and the next session works on whatever file is at the path
// now (moved away: a new one; moved back: the old one, untouched by the
// other's rows).
TEST(ServerDisk, TheIdleFileIsWholeAndAFileMovedAwayOrBackIsTheOneTheNextSessionSees) {
  VeloraServer server;
  const std::string db = server.Folder() + "/db", moved = server.Folder() + "/moved";
  ASSERT_TRUE(server.Start({"--database", db})) << server.Error();
  Db first, gone, back;
  ASSERT_TRUE(first.Open(server));
  ASSERT_EQ(first.Run("CREATE TABLE t (n INTEGER)"), "0 00000");
  ASSERT_EQ(first.Run("INSERT INTO t VALUES (1), (2)"), "0 00000");
  ASSERT_EQ(first.c.Call(Msg::kDisconnect, 0), 0);
  ASSERT_EQ(rename(db.c_str(), moved.c_str()), 0);
  sqlite3* alone = nullptr;  // without its WAL, which stays at the old name
  ASSERT_EQ(sqlite3_open_v2(moved.c_str(), &alone, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* count = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(alone, "SELECT count(*) FROM t", -1, &count, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_step(count) == SQLITE_ROW ? sqlite3_column_int(count, 0) : -1, 2);
  sqlite3_finalize(count);
  sqlite3_close(alone);
  ASSERT_TRUE(gone.Open(server));
  EXPECT_EQ(gone.Count(), "failed: S0002");
  ASSERT_EQ(gone.Run("CREATE TABLE t (n INTEGER)"), "0 00000");
  EXPECT_EQ(gone.c.Query(gone.s, "PRAGMA journal_mode").at(0).at(0).bytes, std::string("wal", 4));
  ASSERT_EQ(gone.c.Call(Msg::kDisconnect, 0), 0);
  ASSERT_EQ(rename(moved.c_str(), db.c_str()), 0);
  ASSERT_TRUE(back.Open(server));
  EXPECT_EQ(back.Count(), U32(2));
}

// ---- SQLite's allocations failing, in process ----

std::atomic<long> gFailIn{0};  // > 0: allocations until the one that fails
sqlite3_mem_methods gSystem;
bool FailNow() { return gFailIn > 0 && --gFailIn == 0; }
void* FailingMalloc(int n) { return FailNow() ? nullptr : gSystem.xMalloc(n); }
void* FailingRealloc(void* p, int n) { return FailNow() ? nullptr : gSystem.xRealloc(p, n); }

struct InProcess {
  velsrv::Session session;
  uint32_t s = 0;
  std::string outcomes;  // each call's "rc STATE"
  std::string names;     // of the last result's columns
  InProcess(const velsrv::Options& options, velsrv::StorageEngine* engine) : session(options, engine, "test") {}
  bool Note(uint32_t id, int rc) {
    velsrv::Diagnostic d;
    if (rc != 0) session.GetError(id, &d);
    outcomes += std::to_string(rc) + " " + d.sqlstate + ";";
    return rc == 0;
  }
  // Logs in as user and allocates s; 0 when both succeed.
  int Open(const char* user) {
    std::string version;
    return session.Connect("any", user, "", &version) + session.AllocStatement(&s);
  }
  bool Exec(const std::string& sql, std::vector<velsrv::CellOut>* row = nullptr) {
    std::vector<velsrv::ColumnOut> columns;
    session.FreeStatement(s, 0);  // the last query's cursor
    if (!Note(s, session.ExecDirect(s, sql, {}, &columns))) return false;
    for (const velsrv::ColumnOut& c : columns) names += c.name + ",";
    return !row || Note(s, session.Fetch(s, {1, 2}, row));
  }
};

// A SQLite database of its own, the engine over it and a session that
// stays logged in, beside the sessions a test makes fail.
struct InProcessDatabase {
  VeloraServer folder;
  velsrv::Options options;
  std::unique_ptr<velsrv::StorageEngine> engine = velsrv::CreateSqliteEngine(1000);
  InProcess keeper;
  explicit InProcessDatabase(const char* file) : options(WithDatabase(folder, file)), keeper(options, engine.get()) {}
  static velsrv::Options WithDatabase(const VeloraServer& folder, const char* file) {
    velsrv::Options o;
    o.database = folder.Folder() + "/" + file;
    return o;
  }
};

// Whole sessions with the Nth of SQLite's allocations failing, N = 1, 2, ...
// until one runs without reaching the failure: each call succeeds or fails
// with "S1001" (or, after a failed login, "08003"); another session keeps
// working; a row whose insert or commit succeeded is there, one whose insert
// failed is not.
TEST(ServerMemory, EveryFailedAllocationIsAnErrorAndLosesNoCommittedRow) {
  sqlite3_shutdown();
  ASSERT_EQ(sqlite3_config(SQLITE_CONFIG_GETMALLOC, &gSystem), SQLITE_OK);
  sqlite3_mem_methods failing = gSystem;
  failing.xMalloc = FailingMalloc;
  failing.xRealloc = FailingRealloc;
  ASSERT_EQ(sqlite3_config(SQLITE_CONFIG_MALLOC, &failing), SQLITE_OK);
  ASSERT_EQ(sqlite3_initialize(), SQLITE_OK);
  velsrv::SetLogVerbosity(-1);
  InProcessDatabase db("sweep.db");
  const velsrv::Options& options = db.options;
  InProcess& keeper = db.keeper;
  std::string version;
  ASSERT_EQ(keeper.Open("keeper"), 0);
  ASSERT_TRUE(keeper.Exec("CREATE TABLE t (n INTEGER, s TEXT)"));
  long n = 1;
  for (bool reached = true; reached && n < 5000; ++n) {
    InProcess victim(options, db.engine.get());
    gFailIn = n;
    victim.Note(0, victim.session.Connect("any", "victim", "", &version));
    victim.Note(0, victim.session.AllocStatement(&victim.s));
    std::string key = std::to_string(n);
    bool inserted = victim.Exec("INSERT INTO t VALUES (" + key + ", 'row " + key + "')");
    victim.Note(0, victim.session.SetAutocommit(0));
    bool second = victim.Exec("INSERT INTO t VALUES (-" + key + ", 'row')");
    second = victim.Note(0, victim.session.Transact(0)) && second;
    std::vector<velsrv::CellOut> row, seen;
    bool read = victim.Exec("SELECT s, n FROM t WHERE n = " + key, &seen);
    victim.Note(0, victim.session.Disconnect());
    reached = gFailIn == 0;
    gFailIn = 0;
    SCOPED_TRACE("allocation " + key + ": " + victim.outcomes);
    bool loggedIn = victim.outcomes.compare(0, 2, "0 ") == 0;
    for (size_t at = 0; (at = victim.outcomes.find("-1 ", at)) != std::string::npos; at += 3) {
      std::string state = victim.outcomes.substr(at + 3, 5);
      EXPECT_TRUE(state == "S1001" || (!loggedIn && state == "08003")) << state;
    }
    if (read) {
      EXPECT_EQ(victim.names, "s,n,");
      ASSERT_TRUE(keeper.Exec("SELECT s, n FROM t WHERE n = " + key, &row));
      EXPECT_EQ(seen.at(0).data + seen.at(1).data, row.at(0).data + row.at(1).data);  // no wrong answer
    }
    ASSERT_TRUE(keeper.Exec(
        "SELECT count(*), count(CASE WHEN n > 0 THEN 1 END) FROM t WHERE n IN (" + key + ", -" + key + ")", &row));
    EXPECT_EQ(row.at(0).data, U32(inserted + second));
    EXPECT_EQ(row.at(1).data, U32(inserted));
  }
  std::printf("SQLite allocations failed in turn: %ld\n", n - 1);
  sqlite3_shutdown();
  sqlite3_config(SQLITE_CONFIG_MALLOC, &gSystem);
}

// An execute-batch request of three sets with each of the protocol's
// allocations failing in turn: the reply says that all ran, or that none
// did, or the session ends without a reply (the client cannot know what
// ran); never an error after sets ran, whose work could be committed.
TEST(ServerMemory, OutcomesOfSetsThatRanAreSentOrTheSessionEnds) {
  velsrv::SetLogVerbosity(-1);
  InProcessDatabase db("batch.db");
  InProcess& keeper = db.keeper;
  std::string reply, why, ended;
  ASSERT_EQ(keeper.Open("keeper"), 0);
  ASSERT_TRUE(keeper.Exec("CREATE TABLE b (n INTEGER)"));
  for (unsigned long n = 0, reached = 1; reached; ++n) {
    InProcess victim(db.options, db.engine.get());
    ASSERT_EQ(victim.Open("victim"), 0);
    ExecuteBatchRequest r;
    r.SetStatementId(victim.s);
    EXPECT_EQ(1, r.Get<StatementElement>()->value.SetString("INSERT INTO b VALUES (?)"));
    for (int set = 0; set < 3; ++set) {
      ASSERT_TRUE(r.Get<ParameterSetsElement>()->BeginSet());
      ASSERT_TRUE(r.Get<ParameterSetsElement>()->AppendValue(1, 4, U32(uint32_t(n)).data(), 4, false));
      r.Get<ParameterSetsElement>()->EndSet();
    }
    int status = 0;
    ASSERT_TRUE(r.BuildFrame(&status));
    victim.session.CountRequest();  // as the listener does: requests count from 1
    const unsigned long before = AllocCount();
    SetAllocFailOnce(long(n));
    const bool answered =
        velsrv::Dispatch(&victim.session, Msg::kExecuteBatch, r.FrameBytes() + 6, r.FrameLength() - 6, &reply, &why);
    reached = AllocCount() - before > n;
    ResetAllocFailure();
    std::vector<velsrv::CellOut> row;
    ASSERT_TRUE(keeper.Exec("SELECT count(*), 0 FROM b WHERE n = " + std::to_string(n), &row));
    const std::string rows = std::to_string(row.at(0).data[0]);
    if (!answered && rows == "3") ended = why;
    const int rc = answered ? int16_t(uint8_t(reply[4]) | uint8_t(reply[5]) << 8) : 0;  // the reply's
    EXPECT_TRUE(!answered || (rc == 0 ? rows == "3" : rc == -1 && rows == "0")) << n << ": " << rc << " " << rows;
  }
  EXPECT_EQ(ended, "the outcomes of the sets that ran cannot be sent");  // reached
}

}  // namespace
