// The one table of SQLSTATEs that differ between ODBC 2.x and 3.x.
#include "handles/SqlStates.h"

#include <cstdint>
#include <cstring>

namespace {

// Which way a row maps: both, or only one where the other side's state
// keeps its own meaning in that version (42000 is a 2.x state too).
enum Way : uint8_t { kBoth, kTo3, kTo2 };

struct StatePair {
  const char* odbc2;
  const char* odbc3;
  Way way;
};

// ODBC's published mapping. Where two 2.x states share a 3.x one (S1002
// and S1093 both became 07009), the first row gives the way back.
// clang-format off
constexpr StatePair kStates[] = {
    {"S1000", "HY000", kBoth}, {"S1001", "HY001", kBoth}, {"S1002", "07009", kBoth},
    {"S1003", "HY003", kBoth}, {"S1004", "HY004", kBoth}, {"S1008", "HY008", kBoth},
    {"S1009", "HY009", kBoth}, {"S1010", "HY010", kBoth}, {"S1011", "HY011", kBoth},
    {"S1012", "HY012", kBoth}, {"S1090", "HY090", kBoth}, {"S1091", "HY091", kBoth},
    {"S1092", "HY092", kBoth}, {"S1093", "07009", kBoth}, {"S1104", "HY104", kBoth},
    {"S1094", "HY104", kBoth}, {"S1096", "HY096", kBoth}, {"S1097", "HY097", kBoth},
    {"S1098", "HY098", kBoth}, {"S1099", "HY099", kBoth}, {"S1100", "HY100", kBoth},
    {"S1101", "HY101", kBoth}, {"S1103", "HY103", kBoth}, {"S1105", "HY105", kBoth},
    {"S1106", "HY106", kBoth}, {"S1107", "HY107", kBoth}, {"S1108", "HY108", kBoth},
    {"S1109", "HY109", kBoth}, {"S1110", "HY110", kBoth}, {"S1111", "HY111", kBoth},
    {"S1C00", "HYC00", kBoth}, {"S1T00", "HYT00", kBoth}, {"S0001", "42S01", kBoth},
    {"S0002", "42S02", kBoth}, {"S0011", "42S11", kBoth}, {"S0012", "42S12", kBoth},
    {"S0021", "42S21", kBoth}, {"S0022", "42S22", kBoth}, {"37000", "42000", kTo3},
    {"22005", "22018", kBoth}, {"S1T00", "HYT01", kTo2}, {"S1009", "HY024", kTo2},
    {"24000", "07005", kTo2}, {"22008", "22007", kTo2}, {"07001", "07002", kBoth},
};
// clang-format on

}  // namespace

const char* SqlStateFor(const char* state, bool odbc3) {
  for (const StatePair& pair : kStates) {
    const bool to3 = pair.way != kTo2, to2 = pair.way != kTo3;
    if (odbc3 && to3 && std::strcmp(state, pair.odbc2) == 0) return pair.odbc3;
    if (!odbc3 && to2 && std::strcmp(state, pair.odbc3) == 0) return pair.odbc2;
  }
  return state;
}
