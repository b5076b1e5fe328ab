// Connection-string pairs: keys whole and in any letter case, spaces
// around keys, braced values, the first occurrence winning; the completed
// string's braces; values copied cut to the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/String.h"
#include "odbc/connect/ConnectString.h"
#include "odbc/connect/ServerList.h"

namespace {

// Server lists: ports per host, brackets, bare IPv6, spaces and empty
// entries; the reasons stay within their buffer however many there are.
TEST(ConnectStringTest, ServerLists) {
  // read: "host service|..."
  // clang-format off
  const struct { const char *list, *read; } rows[] = {
      {"a:1, b ,[::1]:3,::1,[fe80::1]", "a 1|b 9|[::1] 3|::1 9|[fe80::1] 9|"},
      {" ,,", "unknown 9|"},
      {"h:", "h 9|"},
      {"a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p,q", "a 9|b 9|c 9|d 9|e 9|f 9|g 9|h 9|i 9|j 9|k 9|l 9|m 9|n 9|o 9|p 9|"}};
  // clang-format on
  for (const auto& r : rows) {
    ServerList list;
    ParseServerList(r.list, "9", &list);
    std::string read;
    for (int i = 0; i < list.count; ++i)
      read += std::string(list.entries[i].host) + " " + list.entries[i].service + "|";
    EXPECT_EQ(read, r.read) << r.list;
  }
  char reasons[kServerReasonsSize] = "";
  const std::string longReason(600, 'x');
  ServerList list;
  ParseServerList("a,b,c,d,e,f,g,h,i,j,k,l,m,n,o,p", "1", &list);
  for (int i = 0; i < list.count; ++i) AppendServerReason(reasons, list.entries[i], longReason.c_str(), list.count);
  EXPECT_LT(std::strlen(reasons), sizeof reasons);
  EXPECT_EQ(std::string(reasons).substr(0, 8), "a:1: xxx");
  EXPECT_NE(std::strstr(reasons, "...; p:1: x"), nullptr) << reasons;
}

TEST(ConnectStringTest, PairsByTheGrammar) {
  // value null: absent
  // clang-format off
  const struct { const char *text, *key, *value; } rows[] = {{"DSN=a;Server=b", "Server", "b"},
                                                             {"MyDSN=x;DSN=y", "DSN", "y"},
                                                             {"MyDSN=x", "DSN", nullptr},
                                                             {"dsn=a", "DSN", "a"},
                                                             {" uId =bob ;DSN=z", "UID", "bob "},
                                                             {"DSN=", "DSN", ""},
                                                             {"PWD={a;b=c}}d};DSN=x", "PWD", "a;b=c}d"},
                                                             {"PWD={a;b=c}}d};DSN=x", "DSN", "x"},
                                                             {"PWD= {x} junk;DSN=y", "PWD", "x"},
                                                             {"PWD={open;DSN=y", "DSN", nullptr},
                                                             {"ODBC;;=v;DSN=1;dsn=2", "DSN", "1"},
                                                             {"", "DSN", nullptr}};
  // clang-format on
  for (const auto& r : rows) {
    char buffer[16] = "old";
    bool found = CopyConnectValue(r.text, static_cast<uint32_t>(std::strlen(r.text)), r.key, buffer, sizeof buffer);
    EXPECT_EQ(found ? buffer : "<absent>", std::string(r.value ? r.value : "<absent>")) << r.text;
  }
  char buffer[4] = "old";
  EXPECT_FALSE(CopyConnectValue("Service=123456;", 15, "Server", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "old");
  EXPECT_TRUE(CopyConnectValue("Service={12}}3456}", 18, "Service", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "12}");
  // Values are braced when they need it; each "}" doubled.
  String out;
  ASSERT_TRUE(out.SetString("") && AppendConnectPair(&out, "DSN", "s") && AppendConnectPair(&out, "PWD", "a;}b ") &&
              AppendConnectPair(&out, "DRIVER", "V", true) && AppendConnectPair(&out, "Server", "::1"));
  EXPECT_STREQ(out.Text(), "DSN=s;PWD={a;}}b };DRIVER={V};Server=::1");
  // The output string fits only with room for its NUL; a size below 1 or
  // no buffer writes nothing.
  EXPECT_TRUE(CopyOutput("abc", 3, buffer, 4));
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 0) || CopyOutput("abcd", 4, buffer, -5) ||
               CopyOutput("abcd", 4, nullptr, 2));
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
