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
#include <string_view>

#include "fixedtext.h"
#include "winapi.h"

namespace winpath {

using short_name = fixed_text<13>; // "BASENAME.EXT"

bool legal_83(std::string_view name);

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

// The short name that short_names gives the name at byte `at` of `names`,
// made from the few names it depends on: 0, ERROR_NOT_ENOUGH_MEMORY or
// ERROR_FILENAME_EXCED_RANGE, as short_names.
DWORD short_name_of(name_list names, size_t at, short_name &out);

// The name to which short_names gives `alias` (a legal 8.3 name), ignoring
// case: its byte offset in `at`, or NO_NAME.
DWORD entry_with_short_name(name_list names, std::string_view alias, size_t &at);

} // namespace winpath
