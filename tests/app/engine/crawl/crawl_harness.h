#pragma once
// Runs one scan on a thread of its own, as the scan task does, and collects its 'SEX_'
// events on the test's main thread, where the program's handler would get them. Bounded:
// a scan that does not end in time fails the test (and is aborted).

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/crawl/crawl_request.h"
#include "platform/runtime/event.h"
#include "platform/runtime/event_target.h"
#include "platform/runtime/run_loop.h"

namespace engine::testing {

struct ScanPage {
  std::string url;
  std::vector<std::string> files;
  std::map<std::string, std::int64_t> sizes;
  bool hasSizes = false;
  bool hasPreserve = false;
};

struct ScanOutcome {
  bool finished = false;
  std::int32_t result = -1;
  std::vector<ScanPage> pages;
  std::string id;

  std::vector<std::string> Files() const {
    std::vector<std::string> all;
    for (const auto& p : pages) all.insert(all.end(), p.files.begin(), p.files.end());
    return all;
  }
  std::vector<std::string> PageURLs() const {
    std::vector<std::string> all;
    for (const auto& p : pages) all.push_back(p.url);
    return all;
  }
  const ScanPage* Page(const std::string& url) const {
    for (const auto& p : pages)
      if (p.url == url) return &p;
    return nullptr;
  }
};

inline ScanOutcome RunScan(const CrawlRequestRef& request, bool ftp,
                           std::chrono::seconds limit = std::chrono::seconds(60),
                           const std::function<void(const ScanOutcome&)>& onEvent = {}) {
  ScanOutcome outcome;
  auto target = runtime::EventTarget::Create(runtime::EventTarget::Kind::kObject);
  auto handler = target->InstallHandler(
      {{kEventClassLinkScan, kLinkScanEventFinished}, {kEventClassLinkScan, kLinkScanEventResults}},
      [&](runtime::HandlerCall&, runtime::Event& e) {
        outcome.id = e.Get<std::string>(kLinkScanParamID).value_or("");
        if (e.kind() == kLinkScanEventFinished) {
          outcome.finished = true;
          outcome.result = e.Get<std::int32_t>(kLinkScanParamResult).value_or(-1);
        } else {
          ScanPage page;
          page.url = e.Get<std::string>(kLinkScanParamPageURL).value_or("");
          if (const auto* list = e.Find<values::Value>(runtime::kParamDirectObject))
            if (const auto* array = list->AsArray())
              for (const auto& v : *array) page.files.push_back(v.StringOr(""));
          if (const auto* sizes = e.Find<values::Value>(kLinkScanParamSizes)) {
            page.hasSizes = true;
            if (const auto* dict = sizes->AsDictionary())
              for (const auto& [k, v] : *dict) page.sizes[k] = v.AsNumber() ? v.AsNumber()->AsInt64() : -1;
          }
          page.hasPreserve = e.Has(kLinkScanParamPreserve);
          outcome.pages.push_back(std::move(page));
        }
        if (onEvent) onEvent(outcome);
        return runtime::kNoErr;
      });
  request->eventTarget = target;
  std::thread worker([request, ftp] {
    if (ftp)
      CrawlFTPTask(request);
    else
      CrawlSiteTask(request);
  });
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto loop = runtime::RunLoop::Current();
  while (!outcome.finished && std::chrono::steady_clock::now() < deadline)
    loop->RunFor(std::chrono::milliseconds(50));
  if (!outcome.finished) {
    ADD_FAILURE() << "the scan did not end in time";
    request->Abort();
  }
  worker.join();
  handler->Remove();
  return outcome;
}

}  // namespace engine::testing
