#pragma once
// Uploads, favourites and received files as small in-memory models, enough for the undo
// manager to take back their removals and additions: a waiting order of uploads, a table
// of favourites by name, a list of received files. Each object is a plain record behind
// the opaque handle the seams pass.

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/services/favourite_undo_service.h"
#include "app/queue/undo/undoable_action.h"
#include "app/sharing/services/received_file_service.h"
#include "app/upload/services/upload_queue_service.h"

namespace fakes {

struct FakeUpload {
  std::string name;
  std::string path;  // the upload's file
};

class FakeUploads : public upload::UploadQueueService {
 public:
  std::vector<std::shared_ptr<void>> listed;   // the uploads list
  std::vector<std::shared_ptr<void>> waiting;  // the waiting order
  int changes = 0;
  int requeues = 0;
  float rate = 0;

  static FakeUpload& Of(const upload::UploadHandle& u) { return *std::static_pointer_cast<FakeUpload>(u); }

  // What the uploads do when the user removes one: undoable, with its place and its file.
  void Remove(const upload::UploadHandle& u, bool trashFile, const std::string& trashFolder) {
    auto at = std::find(waiting.begin(), waiting.end(), u);
    const auto index =
        at == waiting.end() ? queue::kUndoNotWaiting : static_cast<std::uint32_t>(at - waiting.begin());
    queue::RegisterUndoUploadRemoved(u, index, trashFile);
    if (at != waiting.end()) waiting.erase(at);
    std::erase(listed, u);
    if (trashFile) Of(u).path = trashFolder + "/" + Of(u).name;
  }

  void RequeueActiveUploads() override { ++requeues; }
  float SumActiveUploadRates() override { return rate; }
  bool DeleteUploadsWithNoFile() override { return false; }
  void MarkUploadsChanged() override { ++changes; }
  void QueueSelectedUploads() override {}
  void HoldSelectedUploads() override {}
  void StopSelectedUploads() override {}
  void StartSelectedUploads() override {}
  std::size_t RemoveSelectedUploads(bool) override { return 0; }
  void AddToQueue(const upload::UploadHandle& u) override {
    listed.push_back(u);
    waiting.push_back(u);
  }
  void SelectUploadRow(const upload::UploadHandle&) override {}
  std::size_t WaitingCount() override { return waiting.size(); }
  void RemoveFromWaitingOrder(const upload::UploadHandle& u) override { std::erase(waiting, u); }
  void InsertIntoWaitingOrder(const upload::UploadHandle& u, std::size_t index) override {
    waiting.insert(waiting.begin() + static_cast<std::ptrdiff_t>(index), u);
  }
  std::optional<std::string> ResolveFilePath(const upload::UploadHandle& u) override { return Of(u).path; }
  void UpdateLocation(const upload::UploadHandle&) override {}
};

struct FakeFavourite {
  std::string name;
  std::optional<std::uint64_t> connection;
};

class FakeFavourites : public browser::FavouriteUndoService {
 public:
  std::map<std::string, std::shared_ptr<void>> table;
  std::vector<std::string> rows;
  int changes = 0;

  static FakeFavourite& Of(const browser::FavouriteHandle& f) {
    return *std::static_pointer_cast<FakeFavourite>(f);
  }

  std::optional<std::uint64_t> ConnectionIdentifier(const browser::FavouriteHandle& f) override {
    return Of(f).connection;
  }
  void RemoveFavourite(const browser::FavouriteHandle& f) override { table.erase(Of(f).name); }
  void RestoreFavourite(const browser::FavouriteHandle& f, std::optional<std::uint64_t> connection) override {
    Of(f).connection = connection;
    table[Of(f).name] = f;
  }
  void AddFavouriteRow(const browser::FavouriteHandle& f, bool) override { rows.push_back(Of(f).name); }
  void RemoveFavouriteRow(const browser::FavouriteHandle& f) override { std::erase(rows, Of(f).name); }
  void MarkFavouritesChanged() override { ++changes; }
};

struct FakeReceivedFile {
  std::string path;
};

class FakeReceivedFiles : public sharing::ReceivedFileService {
 public:
  std::vector<std::shared_ptr<void>> list;

  static FakeReceivedFile& Of(const sharing::ReceivedFileHandle& f) {
    return *std::static_pointer_cast<FakeReceivedFile>(f);
  }

  void StopSelectedReceivedFiles() override {}
  std::size_t RemoveSelectedReceivedFiles(bool) override { return 0; }
  void AddToList(const sharing::ReceivedFileHandle& f) override { list.push_back(f); }
  // As the received file's removeFromList: out of the list, undoably.
  void RemoveFromList(const sharing::ReceivedFileHandle& f) override {
    queue::RegisterUndoReceivedFileRemoved(f);
    std::erase(list, f);
  }
  std::optional<std::string> UpdatePath(const sharing::ReceivedFileHandle& f) override { return Of(f).path; }
  void SelectReceivedFileRow(const sharing::ReceivedFileHandle&) override {}
};

}  // namespace fakes
