// Session::FetchBlock: many rows of a cursor for one reply, built on the
// one-row fetch so that both give the same rows, limits and diagnostics.
#include "server/Session.h"

#include "protocol/RowBlock.h"

namespace velsrv {

int Session::FetchBlock(uint32_t id, const std::vector<uint16_t>& wanted, uint32_t budget,
                        std::vector<std::vector<CellOut>>* rows, Diagnostic* diagnostic) {
  rows->clear();
  if (budget > kMaxBlockBudget) budget = kMaxBlockBudget;
  uint64_t total = 0;
  for (;;) {
    std::vector<CellOut> row;
    const int rc = Fetch(id, wanted, &row);
    if (rc != kSqlSuccess) {
      // The row's diagnostic travels with the block: nothing is left for
      // a get-error request.
      GetError(id, diagnostic);
      return rc;
    }
    total += 2;  // the row's value count, then its values
    for (const CellOut& cell : row) total += 7 + cell.data.size();
    rows->push_back(std::move(row));
    if (total >= budget || rows->size() >= RowBlockElement::kMaxRows) return kSqlSuccess;
  }
}

}  // namespace velsrv
