// The servers of a data source: "Server=host1:port1,host2,[::1]:port3"
// read into a fixed list of hosts and services, and the text that reports
// why none of them answered.
#ifndef VELORA_ODBC_CONNECT_SERVERLIST_H
#define VELORA_ODBC_CONNECT_SERVERLIST_H

#include <cstdint>

constexpr int kMaxServers = 16;
// The reasons of all failed servers together stay within one diagnostic
// that applications read into SQL_MAX_MESSAGE_LENGTH (512) bytes with its
// prefixes.
constexpr int kServerReasonsSize = 440;

struct ServerEntry {
  char host[64];
  char service[32];
};

struct ServerList {
  ServerEntry entries[kMaxServers];
  int count = 0;
};

// Reads list (entries separated by ","; spaces around an entry ignored;
// empty entries skipped) into *out. An entry is a host, "host:port",
// "[IPv6]" or "[IPv6]:port"; a bare IPv6 address (two colons or more)
// takes no port. An entry without a port takes service. Entries beyond
// kMaxServers are ignored; a host or port longer than its buffer is cut.
// A list without entries gives one entry with the host "unknown".
void ParseServerList(const char* list, const char* service, ServerList* out);

// Puts the entries in a random order drawn from seed (Fisher-Yates).
void ShuffleServers(ServerList* list, uint64_t seed);

// Appends "host:service: reason" (with "; " before it unless buffer is
// empty) to buffer of kServerReasonsSize bytes; reason is cut to share
// the room fairly among count servers, and the whole stays within the
// buffer (the last one ends in "..." when it is cut).
void AppendServerReason(char* buffer, const ServerEntry& entry, const char* reason, int count);

#endif
