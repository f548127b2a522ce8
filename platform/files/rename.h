#pragma once
// Renames that never destroy an item.
//
// rename(2) silently replaces whatever holds the target name. The callers here expect the
// opposite (a taken name is dupFNErr, so they can pick another), so every rename goes
// through renameat2 with RENAME_NOREPLACE, one atomic step. Swapping two files uses
// RENAME_EXCHANGE, also one atomic step: a reader sees either the old or the new file under
// each name, never none.
//
// Some file systems (older network and FUSE file systems) refuse those flags with EINVAL.
// Then:
//   - RenameNoReplace links the item under its new name (link(2) fails on a taken name,
//     atomically) and unlinks the old name. Folders cannot be linked; for them the target is
//     checked first and then renamed, which leaves a small window in which a racing writer
//     could take the name.
//   - Exchange moves the second item aside under a temporary name, renames the first into
//     its place and the second into the first's place. This is NOT atomic: in between, one
//     of the names is missing, and a crash leaves the temporary name behind (".truvane-xchg-"
//     followed by hex digits, in the second item's folder). Every step that succeeded is
//     undone when a later one fails.
// Both fallbacks are callable directly (for callers that know their file system, and tests).
//
// A move to another file system is diffVolErr here; tree_ops.h has the copying move.

#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"

namespace files {

// Renames or moves `from` to `to` (a full path, any folder of the same file system);
// dupFNErr when `to` exists, diffVolErr across file systems.
Status RenameNoReplace(const FileRef& from, const FileRef& to);

// Swaps the two items: afterwards `a`'s path holds what was at `b` and the reverse (contents
// and their catalog information travel together). Atomic where the file system allows.
Status Exchange(const FileRef& a, const FileRef& b);

// renameat2 with RENAME_EXCHANGE only; unimpErr when the file system cannot.
Status ExchangeAtomically(const FileRef& a, const FileRef& b);

// The fallbacks described above.
Status RenameNoReplaceByLink(const FileRef& from, const FileRef& to);
Status ExchangeViaTemporaryName(const FileRef& a, const FileRef& b);

// Tests replace the system call to play a file system without the flags. Returns the
// previous function; pass nullptr to restore the real one. Not thread-safe: tests only.
using Renameat2Function = int (*)(int old_dir, const char* old_path, int new_dir, const char* new_path,
                                  unsigned flags);
Renameat2Function SetRenameat2ForTesting(Renameat2Function function);

}  // namespace files
