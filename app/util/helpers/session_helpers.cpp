#include "app/util/helpers/session_helpers.h"

#include <uuid/uuid.h>

#include <map>

#include "app/ui/services/view_notifications.h"

namespace util {

bool gSessionDownloadFolderAsked = false;

namespace {

std::optional<std::string>& SessionId() {
  static std::optional<std::string> id;
  return id;
}

std::map<std::string, BatchAction>& BatchRegistry() {
  static std::map<std::string, BatchAction> registry;
  return registry;
}

}  // namespace

std::string CreateUUIDString() {
  uuid_t uuid;
  uuid_generate_random(uuid);
  char text[37];
  uuid_unparse_upper(uuid, text);
  return text;
}

const std::string& GetSessionUUIDString() {
  std::optional<std::string>& id = SessionId();
  if (!id) id = CreateUUIDString();
  return *id;
}

void ResetSessionState() {
  SessionId().reset();
  gSessionDownloadFolderAsked = false;
}

std::optional<BatchAction> LookupBatchAction(const std::string& batch_id) {
  if (batch_id.empty()) return std::nullopt;
  const auto& registry = BatchRegistry();
  auto it = registry.find(batch_id);
  if (it == registry.end()) return std::nullopt;
  return it->second;
}

void SetBatchAction(const std::string& batch_id, BatchAction action) {
  if (batch_id.empty()) return;
  BatchRegistry()[batch_id] = action;
  ui::PostBatchActionChange(batch_id);
}

}  // namespace util
