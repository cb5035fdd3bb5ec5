// The short (8.3) names of one directory, made from the set of its long
// names alone. A file system that keeps 8.3 names hands them out as files
// are created and never gives one twice in a directory; POSIX keeps no
// order of creation, so colliding names are numbered in byte order:
//   1. every legal 8.3 name is its own short name;
//   2. the long names of one stem (plain base and extension), in byte order,
//      each take the smallest ~1..~4 that is not yet a short name here;
//   3. the long names left (and every name whose base has 2 characters or
//      fewer), in byte order, each take the smallest ~k of their checksum
//      form that is not yet a short name here.
// "Not yet a short name" ignores case, as Windows compares names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fixedtext.h"
#include "winapi.h"

namespace winpath {

using short_name = fixed_text<13>; // "BASENAME.EXT"

bool legal_83(std::string_view name);

// An 8.3 name as a volume keeps it, in the volume's character set: 8 + 3
// characters at most, of four bytes at most each in UTF-8, in upper case too
// (upper case takes three bytes at most).
using volume_name = fixed_text<8 * 4 + 1 + 3 * 4 + 1>;

// Whether a volume's 8.3 name can be one: as legal_83, but for characters
// beyond ASCII (FAT and NTFS hold them in their code page: Linux's vfat
// makes "ÉTUDEL~1.TXT"). Characters are counted in UTF-8 where the
// name is valid UTF-8, else one a byte.
bool legal_kept(std::string_view name);

// Whether Windows text carries `name` as it is: no control byte, none of
// \ / : * ? " < > |, and no "." or space at its end, which Windows drops.
bool windows_can_hold(std::string_view name);

// Gives names[i] its short name in out[i]: 0, ERROR_NOT_ENOUGH_MEMORY, or
// ERROR_FILENAME_EXCED_RANGE when a name finds no free alias (which takes
// ten million names of one alias stem).
DWORD short_names(const std::string_view *names, size_t count, short_name *out);

// A directory's names, each followed by a NUL, one after another.
struct name_list {
    const char *text;
    size_t size; // in bytes, the NULs included
};
constexpr size_t NO_NAME = static_cast<size_t>(-1);

// Whether `name`, made, removed or renamed, may change the short name the
// model gives an entry, or the entry it finds by one, whose aliases end in
// `ext` (short_name_ext): a long name with aliases of that extension, or a
// legal name that may be one ("~" in it).
bool may_change_alias(std::string_view name, std::string_view ext);
// The extension of the aliases of `name` (a legal name: its own).
short_name short_name_ext(std::string_view name);

// A name's share of a sum that stands for a set of names: two reads of a
// directory that changes are compared by the sums of the names an answer
// was made from, whatever order each read gave them in.
uint64_t name_sum(std::string_view name);

// The short name that short_names gives the name at byte `at` of `names`,
// made from the few names it depends on: 0, ERROR_NOT_ENOUGH_MEMORY or
// ERROR_FILENAME_EXCED_RANGE, as short_names. `depends`, where given, gets
// the name_sum of those names added to it.
DWORD short_name_of(name_list names, size_t at, short_name &out, uint64_t *depends = nullptr);

// The name to which short_names gives `alias` (a legal 8.3 name), ignoring
// case: its byte offset in `at`, or NO_NAME. `depends` as for short_name_of.
DWORD entry_with_short_name(name_list names, std::string_view alias, size_t &at, uint64_t *depends = nullptr);

} // namespace winpath
