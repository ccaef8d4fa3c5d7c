// Deterministic 8.3 names, as a FAT or NTFS volume would give them.
//
// A name that is already a valid 8.3 name (1 to 8 characters, optionally a
// dot and 1 to 3 more, no blanks and none of . " * + , / : ; < = > ? [ \ ] |
// besides that one dot) has no other short name: it stays as it is, case
// included. Any other name gets BASE~N.EXT: leading dots dropped, blanks and
// dots removed, + , ; = [ ] made "_", upper-cased; BASE its first 6
// characters (fewer when N has more digits), EXT the first 3 characters after
// the last dot. N counts, from 1, among the folder's names that share BASE and
// EXT, taken in byte order of their upper-cased names, so the same folder
// always gives the same short names.
#pragma once

#include <string>

namespace hostwin {

bool IsValidShortName(const std::string& name);

// The short name of `entry`, an existing entry of the open host folder
// `folder`.
std::string ShortNameOf(int folder, const std::string& entry);

}  // namespace hostwin
