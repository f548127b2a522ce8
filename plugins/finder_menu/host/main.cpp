// truvane-finder-host: the file manager's side of the contextual-menu plug-in. The file
// manager's action (a Dolphin service menu, a Nautilus script) runs it with the selected
// items; it loads the plug-in, asks it for its commands for that selection as the file
// manager does when it builds the menu, and when the upload command is among them,
// chooses it, as the user's click would.
//
//   truvane-finder-host [--plugin LIBRARY] PATH...
//
// Exit status 0 when the command was chosen, 1 when the plug-in offers none for the
// selection (the reason on standard error), 2 on a usage or loading error.

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "plugins/finder_menu/cm_interface.h"

namespace {

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  const std::string self(buf, static_cast<std::size_t>(n));
  return self.substr(0, self.find_last_of('/'));
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  return std::string(cwd) + "/" + path;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = ProgramFolder() + "/libtruvane_finder_menu.so";
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--plugin" && i + 1 < argc) {
      library = argv[++i];
    } else {
      paths.push_back(AbsolutePath(arg));
    }
  }
  if (paths.empty()) {
    std::cerr << "usage: truvane-finder-host [--plugin LIBRARY] PATH...\n";
    return 2;
  }
  void* handle = ::dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  const auto factory =
      handle ? reinterpret_cast<TruvaneCMFactoryProc>(::dlsym(handle, kTruvaneCMFactorySymbol)) : nullptr;
  if (!factory) {
    std::cerr << "truvane-finder-host: cannot load the menu plug-in " << library << "\n";
    return 2;
  }
  void* instance = factory(nullptr, &kContextualMenuTypeID);
  if (!instance) {
    std::cerr << "truvane-finder-host: the plug-in made no menu instance\n";
    return 2;
  }
  const auto* unknown = *static_cast<ContextualMenuInterfaceStruct**>(instance);
  void* menu = nullptr;
  if (unknown->QueryInterface(instance, kContextualMenuInterfaceID, &menu) != S_OK || !menu) {
    unknown->Release(instance);
    std::cerr << "truvane-finder-host: the plug-in has no menu interface\n";
    return 2;
  }
  const auto* table = *static_cast<ContextualMenuInterfaceStruct**>(menu);

  AEDesc selection = appleevents::Descriptor::List();
  for (const std::string& path : paths) selection.Append(appleevents::Descriptor::FileRef(path));
  AEDescList commands = appleevents::Descriptor::List();
  table->ExamineContext(menu, &selection, &commands);
  int status = 1;
  for (const auto& command : commands.Items()) {
    const auto* id = command.Find(findermenu::kCommandIDKey);
    if (!id || id->IntegerValue() != static_cast<std::int32_t>(findermenu::kUploadCommandID)) continue;
    if (const auto* title = command.Find(findermenu::kCommandNameKey)) std::cout << title->data() << "\n";
    table->HandleSelection(menu, &selection, static_cast<std::int32_t>(findermenu::kUploadCommandID));
    status = 0;
    break;
  }
  if (status != 0) std::cerr << "truvane-finder-host: Truvane offers no upload for this selection\n";
  table->PostMenuCleanup(menu);
  table->Release(menu);
  unknown->Release(instance);
  return status;
}
