#pragma once
// The FTP and explicit FTPS command client.
//
// One `FTPConnectionParam` is one control connection to one server and its current data
// connection. The client logs in (optionally after "AUTH TLS", "PBSZ 0", "PROT P"), finds
// the working directory, changes directories, asks sizes and file facts, opens data
// connections (passive, or active by EPRT and then PORT) and issues the transfer commands.
// It never moves file data: the caller reads or writes the data connection.
//
// The client is a state machine over text. It owns no socket: an `FTPConnectionIO` does
// the networking and reports back through the FTPConnection...Received/Ended/Opened
// functions below; tests drive it with replies and read the commands it wrote. The `state`
// field says what the next reply answers (the `FTPState` numbers); callers learn of
// progress through one callback with an `FTPMessage`. A callback that closes or frees the
// connection, or takes over the next step, sets its stop flag: the client then returns at
// once and touches the record no more.
//
// Three kinds of callers, told apart by two flags: single-file download (neither flag),
// single-file upload (`upload_mode`) and the request queue (`queue_mode`), whose typed
// requests (ftp_request_queue.h) run one after another on one logged-in connection.
//
// Safety beyond what servers are trusted with: a command whose argument holds a CR or LF
// is refused, never sent (it would smuggle in a second command); a passive data
// connection goes to the control connection's peer at the port the PASV reply names,
// never to the address it names (a server could aim us at any host).

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/engine/ftp/ftp_reply.h"
#include "app/engine/ftp/ftp_request.h"
#include "app/engine/ftp/ftp_resource_listing.h"
#include "platform/net/certificate.h"
#include "platform/net/stream_error.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace engine {

enum class FTPMessage : int {
  kFailed = 0,            // a refused reply, a stream error or end, a failed send; or a request failed
  kTransferAnswered = 1,  // 125/150 to a transfer command; or a non-transfer request succeeded
  kTransferComplete = 2,  // 226
  kTransferFailed = 3,    // the transfer ended with another code (data connection closed)
  kDataOpened = 4,        // the data connection is open (and protected, when it should be)
  kIdle = 5,              // queue mode: logged in and idle
  kQueueEmpty = 6,        // queue mode: a request would start but there is none
  kRequestStarting = 7,   // queue mode: the head request is about to start
  kBeginFile = 8,         // an upload request is about to begin a file
  kCommandSent = 9,       // a command is about to be written (for logs; passwords masked)
  kReplyReceived = 10,    // a whole reply arrived (for logs)
  kStatHandled = 11,      // the STAT reply was read; `file_date` holds the date found
  kSizeHandled = 12,      // a 2xx SIZE reply was read; `remote_size` holds the size
};

// What the next reply answers. Replies in kSingleTransferDone, kHeldAfterStat and above
// kPort fail; a reply while idle is ignored.
enum FTPState : int {
  kFTPStateWelcome = 1,
  kFTPStateAuthTls = 2,
  kFTPStatePbsz = 3,
  kFTPStateProt = 4,
  kFTPStateUser = 5,
  kFTPStatePass = 6,
  kFTPStateType = 7,
  kFTPStatePwd = 8,
  kFTPStateCwd = 9,
  kFTPStateSize = 10,
  kFTPStatePasv = 12,
  kFTPStateRest = 13,
  kFTPStateTransferCommand = 14,
  kFTPStateTransferRunning = 15,
  kFTPStateSingleTransferDone = 16,
  kFTPStateIdle = 17,
  kFTPStateDeleteFile = 18,
  kFTPStateRemoveFolder = 19,
  kFTPStateMakeFolder = 20,
  kFTPStateChmod = 21,
  kFTPStateRenameFrom = 22,
  kFTPStateRenameTo = 23,
  kFTPStateHeldAfterStat = 24,
  kFTPStateStat = 25,
  kFTPStateEprt = 26,
  kFTPStatePort = 27,
  // The control connection's TLS handshake runs; no reply is expected.
  kFTPStateControlHandshake = 28,
};

// TLS levels: plain FTP, or explicit TLS required.
inline constexpr int kFTPTlsNone = 1;
inline constexpr int kFTPTlsRequired = 3;

// `flags` bit: the server answered 500 to SIZE, so SIZE is not sent again.
inline constexpr std::uint32_t kFTPFlagNoSize = 1;

