// Short (8.3) names as the Windows programs of a POSIX machine see them.
// Those run under Wine, which gives every entry that is not a legal 8.3
// name an alias made from that name alone: up to 4 characters of it, "~"
// up to the 5th, 3 characters of a hash of the whole name, and up to 3 of
// its extension. Wine never looks at the folder when it makes one, so two
// entries may share an alias; which entry an alias stands for is the
// folder's business (listing.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fixedtext.h"
#include "winapi.h"

namespace winpath {

using short_name = fixed_text<13>; // "BASENAME.EXT"

// Windows' own test: ASCII, no space or control byte, none of
// " * + , / : ; < = > ? [ \ ] |, a base of 1 to 8 characters, at most one
// ".", an extension of at most 3, and no "." at the end (Windows text drops
// it, so "d." would name "d").
bool legal_83(std::string_view name);

// Wine's: as legal_83, but a control byte is allowed. Wine makes no alias
// for such a name, and looks for none.
bool wine_legal(std::string_view name);

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

// Wine 8 (Debian 12) and Wine 10 (Debian 13, and upstream since) make the
// same alias but for names that begin with a dot or hold one among their
// first characters.
enum class wine : unsigned char { v8, v10 };

// The alias `version` of Wine gives `name` (a name Wine takes as an 8.3
// name of its own gets one too, which Wine never looks for).
short_name wine_alias(std::string_view name, wine version);

// The alias by which Wine, either version, opens the entry `name`: empty
// where the versions differ, where Wine looks for none (wine_legal), and
// where it is no legal 8.3 name (it holds ":", "\" or a control byte,
// which Wine copies into it). Whether it is that entry's alone is the
// folder's business.
short_name common_alias(std::string_view name);

// Up to 4 characters of an alias.
struct alias_part {
    char c[4];
    unsigned char n = 0;
    std::string_view view() const { return {c, n}; }
    bool operator==(const alias_part &o) const { return view() == o.view(); }
};

// Whether an entry named `name` has `alias` (upper case, legal 8.3) as its
// alias by either version of Wine, ignoring ASCII case. Most names are
// told apart by their first characters and extension, before any hash.
class alias_match {
  public:
    explicit alias_match(std::string_view alias);
    bool operator()(std::string_view name) const;

  private:
    alias_part head_, ext_; // before "~", after "."
    unsigned hash_ = 0;
    bool valid_ = false;
};

} // namespace winpath
