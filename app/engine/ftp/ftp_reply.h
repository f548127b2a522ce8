#pragma once
// The text level of the FTP control connection: cutting server replies out of the bytes
// received, encoding commands, and reading the few replies whose text carries data
// (PWD's quoted path, PASV's address numbers, SIZE's number).
//
// A reply is one line "ddd text" or several lines, the first "ddd-text" and the last
// "ddd text" with the same code; lines in between may say anything (even start with
// another code). A reply is cut only once its last line and that line's end have arrived;
// what follows stays in the buffer for the next reply. Line ends are CR LF, and a bare
// LF is taken too, since some servers send one. A doubled 0xFF (Telnet's escaped IAC) in
// the bytes stands for one 0xFF. Each reply is decoded on its own (UTF-8, else ISO Latin
// 1), so a character split between two reads is never mangled.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace engine {

struct FTPReply {
  int code = 0;
  std::string last_line;  // the final line from its code on, without the line end
  std::string text;       // every line of the reply, line ends included
};

enum class FTPSplitResult {
  kIncomplete,  // wait for more bytes
  kComplete,    // `reply` is set and its bytes were taken from the buffer
  kMalformed,   // the buffer does not start with a reply code (or a line runs on forever)
};

// Lines longer than this are no reply: the connection is not talking FTP.
inline constexpr std::size_t kFTPMaxReplyLine = 16 * 1024;

// Cuts the first complete reply off the front of `buffer`.
FTPSplitResult FTPConnectionSplitReplies(std::string& buffer, FTPReply& reply);

// The bytes of a command line (which ends in CR LF) as they go on the wire: a 0xFF is
// doubled. Nothing when the line holds a CR or LF before its end, or no CR LF at the end:
// a line break inside a name would end the command early and let the rest of the name
// through as a command of its own.
std::optional<std::string> EncodeFTPCommand(std::string_view command);

// The command as it may be shown or logged: a password never is.
std::string FTPCommandForLog(std::string_view command);

// The path of a 257 reply's last line ("257 "/a ""b""" is current directory."): the text
// between the first quotation mark after a space and the first one that is not doubled,
// each doubled quotation mark read as one. Nothing when there is no quoted path.
std::optional<std::string> ParseFTPQuotedPath(std::string_view last_line);

// The six numbers of a 227 reply: h1,h2,h3,h4,p1,p2 ("227 Entering Passive Mode
// (127,0,0,1,195,80)"). Servers that leave out the parentheses are understood too.
struct FTPPassiveAddress {
  std::uint8_t address[4] = {0, 0, 0, 0};
  std::uint16_t port = 0;
};
std::optional<FTPPassiveAddress> ParseFTPPassiveReply(std::string_view last_line);

// The decimal number after the first space of a SIZE reply's last line; 0 when none.
std::int64_t ParseFTPSizeReply(std::string_view last_line);

}  // namespace engine