// How a read or write on the data connection went.
enum class FTPDataResult {
  kOk,          // bytes moved
  kWouldBlock,  // nothing now; a kHasBytes / kCanWrite event follows
  kEnd,         // the server ended the data (reads)
  kError,       // see the record's error
};

// What the data connection tells the caller that moves the file's bytes.
enum class FTPDataEvent {
  kHasBytes,
  kCanWrite,
  kEnd,    // the server closed the data connection: all bytes were delivered
  kError,  // the record's error says what
};

struct FTPConnectionParam;

struct FTPEndpoint {
  std::uint8_t address[4] = {0, 0, 0, 0};
  std::uint16_t port = 0;
};

// The network side of a connection. Calls come from the client on the connection's own
// thread; the IO reports back by calling the FTPConnection... event functions on that
// same thread, never from inside one of these calls.
class FTPConnectionIO {
 public:
  virtual ~FTPConnectionIO() = default;

  // Connects the control connection. Received bytes, the end and errors are reported
  // through FTPConnectionControlReceived / ...ControlEnded / ...ControlFailed.
  virtual void OpenControl() = 0;
  // Queues bytes for the server (through TLS once it runs). False when the connection
  // can take nothing any more (ended, closed or failed).
  virtual bool WriteControl(std::string_view bytes) = 0;
  // The control connection exists and has neither ended nor failed.
  virtual bool IsControlUsable() const = 0;
  // Starts TLS on the control connection, with a deadline; the outcome comes back
  // through FTPConnectionControlTlsDone.
  virtual void StartControlTls() = 0;
  virtual void CloseControl() = 0;

  // Passive mode: a data connection to the control connection's peer at `port`. With
  // `protect`, it runs TLS resuming the control connection's session. The outcome comes
  // back through FTPConnectionDataOpened / FTPConnectionDataFailed.
  virtual void ConnectData(std::uint16_t port, bool protect) = 0;
  // Active mode: listens for the server's data connection. `local` gets the control
  // connection's local IPv4 address and the listening port. The accepted connection is
  // reported as above.
  virtual net::StreamError ListenForData(bool protect, FTPEndpoint& local) = 0;
  // Closes the data connection and any listening socket.
  virtual void CloseData() = 0;
  // The data connection is open and has not ended yet.
  virtual bool IsDataOpen() const = 0;

  // The file's bytes, through TLS when the data connection is protected.
  virtual FTPDataResult ReadData(void* out, std::size_t size, std::size_t& got, net::StreamError& error) = 0;
  virtual FTPDataResult WriteData(const void* data, std::size_t size, std::size_t& written,
                                  net::StreamError& error) = 0;
  // Nothing more will be written (an upload is complete): the server sees the end once
  // what is queued has gone out.
  virtual void FinishDataWrites() = 0;

  // The record this IO reports to; called once by FTPConnectionCreate.
  virtual void Attach(FTPConnectionParam& connection) {}

  // The control connection's TLS peer, leaf first: after the handshake, and after a
  // failed one (the certificate a trust question is about). Empty without TLS.
  virtual net::CertificateChain ControlPeerCertificates() const { return {}; }
  // The data connection's socket (receive-buffer sizing); -1 when there is none.
  virtual int DataDescriptor() const { return -1; }
};

// (record, message, text or nothing, stop flag: false on entry).
using FTPClientCallback =
    std::function<void(FTPConnectionParam&, FTPMessage, const std::optional<std::string>&, bool&)>;

struct FTPConnectionParam {
  std::unique_ptr<FTPConnectionIO> io;
  std::uint32_t flags = 0;  // kFTPFlag...
  int state = kFTPStateWelcome;
  // Upload request steps: bit 0 entering the new folder, bit 1 the new folder was made.
  std::uint32_t request_steps = 0;
  std::string reply_buffer;  // control bytes not yet cut into replies
  FTPClientCallback callback;
  // Events of the data connection, for the caller that moves the bytes.
  std::function<void(FTPConnectionParam&, FTPDataEvent)> data_callback;
  // The last failure; set to (FTP, code) before each reply is handled.
  net::StreamError error;

  values::Url url;  // host, port and, for single transfers, the file's path
  std::string user;
  std::string password;

  std::deque<FTPRequest> request_queue;  // queue mode
  bool has_current_request = false;      // the head of the queue is running
  int current_request_type = 0;          // FTPRequestType of the running request
  bool queue_mode = false;

