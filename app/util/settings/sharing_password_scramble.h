#pragma once
// The stored form of a sharing user's password ("auth" of the preference "Users"): the
// password's UTF-8 bytes scrambled with the user name as key. It keeps the password out of
// plain sight in the preference file and nothing more; anyone with the name unscrambles it.
//
// Encode, with k the name's bytes (unsigned) and j' = j when j < k's length, else 0: each
// byte rotated right by (j' + k[j']) mod 8 bits, then XORed with k[j'], j = j' + 1; then
// bytes i and i - 2 swapped for i = 2, 5, 8, ... below the length. Decode undoes both in
// reverse order. An empty name leaves the bytes unchanged.

#include <string>
#include <string_view>

#include "platform/values/value.h"

namespace util {

values::Bytes EncodeSharingPassword(std::string_view password, std::string_view userName);
// The password bytes as they were (not checked for UTF-8: the login hashes bytes).
std::string DecodeSharingPassword(const values::Bytes& stored, std::string_view userName);

}  // namespace util
