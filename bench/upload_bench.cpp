// truvane-bench-upload: one upload through the real upload queue, engine and event
// handler, started the way the program starts one, with its cost.
//
//   truvane-bench-upload FILE ftp://HOST:PORT USER PASSWORD REMOTE_FOLDER [--limit BYTES_PER_S]
//
// An "ftps://" host uploads over explicit TLS (the server's certificate must be trusted by
// the system). The upload limiter runs as in the program; --limit turns the limit on.
// Prints wall time, CPU time (user, sys) and peak memory of the whole process, and exits
// 0 only when the upload finished.

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/upload/events/upload_event_handler.h"
#include "app/upload/interface/upload_interface.h"
#include "app/upload/queue/upload_queue.h"
#include "platform/runtime/run_loop.h"

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: truvane-bench-upload FILE ftp://HOST:PORT USER PASSWORD REMOTE_FOLDER "
                 "[--limit BYTES_PER_S]\n");
    return 2;
  }
  const std::string host = argv[2];
  std::int64_t limit = 0;
  if (argc >= 8 && std::string(argv[6]) == "--limit") limit = std::atoll(argv[7]);

  auto limiter = engine::BandwidthLimiter::Start("upload limiter");
  if (limiter) engine::SetLimiterQueue(engine::TransferDirection::kUpload, limiter->queue());
  if (limit > 0 && limiter) {
    engine::SetBandwidthLimitOn(engine::TransferDirection::kUpload, true);
    limiter->SetRate(limit);
  }
  auto handler = upload::InstallUploadEventHandler(*runtime::EventTarget::Application());
  const bool tls = host.rfind("ftps://", 0) == 0;
  const auto start = std::chrono::steady_clock::now();
  auto item = upload::UploadItemCreateAndEnqueue(argv[1], host, std::nullopt, argv[3], argv[4], argv[5],
                                                 tls ? upload::kHostTypeFTPS : upload::kHostTypeFTP);
  if (!item || !upload::StartUpload(item)) {
    std::fprintf(stderr, "the upload could not start\n");
    return 1;
  }
  while (item->stateValue == upload::kUploadUploading || item->controller)
    runtime::RunLoop::Main()->RunFor(std::chrono::milliseconds(50), true);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("wall %.3f s  user %.3f s  sys %.3f s  peak %ld KB  state %d\n", wall,
              static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6,
              static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6,
              usage.ru_maxrss, item->stateValue);
  if (item->stateValue != upload::kUploadFinished)
    std::fprintf(stderr, "%s\n", upload::LogPlainText(item->log).c_str());
  handler->Remove();
  engine::SetLimiterQueue(engine::TransferDirection::kUpload, 0);
  return item->stateValue == upload::kUploadFinished ? 0 : 1;
}
