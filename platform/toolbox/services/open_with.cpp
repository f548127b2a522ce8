#include "platform/toolbox/services/open_with.h"

#include <QDir>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace toolbox {
namespace {

ApplicationLauncher& Launcher() {
  static ApplicationLauncher launcher;
  return launcher;
}

std::string Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

std::vector<std::string> SplitList(const std::string& value) {
  std::vector<std::string> out;
  std::string item;
  std::istringstream in(value);
  while (std::getline(in, item, ';'))
    if (!Trim(item).empty()) out.push_back(Trim(item));
  return out;
}

std::optional<std::string> ReadBounded(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text(kMaxDesktopEntryBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return text;
}

std::string Env(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::string(v) : fallback;
}

std::vector<std::string> DataDirs() {
  std::vector<std::string> dirs{Env("XDG_DATA_HOME", Env("HOME", "") + "/.local/share")};
  std::istringstream in(Env("XDG_DATA_DIRS", "/usr/local/share:/usr/share"));
  for (std::string d; std::getline(in, d, ':');)
    if (!d.empty()) dirs.push_back(d);
  return dirs;
}

// The user's default applications by MIME type, the first file that names a type winning.
std::map<std::string, std::vector<std::string>> DefaultApplications() {
  std::vector<std::string> files{Env("XDG_CONFIG_HOME", Env("HOME", "") + "/.config") + "/mimeapps.list"};
  for (const auto& d : DataDirs()) files.push_back(d + "/applications/mimeapps.list");
  std::map<std::string, std::vector<std::string>> defaults;
  for (const auto& file : files) {
    auto text = ReadBounded(file);
    if (!text) continue;
    std::istringstream in(*text);
    bool inDefaults = false;
    for (std::string line; std::getline(in, line);) {
      line = Trim(line);
      if (line.empty() || line[0] == '#') continue;
      if (line[0] == '[') {
        inDefaults = line == "[Default Applications]";
        continue;
      }
      const auto eq = line.find('=');
      if (!inDefaults || eq == std::string::npos) continue;
      defaults.emplace(Trim(line.substr(0, eq)), SplitList(line.substr(eq + 1)));
    }
  }
  return defaults;
}

bool CaseBlindLess(const std::string& a, const std::string& b) {
  return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) < 0;
}

}  // namespace

std::optional<DesktopApplication> ParseDesktopEntry(std::string_view text, std::string id) {
  if (text.size() > kMaxDesktopEntryBytes) text = text.substr(0, kMaxDesktopEntryBytes);
  DesktopApplication app;
  app.id = std::move(id);
  bool inEntry = false, application = false, hidden = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    auto end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    const std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inEntry = line == "[Desktop Entry]";
      continue;
    }
    const auto eq = line.find('=');
    if (!inEntry || eq == std::string::npos) continue;
    const std::string key = Trim(std::string_view(line).substr(0, eq));
    const std::string value = Trim(std::string_view(line).substr(eq + 1));
    if (key == "Type")
      application = value == "Application";
    else if (key == "Name")
      app.name = value;
    else if (key == "Exec")
      app.exec = value;
    else if (key == "Icon")
      app.icon = value;
    else if (key == "MimeType")
      app.mime_types = SplitList(value);
    else if (key == "Hidden")
      hidden = value == "true";
  }
  if (!application || hidden || app.name.empty() || app.exec.empty()) return std::nullopt;
  return app;
}

ApplicationsForFile CopyApplicationsForFile(const std::string& path) {
  ApplicationsForFile out;
  const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(QString::fromStdString(path));
  if (!type.isValid()) return out;
  std::set<std::string> types{type.name().toStdString()};
  for (const QString& parent : type.allAncestors()) types.insert(parent.toStdString());
  for (const QString& alias : type.aliases()) types.insert(alias.toStdString());

  std::map<std::string, DesktopApplication> found;  // by id; the first data folder wins
  std::size_t looked = 0;
  for (const auto& dir : DataDirs()) {
    const QDir apps(QString::fromStdString(dir + "/applications"));
    for (const QString& file : apps.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
      if (++looked > kMaxDesktopEntries) break;
      const std::string id = file.toStdString();
      if (found.count(id)) continue;
      auto text = ReadBounded(apps.filePath(file).toStdString());
      if (!text) continue;
      auto app = ParseDesktopEntry(*text, id);
      if (!app) continue;
      const bool opens = std::any_of(app->mime_types.begin(), app->mime_types.end(),
                                     [&](const std::string& t) { return types.count(t) != 0; });
      if (opens) found.emplace(id, std::move(*app));
    }
  }
  for (auto& [id, app] : found) out.applications.push_back(std::move(app));
  if (out.applications.size() < 2) return out;
  std::sort(
      out.applications.begin(), out.applications.end(),
      [](const DesktopApplication& a, const DesktopApplication& b) { return CaseBlindLess(a.name, b.name); });
  const auto defaults = DefaultApplications();
  auto it = defaults.find(type.name().toStdString());
  if (it == defaults.end()) return out;
  for (const std::string& id : it->second) {
    auto app = std::find_if(out.applications.begin(), out.applications.end(),
                            [&](const DesktopApplication& a) { return a.id == id; });
    if (app == out.applications.end()) continue;
    std::rotate(out.applications.begin(), app, app + 1);
    out.has_default = true;
    break;
  }
  return out;
}

std::vector<std::string> LaunchArguments(const DesktopApplication& app, const std::string& path) {
  // The Exec line's words: quoted words keep their spaces, a backslash escapes in quotes.
  std::vector<std::string> words;
  std::string word;
  bool quoted = false, any = false;
  for (std::size_t i = 0; i < app.exec.size(); ++i) {
    const char c = app.exec[i];
    if (quoted) {
      if (c == '\\' && i + 1 < app.exec.size()) {
        word += app.exec[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == '"') {
      quoted = any = true;
    } else if (c == ' ' || c == '\t') {
      if (any) words.push_back(word);
      word.clear();
      any = false;
    } else {
      word += c;
      any = true;
    }
  }
  if (quoted) return {};
  if (any) words.push_back(word);
  const std::string url = QUrl::fromLocalFile(QString::fromStdString(path)).toEncoded().toStdString();
  std::vector<std::string> argv;
  bool gaveFile = false;
  for (const std::string& w : words) {
    if (w == "%f" || w == "%F" || w == "%u" || w == "%U") {
      argv.push_back(w == "%f" || w == "%F" ? path : url);
      gaveFile = true;
      continue;
    }
    if (w == "%i" || w == "%c" || w == "%k") continue;
    std::string out;
    for (std::size_t i = 0; i < w.size(); ++i) {
      if (w[i] == '%' && i + 1 < w.size()) {
        if (w[i + 1] == '%') out += '%';
        ++i;  // other field codes inside a word are dropped
      } else {
        out += w[i];
      }
    }
    if (!out.empty()) argv.push_back(out);
  }
  if (argv.empty()) return {};
  if (!gaveFile) argv.push_back(path);
  return argv;
}

bool OpenFileWithApplication(const DesktopApplication& app, const std::string& path) {
  const auto argv = LaunchArguments(app, path);
  if (argv.empty()) return false;
  if (Launcher()) return Launcher()(argv);
  QStringList args;
  for (std::size_t i = 1; i < argv.size(); ++i) args << QString::fromStdString(argv[i]);
  return QProcess::startDetached(QString::fromStdString(argv[0]), args);
}

ApplicationLauncher SetApplicationLauncher(ApplicationLauncher launcher) {
  ApplicationLauncher previous = std::move(Launcher());
  Launcher() = std::move(launcher);
  return previous;
}

}  // namespace toolbox
