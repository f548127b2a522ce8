#pragma once
// The browser plug-in interface as this project uses it: the types and tables a browser
// and a plug-in exchange, declared here from what the plug-in needs (our own minimal
// subset, not any browser's header). A browser hands the plug-in its function table at
// NP_Initialize and gets the plug-in's table from NP_GetEntryPoints; everything after
// that goes through the two tables and the instance and stream records below.
//
// On Linux the "browser" is the native-messaging host of the browser extension (and the
// test hosts), which loads the plug-in library and plays the browser's part.

#include <cstdint>

extern "C" {

typedef std::int16_t NPError;
typedef std::int16_t NPReason;
typedef char* NPMIMEType;
typedef unsigned char NPBool;

enum : NPError {
  NPERR_NO_ERROR = 0,
  NPERR_GENERIC_ERROR = 1,
  NPERR_INVALID_INSTANCE_ERROR = 2,
};
enum : NPReason {
  NPRES_DONE = 0,
  NPRES_NETWORK_ERR = 1,
  NPRES_USER_BREAK = 2,
};
// Instance modes.
enum : std::uint16_t {
  NP_EMBED = 1,
  NP_FULL = 2,
};
// Stream types.
enum : std::uint16_t {
  NP_NORMAL = 1,
  NP_SEEK = 2,
  NP_ASFILE = 3,
  NP_ASFILEONLY = 4,
};

// The plug-in table's version this plug-in fills in.
inline constexpr std::uint16_t kNPPluginTableVersion = 11;
// Browser tables above this version carry the scripting entries.
inline constexpr std::uint16_t kNPScriptingTableVersion = 13;

struct NPP_t {
  void* pdata;  // the plug-in's
  void* ndata;  // the browser's
};
typedef NPP_t* NPP;

struct NPStream {
  void* pdata;  // the plug-in's
  void* ndata;  // the browser's
  const char* url;
  std::uint32_t end;
  std::uint32_t lastmodified;
  void* notifyData;
  const char* headers;
};

struct NPSavedData {
  std::int32_t len;
  void* buf;
};
struct NPWindow;
struct NPPrint;
struct NPObject;

struct NPString {
  const char* UTF8Characters;
  std::uint32_t UTF8Length;
};

enum NPVariantType {
  NPVariantType_Void,
  NPVariantType_Null,
  NPVariantType_Bool,
  NPVariantType_Int32,
  NPVariantType_Double,
  NPVariantType_String,
  NPVariantType_Object,
};
struct NPVariant {
  NPVariantType type;
  union {
    bool boolValue;
    std::int32_t intValue;
    double doubleValue;
    NPString stringValue;
    NPObject* objectValue;
  } value;
};

enum NPNVariable {
  NPNVWindowNPObject = 15,
};
typedef int NPPVariable;

// The browser's functions the plug-in calls.
struct NPNetscapeFuncs {
  std::uint16_t size;
  std::uint16_t version;
  NPError (*geturl)(NPP instance, const char* url, const char* target);
  NPError (*getvalue)(NPP instance, NPNVariable variable, void* value);
  NPError (*destroystream)(NPP instance, NPStream* stream, NPReason reason);
  // Scripting entries (tables above kNPScriptingTableVersion).
  bool (*evaluate)(NPP instance, NPObject* object, NPString* script, NPVariant* result);
  void (*releasevariantvalue)(NPVariant* variant);
};

// The plug-in's functions the browser calls.
struct NPPluginFuncs {
  std::uint16_t size;
  std::uint16_t version;
  NPError (*newp)(NPMIMEType type, NPP instance, std::uint16_t mode, std::int16_t argc, char* argn[],
                  char* argv[], NPSavedData* saved);
  NPError (*destroy)(NPP instance, NPSavedData** save);
  NPError (*setwindow)(NPP instance, NPWindow* window);
  NPError (*newstream)(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                       std::uint16_t* stype);
  NPError (*destroystream)(NPP instance, NPStream* stream, NPReason reason);
  void (*asfile)(NPP instance, NPStream* stream, const char* fname);
  std::int32_t (*writeready)(NPP instance, NPStream* stream);
  std::int32_t (*write)(NPP instance, NPStream* stream, std::int32_t offset, std::int32_t len, void* buffer);
  void (*print)(NPP instance, NPPrint* platformPrint);
  std::int16_t (*event)(NPP instance, void* event);
  void (*urlnotify)(NPP instance, const char* url, NPReason reason, void* notifyData);
  NPError (*getvalue)(NPP instance, NPPVariable variable, void* value);
  NPError (*setvalue)(NPP instance, NPNVariable variable, void* value);
};

typedef NPError (*NPP_ShutdownProcPtr)(void);

// What the host process says about itself (the other platform's process information
// dictionary): a host that defines this function (exported from its program) tells the
// plug-in its creator code, its bundle identifier and the version of its web engine; a
// host that does not is an ordinary browser. Every field may be null.
struct TruvaneHostProcessInfo {
  const char* fileCreator;       // four characters, e.g. "sfri"
  const char* bundleIdentifier;  // e.g. "com.apple.Safari"
  const char* webKitVersion;     // the web engine's bundle version, e.g. "533"
};
typedef const TruvaneHostProcessInfo* (*TruvaneHostProcessInformationProc)(void);
inline constexpr char kTruvaneHostProcessInformationSymbol[] = "TruvaneHostProcessInformation";

// The enhancer's exports, when the enhancer is loaded into the host: the cookie header
// and the referer it knows for a URL, as text the caller frees with free(), or null.
typedef char* (*TRXStringForURLProc)(const char* url);

}  // extern "C"
