#pragma once
// A plain-FTP download as a read stream: one file's bytes, or one folder's raw LIST
// bytes, read on a run loop like any other stream of the network layer.
//
// It is a thin adapter over the program's own command client (ftp_connection.h), so
// there is one FTP implementation, not two. A file URL runs the client in single-file
// download mode: login, TYPE I, PWD, CWD to the file's folder, SIZE when resource
// information is wanted, a data connection, REST when an offset is set, RETR. A URL whose
// path ends in "/" is a folder: the client runs in request-queue mode and lists it
// ("LIST -a"); the bytes are the listing as the server sent it, for
// ParseFTPResourceListing. Paths are relative to the login directory, as FTP URLs are,
// unless they begin with "%2F".
//
// Events (the bits of byte_stream.h):
//   kEventOpenCompleted  once: the server answered the transfer command, or its data
//                        began (whichever came first), always before kEventHasBytes;
//   kEventHasBytes       Read returns bytes; level-triggered, so a reader that takes less
//                        than what is there (a small bandwidth grant) loses nothing;
//   kEventEnd            the data ended and the server confirmed it with 226;
//   kEventError          the login, a command, the data or the end-of-transfer reply
//                        failed; Error() is the client's error: (FTP, reply code) for a
//                        refused reply (530 login, 550 no file, 451 broken off...), POSIX
//                        or name-lookup errors for the sockets.
// A transfer that the server breaks off is an error, never an end: the end-of-transfer
// reply is read only after the data, and only 226 ends the stream.
//
// Offsets: FileTransferOffset() is the offset that was asked for until the server has
// answered REST, and the offset the server actually sends from afterwards: 0 when it
// refused REST (the data is then the file from its start).
//
// Nothing here retries or times out; the caller owns both. Proxies are not supported.
// Plain FTP unless SetTlsRequired asks for explicit TLS.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/net/byte_stream.h"
#include "platform/net/stream_error.h"
#include "platform/values/url.h"

namespace runtime {
class RunLoop;
class Source;
}  // namespace runtime

namespace engine {

struct FTPConnectionParam;
class FTPConnectionIO;

class FTPReadStream {
 public:
  using Client = net::ByteStream::Client;
  // Makes the command client's network side; tests put a scripted one here. The default
  // is the program's socket side on the current thread's loop (ftp_socket_io.h).
  using IOFactory = std::function<std::unique_ptr<FTPConnectionIO>(const values::Url&)>;

  explicit FTPReadStream(values::Url url);
  ~FTPReadStream();
  FTPReadStream(const FTPReadStream&) = delete;
  FTPReadStream& operator=(const FTPReadStream&) = delete;

  // Set before Open.
  void SetUser(std::string user) { user_ = std::move(user); }
  void SetPassword(std::string password) { password_ = std::move(password); }
  void SetFileTransferOffset(std::int64_t offset) { offset_ = offset > 0 ? offset : 0; }
  // Ask the file's size (SIZE) before the transfer.
  void SetFetchResourceInfo(bool on) { fetch_info_ = on; }
  // Accepted for the callers that ask for it; every stream logs in on its own connection.
  void SetAttemptPersistentConnection(bool on) { persistent_ = on; }
  void SetIOFactory(IOFactory factory) { io_factory_ = std::move(factory); }
  // The system's FTP passive setting; default: the process's proxy settings at Open.
  void SetPassive(bool on) { passive_ = on ? 1 : 0; }
  // Explicit TLS (AUTH TLS) on the control and data connections, for ftps URLs.
  void SetTlsRequired(bool on) { tls_required_ = on; }

  void SetClient(unsigned events, Client client);
  // False when the stream cannot be opened at all (opened before, no URL host, no loop);
  // failures of the connection itself come as kEventError.
  bool Open(std::shared_ptr<runtime::RunLoop> loop = nullptr);
  // Drops the connections (QUIT when the server can take it); no event comes after it.
  void Close();

  // A count > 0, kStreamAtEnd, kStreamFailed or kStreamWouldBlock.
  std::ptrdiff_t Read(void* out, std::size_t size);
  bool HasBytesAvailable() const { return data_ready_; }
  net::StreamStatus Status() const { return status_; }
  net::StreamError Error() const { return error_; }
  // The data connection's socket; -1 when there is none.
  int Descriptor() const;

  const values::Url& Url() const { return url_; }
  bool IsFolderListing() const { return listing_; }
  std::int64_t FileTransferOffset() const;
  // The size SIZE gave; -1 when it was not asked, refused or not answered yet.
  std::int64_t ResourceSize() const { return resource_size_; }
  bool ResourceInfoKnown() const { return size_answered_; }
  bool WantsPersistentConnection() const { return persistent_; }

 private:
  void OnMessage(FTPConnectionParam& connection, int message, bool& stop);
  void OnDataEvent(FTPConnectionParam& connection, int event);
  void DataFinished();
  void Fail(net::StreamError error);
  void Post(net::StreamEvent event);
  void PerformPosted();

  values::Url url_;
  std::string user_;
  std::string password_;
  std::int64_t offset_ = 0;
  bool fetch_info_ = false;
  bool persistent_ = false;
  int passive_ = -1;  // -1: the process's setting
  bool tls_required_ = false;
  bool listing_ = false;
  IOFactory io_factory_;

  std::shared_ptr<runtime::RunLoop> loop_;
  std::shared_ptr<runtime::Source> posted_source_;
  unsigned posted_ = 0;
  unsigned events_ = 0;
  std::shared_ptr<Client> client_;

  std::unique_ptr<FTPConnectionParam> connection_;
  net::StreamStatus status_ = net::StreamStatus::kNotOpen;
  net::StreamError error_;
  bool data_ready_ = false;
  bool data_finished_ = false;  // the data connection ended; waiting for the end reply
  bool complete_reply_ = false;
  bool open_delivered_ = false;  // kEventOpenCompleted went out (once)  // 226 came before the data had ended
  bool rest_answered_ = false;
  bool transfer_answered_ = false;  // 150/125 came
  // A data connection that failed before the transfer command was answered: the reply,
  // when it refuses (550...), says more, so the failure waits for it.
  net::StreamError early_data_error_;
  bool size_answered_ = false;
  std::int64_t resource_size_ = -1;
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace engine
