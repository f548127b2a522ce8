#pragma once
// File operations the program needs in one call: Finder information, moving and renaming
// in one safe step, swapping two files, deleting folder trees, and converting between paths
// and references. Every function answers with an OSErr (files/os_error.h), 0 on success.
//
// References are paths (files::FileRef), so a reference names a place, not an object: after
// a move, the reference to the new place is handed back through an out-parameter. Moves and
// renames never replace an existing item (a taken name is -48, dupFNErr), and a move to
// another volume is -1303 (diffVolErr), which callers answer by choosing another folder.
//
// The Finder is told about changed folders through a `FinderNotifier`. File managers here
// watch folders themselves, so the default notifier does nothing; tests install a recording
// one.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/util/files/item_catalog_info.h"
#include "platform/files/file_ref.h"
#include "platform/files/os_error.h"
#include "platform/values/fourcc.h"

class FinderNotifier {
 public:
  virtual ~FinderNotifier() = default;
  // `folder` (or an item inside it) changed.
  virtual void NotifyFolderChanged(const files::FileRef& folder) = 0;
};

// nullptr restores the default, which does nothing.
void SetFinderNotifier(std::shared_ptr<FinderNotifier> notifier);

// --- Finder information -------------------------------------------------------------------

// Sets the item's content modification date to now (a second later when now equals the
// stored date exactly, so that the date always changes), then tells the Finder about the
// item when it is a folder, else about its parent folder.
files::OSErr TouchItemModificationDate(const files::FileRef& item);
// 0 keeps the old value; notAFileErr for a folder. Touches the parent folder afterwards.
files::OSErr SetFileTypeAndCreator(const files::FileRef& item, values::FourCharCode creator,
                                   values::FourCharCode type);
// Sets (`set`) or clears the Finder flag `bits`, then touches the parent folder.
files::OSErr SetFinderFlags(const files::FileRef& item, bool set, std::uint16_t bits);
files::OSErr SetCustomIconFinderFlag(const files::FileRef& item);
// Reads only what is asked for (null pointers are skipped).
files::OSErr GetItemFinderInfo(const files::FileRef& item, FinderInfo* info, ExtendedFinderInfo* ext_info,
                               bool* is_folder);

// --- Moving, swapping, deleting -------------------------------------------------------------

// The counter value each operation starts its temporary names from.
inline constexpr std::uint32_t kTempNameCounterStart = 0x7452A000;

// Forms names of 8 upper-case hexadecimal digits from `counter` (advancing it past every
// name tried) until one exists in neither folder. dirNFErr when a folder is not a folder;
// other errors of looking a name up end the search.
files::OSErr MakeUniqueTempName(std::uint32_t& counter, const files::FileRef& folder1,
                                const files::FileRef& folder2, std::string& name);

// Moves `item` into `destination_folder`, under `new_name` when given (else its own name),
// in one atomic step. `new_item` (required: paramErr) receives the item's new place, or the
// item itself when nothing moved. dupFNErr when the name is taken in the destination (the
// item stays where it was), diffVolErr across volumes, bdNamErr for a name that cannot be a
// file name.
files::OSErr MoveAndRenameItem(const files::FileRef& item, const files::FileRef& destination_folder,
                               const std::string* new_name, files::FileRef* new_item);

// Swaps the contents of two files, leaving each name and place as it was; both references
// stay valid and follow the names. Catalog information travels with the contents. Atomic
// where the file system allows it; otherwise emulated through temporary names, and every
// step taken is undone when a later one fails. diffVolErr across volumes, notAFileErr when
// either is a folder; both out-parameters are required (paramErr).
files::OSErr ExchangeFileContents(const files::FileRef& file_a, const files::FileRef& file_b,
                                  files::FileRef* new_a, files::FileRef* new_b);

// Deletes everything inside `folder`, making read-only folders writable first. Ends at the
// first error, which is left in `result` (shared by all levels; 0 when everything went).
void DeleteFolderContents(const files::FileRef& folder, files::OSErr& result);
// dirNFErr when the item is not a folder (a link to a folder is not one); otherwise deletes
// its contents and then the folder. The first error is returned.
files::OSErr DeleteFolderTree(const files::FileRef& folder);

// --- Paths and references -------------------------------------------------------------------

// The path of the reference; nothing for an empty reference or a path too long to use.
std::optional<std::string> StringWithFSRef(const files::FileRef& ref);
// The reference for an existing item at `path`; false when there is none.
bool GetFSRef(const std::string& path, files::FileRef* ref);