  std::optional<std::string> base_path;  // "/" once logged in
  std::string current_directory;         // after the last successful CWD, ends in "/" after PWD
  std::string pending_directory;         // target of the CWD in flight
  std::string current_file_name;         // upload requests: the remote name; also STAT's target
  std::int64_t local_file_size = 0;      // upload requests, set by the caller on kBeginFile
  bool directory_entered = false;        // names go relative to the current directory

  bool upload_mode = false;
  std::int64_t restart_offset = 0;  // downloads: REST offset; 0 after a refused REST
  bool size_wanted = false;         // downloads: ask SIZE first
  bool logged_in = false;
  std::int64_t remote_size = 0;

  int tls_level = kFTPTlsNone;
  bool protection_buffer_sent = false;
  bool control_tls = false;     // the control connection runs TLS
  bool data_protected = false;  // "PROT P" was answered 200
  bool request_finished = false;
  std::uint64_t request_serial = 0;       // counts started requests, so a late finish cannot hit the next one
  std::optional<values::Date> file_date;  // from the last STAT reply
  bool transfer_begun = false;

  bool pasv_preferred = true;
  bool active_mode = false;      // data connections by EPRT (listening socket)
  bool plain_port = false;       // EPRT failed: PORT
  bool data_via_listen = false;  // the current data connection is an active one
  bool control_reading_held = false;

  // Internal: replies are being handled (a nested close must not handle them again).
  bool handling_replies = false;
};

// `system_prefers_passive` is the system's FTP passive setting (net::ProxySettings);
// without it, data connections start active. Nothing, with `error` set, when the URL has
// no host ((Mac OS status, -50)).
std::unique_ptr<FTPConnectionParam> FTPConnectionCreate(const values::Url& url, std::string user,
                                                        std::string password,
                                                        std::unique_ptr<FTPConnectionIO> io,
                                                        bool system_prefers_passive,
                                                        net::StreamError* error = nullptr);
// After the caller set callback, TLS level and one mode: connects and logs in by itself.
void FTPConnectionOpen(FTPConnectionParam& connection);
bool FTPConnectionIsUsable(const FTPConnectionParam& connection);
// Sends QUIT when it can and closes everything. The record may be dropped afterwards.
void FTPConnectionClose(FTPConnectionParam& connection);

// `command` ends in CR LF. False when it cannot be sent (connection gone, or a CR or LF
// inside the line: (Mac OS status, -50)). True also when the client stopped during
// the kCommandSent message (then nothing was sent).
bool FTPConnectionSendCommand(FTPConnectionParam& connection, const std::string& command);

// Asks for a data connection now (PASV, EPRT or PORT as the connection's mode says).
void FTPConnectionOpenDataConnection(FTPConnectionParam& connection);
void FTPConnectionCloseDataConnection(FTPConnectionParam& connection);
// Upload requests: begins the next file (kBeginFile first). True when the client stopped.
bool FTPConnectionBeginTransfer(FTPConnectionParam& connection);

// The data connection's bytes (errors go to the record's error).
FTPDataResult FTPConnectionReadData(FTPConnectionParam& connection, void* out, std::size_t size,
                                    std::size_t& got);
FTPDataResult FTPConnectionWriteData(FTPConnectionParam& connection, const void* data, std::size_t size,
                                     std::size_t& written);
void FTPConnectionFinishDataWrites(FTPConnectionParam& connection);

// Events from the IO.
void FTPConnectionControlReceived(FTPConnectionParam& connection, std::string_view bytes);
void FTPConnectionControlEnded(FTPConnectionParam& connection);
void FTPConnectionControlFailed(FTPConnectionParam& connection, net::StreamError error);
void FTPConnectionControlTlsDone(FTPConnectionParam& connection, net::StreamError error);
void FTPConnectionDataOpened(FTPConnectionParam& connection);
void FTPConnectionDataFailed(FTPConnectionParam& connection, net::StreamError error);
// After the data connection opened: bytes, room, end or failure (error set when failed).
void FTPConnectionDataEventReceived(FTPConnectionParam& connection, FTPDataEvent event,
                                    net::StreamError error = {});

// The modification date and the rest of the facts of one listing line (a STAT reply's
// or a LIST line); bytes used as ParseFTPResourceListing counts them.
std::int64_t FTPConnectionParseListing(std::string_view bytes, std::optional<FTPResource>& resource);

}  // namespace engine
