#include <algorithm>

#include "app/engine/crawl/crawl_request.h"
#include "platform/runtime/task.h"

namespace engine {

CrawlRequestRef CreateCrawlRequest() {
  auto request = std::make_shared<CrawlRequest>();
  request->cancelSource = runtime::Source::Create([] {
    if (auto loop = runtime::RunLoop::Current()) loop->Stop();
  });
  return request;
}

bool StartCrawlTask(const CrawlRequestRef& request) {
  std::string scheme = request->startURL.substr(0, request->startURL.find(':'));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
  const bool ftp = scheme == "ftp" || scheme == "ftps";
  runtime::TaskOptions options;
  options.name = ftp ? "ftp crawl" : "page crawl";
  options.stack_size = 64 * 1024;
  auto task = runtime::Task::Start(std::move(options), [request, ftp] {
    if (ftp)
      CrawlFTPTask(request);
    else
      CrawlSiteTask(request);
    return runtime::kNoErr;
  });
  return task != nullptr;
}

}  // namespace engine
