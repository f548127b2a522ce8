#include "app/engine/afp/afp_transport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "app/engine/ftp/ftp_transport.h"
#include "app/engine/services/volume_mounter.h"
#include "app/engine/task/download_timing.h"
#include "platform/runtime/run_loop.h"
#include "platform/runtime/unique_fd.h"
#include "platform/values/url_escape.h"

namespace engine {
namespace {

constexpr int kFileNotFound = -43;
constexpr int kParamError = -50;
// The guest login of a file server: no user authentication.
constexpr const char* kGuestUser = ";AUTH=No%20User%20Authent";

net::StreamError MacStatus(int status) {
  return {net::ErrorDomain::kMacOsStatus, status};
}

// The file's path inside the volume: what follows the volume's name. Nothing when the
// URL names no volume or the path would leave it.
std::optional<std::string> PathInsideVolume(const values::Url& url) {
  const std::string strict = url.StrictPath();
  const std::size_t slash = strict.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string escaped = strict.substr(slash + 1);
  std::string path = values::PercentUnescape(escaped).value_or(escaped);
  std::size_t begin = 0;
  while (begin <= path.size()) {
    const std::size_t end = std::min(path.find('/', begin), path.size());
    if (path.compare(begin, end - begin, "..") == 0 && end - begin == 2) return std::nullopt;
    begin = end + 1;
  }
  if (path.find('\0') != std::string::npos) return std::nullopt;
  return path;
}

class AFPConnectionOfDownload final : public TransportConnection {
 public:
  explicit AFPConnectionOfDownload(DownloadConnection& connection) : connection_(connection) {}
  ~AFPConnectionOfDownload() override { Close(); }

  bool Open() {
    const values::Url& url = connection_.URL();
    const DownloadFacts& download = connection_.Download();
    std::string user;
    std::string password;
    if (download.user && download.password) {
      user = *download.user;
      password = *download.password;
    } else {
      const auto unescape = [](const std::optional<std::string>& s) {
        return s ? values::PercentUnescape(*s).value_or(*s) : std::string();
      };
      user = unescape(url.User());
      password = unescape(url.Password());
    }
    connection_.Log("Starting Volume Mount\r");
    if (user.empty()) {
      user = kGuestUser;
      password.clear();
    }
    loop_ = runtime::RunLoop::Current();
    std::weak_ptr<char> alive = alive_;
    int status = 0;
    mount_ = VolumeMounterSlot::Get().MountServerVolume(
        url, user, password, loop_,
        [this, alive](int result) {
          if (!alive.expired() && !closed_) Mounted(result);
        },
        status);
    if (!mount_) {
      if (status == kVolumeMountUnsupported)
        connection_.Log("AFP volumes cannot be mounted on this system\r");
      connection_.Log("Volume Mount failed instantly: " + std::to_string(status) + "\r");
      connection_.SetError(MacStatus(status));
      return false;
    }
    connection_.NoteActivity();
    connection_.SetTimeout(kConnectionTimeout);
    return true;
  }

  void Close() override {
    if (closed_) return;
    closed_ = true;
    if (reader_) {
      reader_->Invalidate();
      if (loop_) loop_->RemoveSource(reader_);
      reader_.reset();
    }
    file_ = runtime::UniqueFd();
    mount_.reset();  // cancels a mount in progress, unmounts a mounted volume
  }

