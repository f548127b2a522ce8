#include "app/engine/crawl/crawl_events.h"

#include "platform/runtime/event.h"
#include "platform/runtime/event_queue.h"

namespace engine {
namespace {

runtime::EventRef NewEvent(const CrawlRequest& request, std::uint32_t kind) {
  runtime::EventRef event = runtime::Event::Create(kEventClassLinkScan, kind);
  event->SetPostTarget(request.eventTarget ? request.eventTarget : runtime::EventTarget::Application());
  event->Set(kLinkScanParamWindow, request.window);
  event->SetString(kLinkScanParamID, request.crawlID);
  return event;
}

}  // namespace

void CrawlPostResults(const CrawlRequest& request, const std::vector<std::string>& urls,
                      const std::string& pageURL, bool ftp,
                      const std::map<std::string, std::int64_t>* sizes) {
  runtime::EventRef event = NewEvent(request, kLinkScanEventResults);
  values::Array array;
  array.reserve(urls.size());
  for (const std::string& url : urls) array.emplace_back(url);
  event->SetValue(runtime::kParamDirectObject, values::Value(std::move(array)));
  event->SetString(kLinkScanParamPageURL, pageURL);
  event->SetInt32(kLinkScanParamConnections, request.connections);
  if (!ftp) event->SetBool(kLinkScanParamPreserve, request.preserveHierarchy);
  if (request.destinationFolder) event->SetFileRef(kLinkScanParamFolder, *request.destinationFolder);
  if (ftp && sizes) {
    values::Dictionary dict;
    for (const auto& [url, size] : *sizes) dict.emplace(url, values::Value(values::Number::Int64(size)));
    event->SetValue(kLinkScanParamSizes, values::Value(std::move(dict)));
  }
  runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

void CrawlPostFinished(const CrawlRequest& request, std::int32_t result) {
  runtime::EventRef event = NewEvent(request, kLinkScanEventFinished);
  event->SetInt32(kLinkScanParamResult, result);
  runtime::EventQueue::Main()->Post(std::move(event), runtime::EventPriority::kStandard);
}

}  // namespace engine
