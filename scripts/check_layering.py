#!/usr/bin/env python3
"""Fails on an #include or a library link that goes up or sideways between layers.

The rule (every path is relative to the repository root):

  platform/<layer>     includes only its own layer and the layers before it in
                       values, runtime, files, prefs, net, appleevents, desktop,
                       keychain, zeroconf, toolbox; nothing of app/ or plugins/.
  app/<subsystem>      includes any platform layer (the toolbox only where windows are:
                       not app/util nor app/engine), its own folder, the service headers of any
                       subsystem (app/*/services/), and the implementation headers of the
                       subsystems below it:
                         shell                          all of app/
                         ui, prefs                      queue, upload, sharing, browser, engine, util
                         queue, upload, sharing, browser  engine, util (not each other)
                         engine                         util
                         util                           nothing
  app/*/services/      a service header declares a seam: it includes platform layers
                       (not the toolbox), app/util and other service headers only, so
                       that including it brings nothing of its owner's implementation.
  plugins/<name>       platform layers but the toolbox, service headers, and
                       plugins/app_handoff (the hand-off every plug-in compiles in).
  Qt headers           only under platform/toolbox.
  tests/, bench/       anything (not checked).

The same table checks each library's links in its CMakeLists.txt: a target may link
only the targets whose headers its folder may include.

Every seam is listed by the subsystem that defines it (platform/runtime/seam_list.h): a
service slot (`using X = runtime::ServiceSlot<...>;`) under app/<sub>/ or platform/<layer>/
has its `runtime::ListServiceSlot<X>` in that folder's seam_list.cpp, a hook slot
(`using X = runtime::HookSlot<...>;`) its `runtime::ListHooks<X>`, so the services report
names it with its installer; the report includes every seam_list.h.

Preference keys are read only by the settings store (app/util/settings) and the
preference layer (platform/prefs): everywhere else in app/ a setting is read through
its typed key (app/util/settings/setting_keys.h) or the loaded settings, so a key's
spelling, type and default live in one place. The check fails on a call of the store's
string-keyed bridges (PrefBoolForKey, PrefIntegerForKey), on reaching the preference
store itself (SettingsPreferences, SharedPreferences) and on a user-defaults read
(CopyUserDefault) outside those two folders.
"""

import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

PLATFORM_ORDER = ["values", "runtime", "files", "prefs", "net", "appleevents", "desktop",
                  "keychain", "zeroconf", "toolbox"]

APP_BELOW = {
    "shell": {"ui", "prefs", "queue", "upload", "sharing", "browser", "engine", "util"},
    "ui": {"queue", "upload", "sharing", "browser", "engine", "util"},
    "prefs": {"queue", "upload", "sharing", "browser", "engine", "util"},
    "queue": {"engine", "util"},
    "upload": {"engine", "util"},
    "sharing": {"engine", "util"},
    "browser": {"engine", "util"},
    "engine": {"util"},
    "util": set(),
}
# The subsystems that own windows and so may use the toolbox.
APP_WITH_WINDOWS = {"shell", "ui", "prefs", "queue", "upload", "sharing", "browser"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Za-z0-9]+|Qt[A-Za-z0-9]+/.*|q[a-z0-9_]+\.h)$")


class Unit:
    """Where a file or an included path stands: its top folder, its layer, and whether
    it is a service header."""

    def __init__(self, path):
        parts = path.split("/")
        self.top = parts[0]
        self.layer = parts[1] if len(parts) > 1 else ""
        self.service = self.top == "app" and len(parts) > 3 and parts[2] == "services"


def platform_allows(layer, target_layer):
    if layer not in PLATFORM_ORDER or target_layer not in PLATFORM_ORDER:
        return False
    return PLATFORM_ORDER.index(target_layer) <= PLATFORM_ORDER.index(layer)


def allowed(source, target):
    """None when `source` may include `target`, else the reason it may not."""
    s, t = Unit(source), Unit(target)
    if t.top not in ("app", "platform", "plugins"):
        return None if t.top not in ("tests", "bench") else "app and platform code never includes tests or bench"
    if s.top == "platform":
        if t.top != "platform":
            return "platform/ includes nothing of app/ or plugins/"
        if not platform_allows(s.layer, t.layer):
            return f"platform/{s.layer} may include only the layers before it ({', '.join(PLATFORM_ORDER)})"
        return None
    if s.top == "plugins":
        if t.top == "plugins" and t.layer in (s.layer, "app_handoff"):
            return None
        if t.top == "platform" and t.layer in PLATFORM_ORDER and t.layer != "toolbox":
            return None
        if t.service:
            return None
        return "a plug-in includes platform layers (not the toolbox), service headers and plugins/app_handoff only"
    # app/
    if t.top == "platform":
        if t.layer not in PLATFORM_ORDER:
            return f"unknown platform layer {t.layer}"
        if t.layer == "toolbox" and (s.service or s.layer not in APP_WITH_WINDOWS):
            return "only subsystems with windows use the toolbox"
        return None
    if t.top == "plugins":
        return "app/ never includes a plug-in"
    if s.service:
        if t.service or t.layer == "util":
            return None
        return "a service header includes only platform, app/util and other service headers"
    if t.layer == s.layer or t.service:
        return None
    if s.layer not in APP_BELOW:
        return f"unknown subsystem app/{s.layer}"
    if t.layer in APP_BELOW.get(s.layer, set()):
        return None
    return f"app/{s.layer} may include only the service headers of app/{t.layer}"


