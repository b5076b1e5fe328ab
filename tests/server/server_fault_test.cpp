// The server when its disk fills or its database file cannot be written:
// the session that meets the fault gets an error, the others go on, and no
// committed row is lost.
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

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

}  // namespace