 private:
  void Mounted(int status) {
    connection_.Log("Volume Mount completed with status " + std::to_string(status) +
                    ", vol is: " + std::to_string(mount_ ? mount_->VolumeId() : 0) + "\r");
    connection_.NoteActivity();
    if (status == kVolumeMountCancelled) {
      // The user cancelled the server's login: the download stops, it did not fail, and
      // no retry asks again.
      connection_.Log("user cancelled");
      connection_.StopDownload();
      connection_.End(kStreamStopped);
      return;
    }
    if (status == kVolumeMountNeedsAuth) {
      connection_.End(kStreamError | kStreamNeedsAuth);
      return;
    }
    if (status != 0) {
      FailFatally(MacStatus(status));
      return;
    }
    const std::string root = mount_->RootPath();
    if (root.empty()) {
      connection_.Log("Find root with status " + std::to_string(kFileNotFound) + "\r");
      FailFatally(MacStatus(kFileNotFound));
      return;
    }
    const auto inside = PathInsideVolume(connection_.URL());
    if (!inside) {
      connection_.Log("URL has no volume name\r");
      FailFatally(MacStatus(kParamError));
      return;
    }
    const std::string path = root + (root.ends_with('/') ? "" : "/") + *inside;
    connection_.Log("created url\r");

    if (!connection_.Download().sizeKnown) {
      struct stat info {};
      const bool found = ::stat(path.c_str(), &info) == 0;
      if (!found || !S_ISREG(info.st_mode)) {
        const net::StreamError error = !found ? net::PosixError(errno) : MacStatus(kFileNotFound);
        connection_.Log("Find root with status " + std::to_string(error.code) + "\r");
        FailFatally(error);
        return;
      }
      connection_.SetServerSize(info.st_size);
      connection_.LearnFileSize(info.st_size);
      if (closed_) return;
    }

    connection_.Log("created read stream\r");
    if (connection_.Range().location > 0) connection_.Log("Setting range\r");
    file_ = runtime::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file_.get() < 0) {
      const net::StreamError error = net::PosixError(errno);
      connection_.Log("open stream failed\r");
      FailFatally(error);
      return;
    }
    connection_.Log("opening stream...\r");
    std::weak_ptr<char> alive = alive_;
    reader_ = runtime::Source::Create([this, alive] {
      if (!alive.expired() && !closed_) ReadOnce();
    });
    loop_->AddSource(reader_);
    connection_.Log("open stream completed\r");
    reader_->Signal();
  }

  void FailFatally(net::StreamError error) {
    connection_.SetError(error);
    connection_.End(kStreamError | kStreamFatal);
  }

  // One read per pass of the loop, so that the tick, the stop source and the other
  // connections get their turn between reads.
  void ReadOnce() {
    connection_.NoteActivity();
    auto buffer = connection_.ReadBuffer();
    const std::size_t grant = connection_.RequestBandwidth(buffer.size());
    if (closed_) return;
    if (grant < 1) {
      reader_->Signal();
      return;
    }
    ssize_t n;
    do {
      n = ::pread(file_.get(), buffer.data(), std::min(grant, buffer.size()),
                  static_cast<off_t>(connection_.WriteOffset()));
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      connection_.ReportTransfer(grant - static_cast<std::size_t>(n), static_cast<std::size_t>(n));
      if (!connection_.WriteReceived(static_cast<std::size_t>(n))) return;
      if (!closed_) reader_->Signal();
      return;
    }
    connection_.ReportTransfer(grant, 0);
    if (n == 0) {
      // The end of the file ends the connection, also when its range runs to the end.
      connection_.End(FTPTransferEndFlags(connection_));
      return;
    }
    connection_.SetError(net::PosixError(errno));
    connection_.End(kStreamError);
  }

  DownloadConnection& connection_;
  std::shared_ptr<runtime::RunLoop> loop_;
  std::unique_ptr<VolumeMount> mount_;
  runtime::UniqueFd file_;
  std::shared_ptr<runtime::Source> reader_;
  bool closed_ = false;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace

std::unique_ptr<TransportConnection> AFPTransport::Open(DownloadConnection& connection) {
  auto c = std::make_unique<AFPConnectionOfDownload>(connection);
  if (!c->Open()) return nullptr;
  return c;
}

void RegisterAFPTransport() {
  DownloadTransports().Register("afp", std::make_shared<AFPTransport>());
}

}  // namespace engine