def source_files():
    for top in ("app", "platform", "plugins"):
        base = os.path.join(ROOT, top)
        for folder, _, names in os.walk(base):
            for name in sorted(names):
                if name.endswith((".h", ".hpp", ".cpp", ".cc", ".c")):
                    yield os.path.relpath(os.path.join(folder, name), ROOT)


def check_includes(faults):
    for path in source_files():
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                kind, target = m.groups()
                if kind == "<":
                    if QT_HEADER.match(target) and not path.startswith("platform/toolbox/"):
                        faults.append(f"{path}:{number}: includes Qt header <{target}>; only platform/toolbox includes Qt")
                    continue
                reason = allowed(path, target)
                if reason:
                    faults.append(f"{path}:{number}: includes {target}: {reason}")


# Library targets by folder, as cmake/TruvaneTargets.cmake names them.
def folder_of_target(name):
    if not name.startswith("truvane_"):
        return None
    layer = name[len("truvane_"):]
    # app/prefs cannot be truvane_prefs: that name is platform/prefs's.
    if layer == "prefs_window":
        return "app/prefs"
    if layer in PLATFORM_ORDER:
        return f"platform/{layer}"
    if layer in APP_BELOW:
        return f"app/{layer}"
    return None


LIBRARY = re.compile(r"truvane_library\(\s*(\w+)([^)]*)\)", re.S)


def check_links(faults):
    for top in ("app", "platform", "plugins"):
        for folder, _, names in os.walk(os.path.join(ROOT, top)):
            if "CMakeLists.txt" not in names:
                continue
            path = os.path.relpath(os.path.join(folder, "CMakeLists.txt"), ROOT)
            with open(os.path.join(ROOT, path), encoding="utf-8") as f:
                text = f.read()
            for m in LIBRARY.finditer(text):
                source = os.path.relpath(folder, ROOT)
                for dep in m.group(2).split():
                    dep_folder = folder_of_target(dep)
                    if dep_folder is None or dep_folder == source:
                        continue
                    # A link stands for any implementation header of the target's folder.
                    reason = allowed(source + "/x.cpp", dep_folder + "/x.h")
                    if reason:
                        faults.append(f"{path}: {m.group(1)} links {dep}: {reason}")


SLOT_DEFINITION = re.compile(r"^[ \t]*using\s+(\w+)\s*=\s*runtime::(ServiceSlot|HookSlot)<", re.M)


def read(path):
    try:
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:
        return None


def check_seams_listed(faults):
    lists = {}
    for path in source_files():
        text = read(path)
        for m in SLOT_DEFINITION.finditer(text):
            slot, kind = m.groups()
            listing = "ListServiceSlot" if kind == "ServiceSlot" else "ListHooks"
            seam_list = "/".join(path.split("/")[:2]) + "/seam_list.cpp"
            if seam_list not in lists:
                lists[seam_list] = read(seam_list) or ""
            if not re.search(r"runtime::" + listing + r"<\s*(\w+::)*" + slot + r"\s*>", lists[seam_list]):
                number = text.count("\n", 0, m.start()) + 1
                faults.append(f"{path}:{number}: {slot} is not listed: add runtime::{listing}<{slot}> "
                              f"to {seam_list} with who installs it")
    # Every subsystem's list is asked for by the services report.
    report = read("app/shell/services_report.cpp") or ""
    for seam_list, text in sorted(lists.items()):
        header = seam_list[:-len(".cpp")] + ".h"
        if text and f'#include "{header}"' not in report:
            faults.append(f"{seam_list}: app/shell/services_report.cpp does not include {header} "
                          "and call its ListSeams()")


SETTINGS_OWNERS = ("app/util/settings/", "platform/prefs/")
STRING_KEY_READ = re.compile(r"\b(PrefBoolForKey|PrefIntegerForKey|SettingsPreferences|SharedPreferences|"
                             r"CopyUserDefault)\s*\(")


def check_settings_reads(faults):
    for path in source_files():
        if not path.startswith("app/") or path.startswith(SETTINGS_OWNERS):
            continue
        text = read(path) or ""
        for m in STRING_KEY_READ.finditer(text):
            number = text.count("\n", 0, m.start()) + 1
            line = text[text.rfind("\n", 0, m.start()) + 1:m.start()]
            if line.lstrip().startswith("//"):
                continue
            faults.append(f"{path}:{number}: calls {m.group(1)}: read the setting through its typed key in "
                          "app/util/settings/setting_keys.h")


def main():
    global ROOT
    # --root FOLDER checks another tree laid out like this one (the check's own tests).
    if len(sys.argv) == 3 and sys.argv[1] == "--root":
        ROOT = os.path.abspath(sys.argv[2])
    faults = []
    check_includes(faults)
    check_links(faults)
    check_seams_listed(faults)
    check_settings_reads(faults)
    if faults:
        print("check_layering: includes, links, seams or settings reads against the layering rule "
              "(scripts/check_layering.py explains it):", file=sys.stderr)
        for fault in faults:
            print("  " + fault, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
