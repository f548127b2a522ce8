#pragma once
// Coercion: reading a descriptor as another type, as the platform's event manager does
// when a handler asks for a parameter "as" a type.
//
// What converts (anything else fails with kCoercionFail):
//   - any type to itself or to '****' (no change);
//   - between the integer types shor, long, magn, comp and doub, when the value fits the
//     target exactly (a negative number never becomes magn; 2.5 never becomes long);
//   - numbers to TEXT/utf8 as decimal text ("42", "-7"; doub with up to 17 digits), and
//     TEXT/utf8 to numbers when the whole text (blanks around it allowed) is one;
//   - TEXT <-> utf8 (the system encoding is UTF-8, so the bytes stay);
//   - bool <-> true/fals, bool <-> the integers 0 and 1, bool <-> "true"/"false" text;
//   - fsrf <-> furl <-> TEXT/utf8 as a POSIX path; a path becomes fsrf only when it is
//     absolute and names an existing item (kFileNotFoundErr otherwise), as a file
//     reference can only point at something that is there;
//   - type/enum/keyw among themselves and to/from a four-byte text;
//   - a non-list to 'list': a list of that one item; a list of one item to anything its
//     item converts to.

#include "platform/appleevents/ae_status.h"
#include "platform/appleevents/descriptor.h"

namespace appleevents {

// On success `out` holds the converted descriptor (also when `from` is already `to`).
Status Coerce(const Descriptor& from, DescType to, Descriptor& out);

// Typed reads through coercion.
Status GetInt64(const Descriptor& desc, std::int64_t& out);
Status GetInt32(const Descriptor& desc, std::int32_t& out);
Status GetInt16(const Descriptor& desc, std::int16_t& out);
Status GetUInt32(const Descriptor& desc, std::uint32_t& out);
Status GetBool(const Descriptor& desc, bool& out);
Status GetText(const Descriptor& desc, std::string& out);  // UTF-8
Status GetPath(const Descriptor& desc, std::string& out);  // through fsrf

}  // namespace appleevents
