#pragma once
// URLs as the rest of the program expects them to behave.
//
// A `Url` is an immutable value: the text it was made from (kept exactly, never
// normalised) and, for a relative reference, the absolute base it is relative to.
//
// Making one refuses text that is not legal URL text, and callers rely on that refusal
// to escape the text and try again. Legal text holds only the characters that
// url_escape.h lists as legal, plus "%" followed by two hex digits, at most one "#",
// and "[" "]" (for IPv6 literals, accepted anywhere). Space, control characters, DEL,
// non-ASCII, a lone or malformed "%", a second "#" and any of  " < > \ ^ ` { | }  refuse
// the text. The empty text is a legal (empty) relative reference.
//
// Parsing splits the text in the RFC 1808 manner:
//     scheme ":" "//" net-location path ";" parameters "?" query "#" fragment
// The scheme is a letter followed by letters, digits, "+", "-" or "." before the first
// ":". Text with a scheme whose next character is not "/" ("mailto:a@b", "news:x",
// "http:") cannot be decomposed: it has a scheme and a resource specifier (all that
// follows the ":", fragment included) and nothing else. In a decomposable URL the
// fragment starts at the "#"; the net location runs from "//" to the next "/" or "?";
// the query starts at the first "?" after it; the parameters start at the first ";" of
// what is left, and the rest is the path. The net location is
//     [user [":" password] "@"] host [":" port]
// split at its last "@" and the user info at its first ":"; a host in "[...]" is an
// IPv6 literal whose colons are not a port.
//
// Which accessors unescape:
//   unescaped (UTF-8; the escaped text when the escapes do not decode):
//       Host, User, Password
//   unescaped except "%2F" (no value when the escapes do not decode):
//       FileSystemPath, LastPathComponent, PathExtension
//   as they stand in the text, escapes and all:
//       Scheme, NetLocation, Path, StrictPath, ParameterString, Query, Fragment,
//       ResourceSpecifier, String, AbsoluteString
// Unescape the escaped ones with PercentUnescape when wanted (a fragment that should
// keep ":/?" escaped: PercentUnescape(*url.Fragment(), ":/?")).
//
// A relative URL answers Scheme, NetLocation, Host, Port, User and Password from its base
// when it has neither scheme nor net location of its own; HasDirectoryPath from the base
// when its own path is empty; FileSystemPath from its absolute form. The other
// components are its own text's. Absolute resolution follows RFC 3986 section 5.2 with
// ";parameters" counted as part of the path; a reference with a scheme is taken as it
// stands (dot segments in it are kept, "http:g" stays "http:g").

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace values {

enum class UrlComponent : unsigned char {
  kScheme,
  kNetLocation,
  kPath,
  kResourceSpecifier,
  kUser,
  kPassword,
  kUserInfo,
  kHost,
  kPort,
  kParameterString,
  kQuery,
  kFragment,
};

// Where a component stands in a URL's text (String()), in bytes.
struct UrlComponentRange {
  static constexpr std::size_t kNowhere = static_cast<std::size_t>(-1);
  bool present = false;
  // The component itself; empty at the insertion point when absent.
  std::size_t offset = kNowhere;
  std::size_t length = 0;
  // The component with its delimiters: "http:", "//host", "user:pass@", ":pass", ":21",
  // ";type=i", "?q", "#f" (user, host, path and resource specifier have none). When the
  // component is absent: an empty range where it would be inserted (user info: right
  // behind the "//"), or kNowhere when it has no place in this URL.
  std::size_t outerOffset = kNowhere;
  std::size_t outerLength = 0;
};

class Url {
 public:
  Url() = default;  // the empty relative reference ""

  // No value when the text is not legal URL text (see above).
  static std::optional<Url> Create(std::string_view text);
  // Relative to `base`; text with a scheme of its own drops the base.
  static std::optional<Url> Create(std::string_view text, const Url& base);
  // Create(text, base) resolved to an absolute URL without a base.
  static std::optional<Url> CreateAbsolute(std::string_view text, const Url& base);

  // The text as given (for a relative URL, the relative text).
  const std::string& String() const { return text_; }
  // The absolute base of a relative URL; nullptr when there is none.
  const Url* Base() const { return base_.get(); }
  // Resolved against the base; the URL itself when it has none.
  Url Absolute() const;
  std::string AbsoluteString() const { return Absolute().String(); }

  bool IsDecomposable() const { return decomposable_; }

  std::string Scheme() const;  // "" when none; case as written
  std::optional<std::string> NetLocation() const;
  // IPv6 literals without their brackets. No value when there is no host or it is empty
  // ("file:///tmp").
  std::optional<std::string> Host() const;
  int Port() const;  // -1 when there is none, it is empty or not a number
  std::optional<std::string> User() const;
  std::optional<std::string> Password() const;

  std::string Path() const;        // "" when none; without ";parameters"
  std::string StrictPath() const;  // Path() without its leading "/"
  std::optional<std::string> ParameterString() const;
  std::optional<std::string> Query() const;
  std::optional<std::string> Fragment() const;
  // All that follows the path (";p?q#f", delimiters included); for a URL that cannot be
  // decomposed, all that follows "scheme:".
  std::optional<std::string> ResourceSpecifier() const;

  // The absolute path unescaped except for "%2F" (a "/" inside a name cannot become a
  // separator), one trailing "/" dropped unless the path is "/". No value when the path
  // is empty or its escapes do not decode as UTF-8.
  std::optional<std::string> FileSystemPath() const;
  // The last component of the own path, unescaped as FileSystemPath: "/" for the root, a
  // trailing "/" ignored ("/dir/" gives "dir"). No value when the path is empty or does
  // not decode.
  std::optional<std::string> LastPathComponent() const;
  // What follows the last "." of the last component: "" for "name.", no value without a ".".
  std::optional<std::string> PathExtension() const;
  // The path ends with "/".
  bool HasDirectoryPath() const;

  // The last path component removed, keeping its trailing "/" ("/a/b" and "/a/b/" give
  // "/a/"); the root and ".." climb with an appended "../" ("/" gives "/../"). Parameters,
  // query and fragment stay. No value when the URL cannot be decomposed.
  std::optional<Url> DeletingLastPathComponent() const;
  // `component` escaped (";", "?" and "/" too, so it stays one component) and appended
  // to the path behind one "/"; a trailing "/" when `isDirectory`. No value when the URL
  // cannot be decomposed or the component is not valid UTF-8.
  std::optional<Url> AppendingPathComponent(std::string_view component, bool isDirectory) const;

  UrlComponentRange ComponentRange(UrlComponent component) const;

  // Same text and same base (not resolved: "b" relative to "http://a/" differs from
  // "http://a/b").
  bool operator==(const Url& other) const;

 private:
  struct Piece {
    std::size_t begin = std::string::npos;
    std::size_t end = std::string::npos;
    bool present() const { return begin != std::string::npos; }
    std::size_t size() const { return end - begin; }
  };

  static Url Parsed(std::string text, std::shared_ptr<const Url> base);
  void Parse();
  void ParseNetLocation(std::size_t begin, std::size_t end);
  std::string_view View(Piece p) const;
  std::optional<std::string> OptionalPiece(Piece p) const;
  // Path with its ";parameters", as resolution treats it.
  std::string_view PathAndParameters() const;
  bool InheritsNetLocation() const { return base_ && !scheme_.present() && !netLocation_.present(); }
  static std::string Resolve(const Url& base, const Url& reference);
  Url WithPath(std::string_view newPath) const;

  std::string text_;
  std::shared_ptr<const Url> base_;  // always absolute; shared because it never changes
  bool decomposable_ = true;
  Piece scheme_, netLocation_, userInfo_, user_, password_, host_, port_;
  Piece path_{0, 0};
  Piece parameters_, query_, fragment_, resourceSpecifier_;
};

// A file URL ("file:///...") for a POSIX path, escaped so that every character of the
// path stays path (";", "?", "#" and "%" escaped too). A relative path is taken against the
// current directory. With `isDirectory` the URL ends with "/"; without it a trailing "/"
// is dropped (the root stays "file:///"). No value for an empty path or one that is not
// valid UTF-8.
std::optional<Url> FileUrlFromPath(std::string_view path, bool isDirectory);

// The POSIX path of a "file" URL whose host is empty or "localhost" (case ignored), as
// FileSystemPath gives it. No value for other URLs.
std::optional<std::string> PathFromFileUrl(const Url& url);

}  // namespace values
