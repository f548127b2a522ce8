#include "app/util/settings/plugin_file_types.h"

#include <set>
#include <string>

namespace util {

namespace {

struct PluginTypeRow {
  bool enabled;
  const char* extension;
  const char* mimetypes;
  const char* description;
};

// Fourteen rows are enabled: the archive and installer types a browser cannot open itself.
constexpr PluginTypeRow kDefaultPluginTypeRows[] = {
    {false, "mov", "video/quicktime", "Quicktime Movie"},
    {true, "torrent", "application/x-bittorrent", "Bittorrent file"},
    {false, "taz", "application/x-compress", "Compressed Tape ARchive"},
    {false, "aa", "audio/audible, audio/x-audible, audio/vnd.audible.aax", "Audible Content"},
    {false, "aax", "audio/vnd.audible.aax", "EnhancedAudible Content"},
    {false, "doc", "application/msword", "Microsoft Word file"},
    {false, "ps", "application/postscript", "Postscript file"},
    {false, "eps", "application/postscript", "EPS file"},
    {false, "cpt", "application/mac-compactpro", "Compact Pro archive"},
    {false, "avi", "application/x-msvideo, video/x-msvideo, video/avi, application/octet-stream",
     "AVI video file"},
    {false, "pdf", "application/pdf", "PDF document"},
    {false, "mp3",
     "application/x-octet-stream, audio/mpeg, audio/x-mpeg3, audio/mpeg3, audio/mp3, audio/x-mp3, "
     "audio/x-mpeg, application/octet-stream",
     "MPEG Layer 3 Audio"},
    {true, "sitx", "application/x-stuffit", "Stuffit Archive"},
    {false, "prc", "application/x-pilot", "Palm Digital Book"},
    {false, "pdb", "chemical/x-pdb", "Palm Digital Book"},
    {false, "rar", "application/x-rar-compressed, application/octet-stream, application/x-rar",
     "RAR archive"},
    {true, "sit", "application/x-stuffit, application/stuffit, application/x-sit", "Stuffit Archive"},
    {true, "bin", "application/octet-stream, application/x-macbinary, application/macbinary",
     "MacBinary file"},
    {true, "hqx", "application/mac-binhex40", "BinHex file"},
    {true, "bz2", "application/x-bzip2, application/bzip2, application/x-bz2, application/octet-stream",
     "bzip2 archive"},
    {true, "tbz", "application/x-bzip2", "tbz archive"},
    {true, "zip",
     "application/zip-compressed, application/zip, application/x-zip-compressed, application/x-zip",
     "Zip archive"},
    {true, "gz", "application/x-gzip, application/octet-stream, application/x-tar", "GZip archive"},
    {false, "mpg", "video/mpeg, video/x-mpeg", "MPEG video"},
    {false, "wmv", "video/x-ms-wmv, video/ms-wmv, video/x-msvideo, video/msvideo",
     "Windows Media Player Video"},
    {false, "mp4", "video/mp4", "MPEG-4 Video file"},
    {false, "mpg4", "video/mp4", "MPEG-4 Video file"},
    {false, "asf", "video/x-ms-asf", "Windows Media Player Video"},
    {false, "mpeg", "video/x-mpeg, video/mpeg", "MPEG video"},
    {false, "dvi", "application/x-dvi", "DVI file"},
    {false, "ppt", "application/vnd.ms-powerpoint", "PowerPoint presentation"},
    {true, "dmg",
     "application/x-diskcopy, application/binary, application/dmg, application/x-apple-diskimage, "
     "application/disk-image, application/octet-stream, application/x-disk-image, "
     "application/force-download, dmg",
     "Disk Image"},
    {true, "tgz", "application/x-tar, application/x-gzip, application/octet-stream, application/x-gtar",
     "Gzipped tar archive"},
    {false, "lha", "application/octet-stream", "LHA archive"},
    {false, "lzh", "application/octet-stream", "LZH archive"},
    {true, "exe", "application/octet-stream", "Windows executable"},
    {true, "tar", "application/x-tar", "Tape ARchive"},
    {false, "shn", "audio/shorten, audio/x-shorten", "Shorten audio file"},
    {false, "flac", "audio/x-flac, application/x-flac", "FLAC (Free Lossless Audio Codec)"},
    {true, "urls", "application/x-url-list", "Streamload data"},
    {false, "xls", "application/vnd.ms-excel", "Microsoft Excel document"},
    {false, "qtz", "application/x-quartzcomposer", "Quartz Composer file"},
};

values::Array BuildDefaultPluginTypes() {
  values::Array out;
  for (const PluginTypeRow& row : kDefaultPluginTypeRows) {
    out.emplace_back(values::Dictionary{
        {"enabled", row.enabled},
        {"extension", row.extension},
        {"mimetypes", row.mimetypes},
        {"description", row.description},
    });
  }
  return out;
}

}  // namespace

const values::Array& defaultPluginTypes() {
  static const values::Array table = BuildDefaultPluginTypes();
  return table;
}

PluginTypesUpdate UpdatePluginTypes(std::int64_t storedBaseVersion, const values::Array* userTypes) {
  PluginTypesUpdate update;
  if (storedBaseVersion == 0 || storedBaseVersion >= kPluginTypesBaseVersion) {
    update.storeBaseVersion = true;
    return update;
  }
  // A list from an older table. Without a list there is nothing to bring up to date, and
  // the version stays as stored, so a list that turns up later is still merged.
  if (userTypes == nullptr) return update;

  const values::Array& defaults = defaultPluginTypes();
  std::set<std::string, std::less<>> defaultExtensions;
  for (const values::Value& row : defaults) defaultExtensions.insert(row.Find("extension")->StringOr(""));

  values::Array merged = defaults;
  for (const values::Value& entry : *userTypes) {
    if (!entry.IsDictionary()) continue;  // not a file type at all
    const values::Value* extension = entry.Find("extension");
    const std::string* text = extension != nullptr ? extension->AsString() : nullptr;
    if (text != nullptr && defaultExtensions.contains(*text)) continue;
    merged.push_back(entry);
  }
  update.pluginTypes = std::move(merged);
  update.storeBaseVersion = true;
  return update;
}

}  // namespace util
