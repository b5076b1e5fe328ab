// Session::FetchBlock: many rows of a cursor for one reply, built on the
// one-row fetch so that both give the same rows, limits and diagnostics.
#include "server/Session.h"

namespace velsrv {

int Session::FetchBlock(uint32_t id, const std::vector<uint16_t>& wanted, uint32_t budget,
                        uint32_t maxRows,
                        const std::function<bool(const std::vector<CellOut>&)>& sink,
                        Diagnostic* diagnostic) {
  if (budget > kMaxBlockBudget) budget = kMaxBlockBudget;
  uint64_t total = 0;
  std::vector<CellOut> row;  // its cells keep their buffers from row to row
  for (uint32_t rows = 1;; ++rows) {
    int rc = Fetch(id, wanted, &row);
    if (rc == kSqlSuccess && !sink(row)) rc = PostError(id, "S1001", "memory allocation failure");
    if (rc != kSqlSuccess) {
      // The row's diagnostic travels with the block: nothing is left for
      // a get-error request.
      GetError(id, diagnostic);
      return rc;
    }
    total += 2;  // the row's value count, then its values
    for (const CellOut& cell : row) total += 7 + cell.data.size();
    if (total >= budget || rows >= maxRows) return kSqlSuccess;
  }
}

}  // namespace velsrv
