#include "app/browser/webdav/dotmac_connection.h"

#include "app/browser/hosts/host_list.h"
#include "app/browser/webdav/dotmac_node.h"
#include "app/ui/services/source_list_rows.h"

namespace browser {

namespace {

std::uint32_t& NextHostID() {
  static std::uint32_t next = kFirstDotMacHostID;
  return next;
}

}  // namespace

TRDotMacNodeConnection::TRDotMacNodeConnection() : hostID_(NextHostID()++) {}

void TRDotMacNodeConnection::ResetHostIDsForTesting() {
  NextHostID() = kFirstDotMacHostID;
}

void TRDotMacNodeConnection::addTransactionInfo(TRDMTransactionInfoRef record) {
  if (!record || !record->transaction()) return;
  transactions_[record->transaction()->transactionID()] = std::move(record);
  updateProgressIndicator();
}

void TRDotMacNodeConnection::updateProgressIndicator() {
  const bool busy = !transactions_.empty();
  const int index = FindDotMacHostIndex(hostID_);
  if (index >= 0) {
    if (HostRef host = GetHostAtIndex(static_cast<std::size_t>(index)); host && host->busy != busy) {
      host->busy = busy;
      ui::SourceListRowsServiceSlot::Get().SetHostRowBusy(
          kFirstHostViewID + static_cast<std::uint32_t>(index), busy);
    }
  }
  if (DotMacNodeRef root = DotMacNode::dotMacNodeForDotMacHostID(hostID_)) root->setBusy(busy);
}

void TRDotMacNodeConnection::cancelAllTransactions() {
  // Each abort ends its operation at once, which removes it from the table: walk a copy.
  std::vector<TRDMTransactionInfoRef> pending;
  for (const auto& [id, record] : transactions_) pending.push_back(record);
  for (const auto& record : pending) record->abort();
}

void TRDotMacNodeConnection::dispatch(TRDotMacTransaction& transaction, Outcome outcome) {
  const std::string id = transaction.transactionID();
  auto it = transactions_.find(id);
  if (it != transactions_.end()) {
    // Held here: the node told may start another operation or cancel this table.
    TRDMTransactionInfoRef record = it->second;
    switch (outcome) {
      case Outcome::kSuccess:
        record->succeeded();
        break;
      case Outcome::kFailure:
        record->failed();
        break;
      case Outcome::kAborted:
        record->aborted();
        break;
    }
    auto again = transactions_.find(id);
    if (again != transactions_.end() && again->second == record) transactions_.erase(again);
  }
  updateProgressIndicator();
}

void TRDotMacNodeConnection::transactionSuccessful(TRDotMacTransaction& transaction) {
  dispatch(transaction, Outcome::kSuccess);
}

void TRDotMacNodeConnection::transactionHadError(TRDotMacTransaction& transaction) {
  dispatch(transaction, Outcome::kFailure);
}

void TRDotMacNodeConnection::transactionAborted(TRDotMacTransaction& transaction) {
  dispatch(transaction, Outcome::kAborted);
}

}  // namespace browser
