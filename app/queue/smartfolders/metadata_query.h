#pragma once
// Running a saved search: the query text a rule translates into (search_predicate.h),
// evaluated against the metadata attributes that finished downloads carry
// (element_metadata.h). This is what makes an exported smart folder find the downloaded
// files again on a system without a desktop-wide metadata index.
//
// The language is the one the translation writes, nothing more:
//   query  := or
//   or     := and ("||" and)*
//   and    := term ("&&" term)*
//   term   := "(" query ")" | attribute op value
//   op     := "==" | "!=" | ">=" | "<="
//   value  := '"' text '"' ["c"]   (text with "*" wildcards; "\" escapes the next character;
//                                   "c": ignoring case)
//           | integer
//           | "$time.today(" integer ")"   (the start of today plus that many days)
// A term on an attribute the file does not carry is false ("!=" included), as a search
// index finds nothing for a missing attribute.
//
// Queries are bounded (length and nesting) because a saved-search file is outside input.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files/file_ref.h"

namespace queue {

inline constexpr std::size_t kMaxQueryLength = 64 * 1024;
inline constexpr int kMaxQueryDepth = 64;

struct MetadataQueryNode;
using MetadataQuery = std::shared_ptr<const MetadataQueryNode>;

// Nothing when the text is not a query of this language.
MetadataQuery ParseMetadataQuery(std::string_view text);
bool MetadataQueryMatches(const MetadataQuery& query, const files::FileRef& file);

// The files under `folder` (walked to a bounded depth) that the saved-search file at
// `savedSearch` ("RawQuery") finds; nothing when the file is not a readable saved search.
std::optional<std::vector<files::FileRef>> RunSavedSearch(const files::FileRef& savedSearch,
                                                          const files::FileRef& folder);

}  // namespace queue
