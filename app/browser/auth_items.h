#pragma once
// The authorisation list: the server credentials the user asked the program to remember,
// consulted by the download engine, the upload engine and the crawler before they log in.
//
// Each item has a host pattern with its port ("host:port"; a label "*" stands for any run
// of labels), a path prefix (beginning and ending with "/"), a user, a password and a
// protocol kind (0 HTTP and anything else, 1 FTP and FTPS, 2 HTTPS). A look-up takes the
// item of the kind asked whose pattern matches the host and whose path is a prefix of the
// asked path; among several, the fewest wildcards minus the most path components wins
// (an exact host beats a wildcard, a longer path a shorter one), then the earliest added.
// Host labels are compared without regard to case, as host names are.
//
// The whole list is kept as one archive in the keychain's generic password "Truvane
// password data", rewritten whenever it changes. When the keychain could not be read at
// start-up the list is kept in memory only, so the stored one is never overwritten by a
// list that lacks its items.
//
// Any thread; the list has its own re-entrant lock.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/browser/services/auth_items_service.h"
#include "app/browser/services/credentials_service.h"
#include "platform/values/url.h"
#include "platform/values/value.h"

namespace browser {

inline constexpr const char kAuthItemsService[] = "Truvane password data";

struct AuthItemRecord {
  int type = kAuthItemTypeOther;
  std::string domain;  // with its port
  std::string user;
  std::string pass;
  std::string path;  // begins and ends with "/"
  bool dontAsk = false;
  bool operator==(const AuthItemRecord&) const = default;
};

// An item as it is stored: the path made to begin and end with "/" ("/" when empty), the
// domain given the default port of its type (":21", ":443", ":80") when it has none.
AuthItemRecord MakeAuthItem(int type, std::string_view domain, std::string_view user, std::string_view pass,
                            std::string_view path, bool dontAsk);
// The components of a normalised path, each end counting one: "/" 1, "/docs/" 3, "/a/b/" 4.
int PathComponentCount(std::string_view path);

std::optional<AuthItem> FindAuthItem(std::string_view hostWithPort, std::string_view path, int type);
void AddAuthItem(int type, std::string_view domain, std::string_view path, std::string_view user,
                 std::string_view pass, bool dontAsk);
// Replaces the user and password of the item stored for exactly this pattern and path,
// else adds one; saved at once.
void StoreCredentials(std::string_view host, std::string_view user, std::string_view pass, int type,
                      std::string_view path);
// The credentials for the URL's own host (with its port when the URL names one) and the
// kind its scheme gives; nothing stored for a URL without a host or a scheme.
void StoreCredentialsForURLDomain(const values::Url& url, std::string_view user, std::string_view pass);

// Start-up: the list from the keychain, else the older preference "Authentication Data"
// (migrated into the keychain and then removed).
void LoadAuthItems();
// The same, done by the first caller that wants the list: reading the keychain may wait on
// the desktop's keyring, and start-up must not.
void LoadAuthItemsOnFirstUse();
// False when the keychain was not written (no keychain, a list that cannot be archived,
// a keychain that refused): what it held stays as it was.
bool SaveAuthItemsToKeychain();
// The archive of the list; an item whose text is not UTF-8 is left out (the global log
// says so once). Nothing when the archive cannot be made.
std::optional<values::Bytes> AuthItemsDataRepresentation();
inline constexpr const char kUnstorableAuthItemMessage[] =
    "A stored password for %@ holds text that cannot be saved; it is kept until Truvane quits.";
// Replaces the list by the archived one; an unreadable archive gives an empty list.
void LoadAuthItemsFromData(const values::Bytes& data);

std::vector<AuthItemRecord> CopyAuthItems();
int GetAuthItemCount();
// Empties the list in memory (tests).
void ClearAuthItems();

// The first internet password for the protocol ('htpx', 'ftpx') and the server, given as
// "host" or "host:port" and searched by its host.
std::optional<InternetPassword> FindKeychainInternetPasswordForServer(std::string_view server,
                                                                      values::FourCharCode protocol);
// The password of an FTP location ("ftp://host[:port]", "ftps://...", or another server
// name) for the account, "" when there is none; `outAccount` gets the item's account.
std::string CopyKeychainPasswordForFTPLocation(std::string_view location, std::string_view account,
                                               std::string* outAccount);

// The look-ups the engine and the settings store make, on the real list and keychain.
class StoredAuthItems : public AuthItemsService {
 public:
  std::optional<AuthItem> FindAuthItem(std::string_view hostWithPort, std::string_view path,
                                       int type) override;
};
class KeychainCredentials : public CredentialsService {
 public:
  std::optional<InternetPassword> FindKeychainInternetPasswordForServer(
      std::string_view server, values::FourCharCode protocol) override;
};

}  // namespace browser
