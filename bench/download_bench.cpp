// truvane-bench-download: one download through the real engine (task, scheduler,
// transport, limiter), started the way the queue starts one, with its cost.
//
//   truvane-bench-download URL [--connections N] [--limit BYTES_PER_S] [--cacert FILE]
//                          [--timeout SECONDS] [--peer] --output PATH
//
// With --peer the URL is another copy's file server (truvane-bench-peer-server): its key
// is taken without asking, and every request carries a session key, so that the data
// comes enciphered as between two copies.
//
// HTTPS servers are trusted as the program trusts them: the system's roots, or the
// certificates in FILE with --cacert (the same as setting SSL_CERT_FILE=FILE). A server the
// bench cannot trust fails the run at once (the program would ask the user). A run still
// going after --timeout seconds (default 600) fails too.
//
// The limiter task runs as in the program (every read reports to it); --limit turns the
// download limit on at that rate. The resume file sits beside the output as PATH.ranges
// and is removed at the end. The engine renames the data file after the server's name
// for it, as for any download; the bench moves it back to PATH at the end. Prints wall time, CPU time (user,
// sys) and peak memory of the whole process, and exits 0 only when the download completed.

#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "app/engine/limits/bandwidth_limiter.h"
#include "app/engine/limits/limit_settings.h"
#include "app/engine/services/download_event_keys.h"
#include "app/engine/services/peer_session_service.h"
#include "app/engine/task/download_task.h"
#include "app/sharing/crypto/rsa_key.h"
#include "app/sharing/crypto/session_key.h"
#include "app/util/settings/settings_store.h"
#include "platform/prefs/preference_store.h"

namespace {

struct Arguments {
  std::string url;
  std::string output;
  int connections = 3;
  std::int64_t limit = 0;
  std::string cacert;
  double timeout = 600;
  bool peer = false;
};

// The bench's own loopback server: its key is trusted as it comes.
class BenchPeerSessions : public engine::PeerSessionService {
  class Cipher : public engine::PeerSessionCipher {
   public:
    explicit Cipher(sharing::SessionCipherPtr c) : c_(std::move(c)) {}
    void Apply(std::uint8_t* bytes, std::size_t length) override {
      sharing::SessionCipherApply(*c_, bytes, length);
    }

   private:
    sharing::SessionCipherPtr c_;
  };

