#pragma once
// The connection of one online-disk or WebDAV browser tree, as the tree sees it: the
// operations it can start on its server, each answered later through the run loop, and
// the table of operations still pending, which routes each outcome back to the node that
// asked for it.
//
// An operation is a transaction (`TRDotMacTransaction`) that the connection starts and
// keeps until it ends; the node registers a record (`TRDMTransactionInfo`) under the
// transaction's id. When the transaction ends the connection looks the record up, lets
// it tell its node, removes it and updates the busy mark of the tree's source-list row.
// An outcome whose id has no record (never registered, or already cancelled) tells no one.
//
// Each connection gets a host id from a program-wide counter starting at 0xC0000000 (the
// FTP browser counts from 0x80000000, so the two never meet); it keys the tree's root, its
// Host and its row. Main thread only.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/webdav/dav_listing.h"

namespace browser {

inline constexpr std::uint32_t kFirstDotMacHostID = 0xC0000000u;

// What a failed transaction says went wrong.
inline constexpr int kDMErrorNone = 1;
inline constexpr int kDMErrorOther = 100;  // the HTTP status tells more
inline constexpr int kDMErrorLoginRefused = 101;
inline constexpr int kDMErrorOutOfSpace = 102;
inline constexpr int kDMErrorNoConnection = 103;
inline constexpr int kDMErrorNotFound = 104;

class TRDotMacTransaction {
 public:
  virtual ~TRDotMacTransaction() = default;
  virtual void abort() = 0;
  virtual std::string transactionID() const = 0;
  virtual int errorType() const = 0;
  // -1 before a reply came.
  virtual int httpStatusCode() const = 0;
  // The entries of a listing that succeeded; nothing otherwise.
  virtual const std::optional<std::vector<DMListingEntry>>& result() const = 0;
};
using TRDotMacTransactionRef = std::shared_ptr<TRDotMacTransaction>;

// One pending operation: which node asked for what. It keeps its nodes alive until the
// operation ends; the subclass tells them the outcome.
class TRDMTransactionInfo {
 public:
  explicit TRDMTransactionInfo(TRDotMacTransactionRef transaction) : transaction_(std::move(transaction)) {}
  virtual ~TRDMTransactionInfo() = default;
  const TRDotMacTransactionRef& transaction() const { return transaction_; }
  void abort() {
    if (transaction_) transaction_->abort();
  }
  virtual void succeeded() = 0;
  virtual void failed() = 0;
  // Only a listing is told that it was cancelled; other operations change nothing.
  virtual void aborted() {}

 private:
  TRDotMacTransactionRef transaction_;
};
using TRDMTransactionInfoRef = std::shared_ptr<TRDMTransactionInfo>;

class TRDotMacNodeConnection {
 public:
  TRDotMacNodeConnection();
  virtual ~TRDotMacNodeConnection() = default;
  TRDotMacNodeConnection(const TRDotMacNodeConnection&) = delete;
  TRDotMacNodeConnection& operator=(const TRDotMacNodeConnection&) = delete;

  std::uint32_t hostID() const { return hostID_; }
  const std::map<std::string, TRDMTransactionInfoRef>& transactions() const { return transactions_; }

  // Registers the record of an operation just started, under its transaction's id.
  void addTransactionInfo(TRDMTransactionInfoRef record);
  // The busy mark of the tree's source-list row and root: on while anything is pending.
  void updateProgressIndicator();
  // Aborts every pending operation (each then ends as aborted).
  void cancelAllTransactions();

  virtual void transactionSuccessful(TRDotMacTransaction& transaction);
  virtual void transactionHadError(TRDotMacTransaction& transaction);
  virtual void transactionAborted(TRDotMacTransaction& transaction);

  virtual std::string user() const = 0;
  virtual std::string password() const = 0;
  virtual std::string iDiskName() const = 0;
  virtual std::string type() const = 0;  // "idisk" or "webdav"
  virtual bool secure() const = 0;
  virtual std::string host() const = 0;
  virtual std::string urlForPath(const std::string& path) const = 0;

  // Each returns the started transaction, or nothing when it could not be started.
  virtual TRDotMacTransactionRef listCollectionAtPath(const std::string& path) = 0;
  virtual TRDotMacTransactionRef makeCollectionAtPath(const std::string& path) = 0;
  virtual TRDotMacTransactionRef deleteResourceAtPath(const std::string& path) = 0;
  virtual TRDotMacTransactionRef moveResourceAtPath(const std::string& source,
                                                    const std::string& destination) = 0;
  virtual TRDotMacTransactionRef copyResourceAtPath(const std::string& source,
                                                    const std::string& destination) = 0;

  // Tests: the next connection gets kFirstDotMacHostID again.
  static void ResetHostIDsForTesting();

 private:
  enum class Outcome { kSuccess, kFailure, kAborted };
  void dispatch(TRDotMacTransaction& transaction, Outcome outcome);

  std::map<std::string, TRDMTransactionInfoRef> transactions_;
  std::uint32_t hostID_;
};

}  // namespace browser