 public:
  engine::PeerKey AcceptPeerKey(const std::string& keyText, const std::string&) override {
    return std::shared_ptr<const sharing::RSAKey>(sharing::RSAKey::FromPublicKeyString(keyText, "65537"));
  }
  std::unique_ptr<engine::PeerSessionCipher> CreateSession(const engine::PeerKey& key,
                                                           std::string& header) override {
    auto cipher = sharing::CreateSessionKey(*std::static_pointer_cast<const sharing::RSAKey>(key), header);
    return cipher ? std::make_unique<Cipher>(std::move(cipher)) : nullptr;
  }
};

int Usage() {
  std::fprintf(stderr,
               "usage: truvane-bench-download URL [--connections N] [--limit BYTES_PER_S] [--cacert FILE]\n"
               "                              [--timeout SECONDS] [--peer] --output PATH\n");
  return 2;
}

bool Parse(int argc, char** argv, Arguments& a) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--connections" && hasValue) {
      a.connections = std::atoi(argv[++i]);
    } else if (arg == "--limit" && hasValue) {
      a.limit = std::atoll(argv[++i]);
    } else if (arg == "--cacert" && hasValue) {
      a.cacert = argv[++i];
    } else if (arg == "--timeout" && hasValue) {
      a.timeout = std::atof(argv[++i]);
    } else if (arg == "--peer") {
      a.peer = true;
    } else if (arg == "--output" && hasValue) {
      a.output = argv[++i];
    } else if (!arg.starts_with("--") && a.url.empty()) {
      a.url = arg;
    } else {
      return false;
    }
  }
  return !a.url.empty() && !a.output.empty() && a.connections >= 1 && a.timeout > 0;
}

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!Parse(argc, argv, args)) return Usage();
  // Read by the TLS layer for every connection, as OpenSSL's own tools do.
  if (!args.cacert.empty()) ::setenv("SSL_CERT_FILE", args.cacert.c_str(), 1);

  // Settings of a throw-away user: the bench must not touch the real preferences.
  char folderTemplate[] = "/tmp/truvane-bench-XXXXXX";
  const char* folder = ::mkdtemp(folderTemplate);
  if (folder == nullptr) return 1;
  prefs::PreferenceStore store(folder);
  util::SetSettingsPreferences(&store);

  auto limiter = engine::BandwidthLimiter::Start("download limiter");
  if (!limiter) return 1;
  engine::SetLimiterQueue(engine::TransferDirection::kDownload, limiter->queue());
  engine::SetBandwidthLimitOn(engine::TransferDirection::kDownload, args.limit > 0);
  if (args.limit > 0) engine::SetDownloadBandwidthLimit(true, static_cast<std::int32_t>(args.limit));

  std::mutex mutex;
  std::condition_variable cv;
  std::int32_t reason = -1;
  bool untrusted = false;
  std::string finalPath;
  engine::DownloadRunOptions options;
  options.post = [&](runtime::EventRef event, runtime::EventPriority) {
    if (event->kind() == engine::kDownloadEventUnknownRoot ||
        event->kind() == engine::kDownloadEventCertificateQuestion) {
      std::lock_guard lock(mutex);
      untrusted = true;
      cv.notify_all();
    } else if (event->kind() == engine::kDownloadEventFinished) {
      std::lock_guard lock(mutex);
      reason = event->Get<std::int32_t>(values::FourCC("Reas")).value_or(engine::kFinishFailed);
      if (auto file = event->Get<runtime::FileRef>(values::FourCC("File"))) finalPath = file->path;
      cv.notify_all();
    }
  };
  options.log = [](std::string_view) {};
  engine::InstallDownloadEngine(std::move(options));
  if (args.peer) engine::PeerSessionServiceSlot::Set(std::make_unique<BenchPeerSessions>());

  // What the queue's StartDownload hands over for a fresh download.
  const std::string ranges = args.output + ".ranges";
  std::filesystem::remove(args.output);
  std::filesystem::remove(ranges);
  if (std::FILE* f = std::fopen(args.output.c_str(), "wb")) std::fclose(f);
  if (std::FILE* f = std::fopen(ranges.c_str(), "wb")) std::fclose(f);
  auto state = std::make_unique<engine::DownloadThreadState>();
  state->uid = 1;
  state->urlEntries.push_back(values::Value(values::Dictionary{{"url", args.url}}));
  state->dataFile = args.output;
  state->rangesFile = ranges;
  state->wantedConnections = args.connections;
  state->stopSource = std::make_shared<engine::DownloadStopSource>();

  const auto start = std::chrono::steady_clock::now();
  auto controller = engine::DownloadEngineServicesSlot::Get().StartDownloadTask(std::move(state));
  if (!controller) {
    std::fprintf(stderr, "the download task could not be started\n");
    return 1;
  }
  {
    std::unique_lock lock(mutex);
    const bool ended = cv.wait_for(lock, std::chrono::duration<double>(args.timeout),
                                   [&] { return reason >= 0 || untrusted; });
    // The task may be blocked on a question nobody answers: leave without waiting for it.
    if (untrusted) {
      std::fprintf(stderr,
                   "the server's certificate is not trusted: pass --cacert FILE or set SSL_CERT_FILE\n");
      std::fflush(nullptr);
      std::_Exit(1);
    }
    if (!ended) {
      std::fprintf(stderr, "no end after %.0f s\n", args.timeout);
      std::fflush(nullptr);
      std::_Exit(1);
    }
  }
  // The task posts its last event just before it returns; wait for it to be gone.
  while (engine::RunningDownloadTaskCount() != 0) ::usleep(1000);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // The engine names the file as the server does, as it does for the queue; the bench's
  // caller asked for its own name.
  if (!finalPath.empty() && finalPath != args.output) std::filesystem::rename(finalPath, args.output);

  engine::SetLimiterQueue(engine::TransferDirection::kDownload, 0);
  limiter.reset();
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::filesystem::remove(ranges);
  util::SetSettingsPreferences(nullptr);
  std::filesystem::remove_all(folder);

  const std::int64_t size = std::filesystem::exists(args.output)
                                ? static_cast<std::int64_t>(std::filesystem::file_size(args.output))
                                : 0;
  std::printf("bytes      %lld\n", static_cast<long long>(size));
  std::printf("wall       %.3f s (%.1f MiB/s)\n", wall,
              static_cast<double>(size) / 1048576.0 / (wall > 0 ? wall : 1));
  std::printf("cpu user   %.3f s\n", Seconds(usage.ru_utime));
  std::printf("cpu sys    %.3f s\n", Seconds(usage.ru_stime));
  std::printf("peak rss   %ld KiB\n", usage.ru_maxrss);
  std::printf("result     %s\n", reason == engine::kFinishComplete ? "complete" : "NOT complete");
  return reason == engine::kFinishComplete ? 0 : 1;
}
