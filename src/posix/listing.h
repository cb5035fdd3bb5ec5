// One directory's entries as the short-name walk reads them, and when a read
// of a directory that changes may stand for the entry asked about.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "heaparray.h"
#include "shortnames.h"
#include "winpath.h"

namespace winpath {

constexpr size_t NONE = NO_NAME; // no entry, as the short-name functions say it

// What one lookup in one read of a directory found: the name_sum of the
// names its answer was made from, the answer included; whether it rests on
// its entry's own names alone, as the volume gave them together; and
// whether the entry was gone from where the read had it (`moved`).
struct reading {
    uint64_t depends = 0;
    bool alone = false, moved = false;
};

// The names whose change may change an answer for `component`: itself in
// any case (the entry found by it), and those that may share its aliases
// (the entry found by one, and the names a short name is made from).
class names_of final : public name_test {
  public:
    explicit names_of(std::string_view component) : component_(component), ext_(short_name_ext(component)) {}
    bool matters(std::string_view name) const override;

  private:
    std::string_view component_;
    short_name ext_;
};

// A short name the volume keeps, as Windows shows it: in upper case, and
// nothing where it cannot be an 8.3 name.
void take_kept(std::string_view kept, volume_name &out);

// One directory's entries, read in one pass and held once, compactly: the
// names one after another, the short names the volume keeps where they
// came with the entries, and where each entry starts where the volume
// gives its short name one entry at a time. A short name the model makes
// is made for the one entry asked about, from the few names it depends on;
// the last few lookups are remembered, so a walk that meets a directory
// again (through a link to it) names nothing twice.
class listing {
  public:
    // Reads `dir` until a lookup's answer holds, `look_up(reading &)` making
    // the answer from each read: 0, ERROR_GEN_FAILURE when it never held, or
    // the first error look_up or the disk gives.
    template <class F>
    DWORD read_until_held(dir_reader &dirs, dir_handle dir, const dir_id &id, const names_of &names,
                          F look_up)
    {
        held_reads reads;
        bool watching = false;
        do {
            dir_stamp before, after;
            reading r;
            if (DWORD err = dirs.stamp(dir, before))
                return err;
            if (DWORD err = read(dirs, dir))
                return err;
            if (DWORD err = dirs.stamp(dir, after))
                return err;
            if (watching && dirs.changed(names)) {
                reads.changed();
                continue;
            }
            if (DWORD err = look_up(r))
                return err;
            if (!r.moved && reads.still(before, after)) {
                keep(id, after);
                return 0;
            }
            if (watching ? reads.unchanged(r) : reads.alike(r))
                return 0;
            watching = watching || dirs.watch(dir);
        } while (!reads.spent());
        return ERROR_GEN_FAILURE;
    }
    // Whether this holds the whole listing of directory `id` as it stands
    // now: read while it held still, and unchanged since.
    bool holds(const dir_id &id, const dir_stamp &now) const { return held_ && id_ == id && stamp_ == now; }

    short_source how() const { return how_; }
    std::string_view name(size_t at) const { return &text_[at]; }
    const char *name_c(size_t at) const { return &text_[at]; } // with its NUL
    // The entry at `at` as listed, for asking the volume its short name.
    dir_entry entry(size_t at) const;
    // The entry of that very name (`exact`), else the first in byte order
    // that equals it ignoring case; NONE if there is neither.
    size_t find(std::string_view component, bool &exact, uint64_t &depends) const;
    // The short name the model makes for the entry at `at`.
    DWORD made_of(size_t at, volume_name &out, uint64_t &depends) const;
    // The entry to which the model gives `component`, or NONE.
    DWORD by_made(std::string_view component, size_t &at, uint64_t &depends) const;
    // A lookup of `component` made before: the entry found, and what the
    // short form showed for it.
    const volume_name *recall(std::string_view component, size_t &at) const;
    void remember(std::string_view component, size_t at, std::string_view shown);

  private:
    // Counts the reads of one lookup and says when one may stand.
    class held_reads {
      public:
        bool still(const dir_stamp &before, const dir_stamp &after) const;
        bool alike(const reading &r);
        bool unchanged(const reading &r);
        void changed() { reads_++; }
        bool spent() const { return reads_ == READS; }

      private:
        static constexpr int READS = 6, ALIKE = 3;
        int reads_ = 0, alike_ = 0;
        uint64_t last_ = 0;
    };
    struct start { // 8 bytes an entry: FAT folders hold at most 2 MiB
        uint32_t at, where;
    };
    struct lookup {
        entry_name component;
        size_t at;
        volume_name shown;
    };
    static constexpr size_t LOOKUPS = 4;

    DWORD read(dir_reader &dirs, dir_handle dir);
    bool add(const dir_entry &e);
    void keep(const dir_id &id, const dir_stamp &s);

    heap_array<char> text_; // the names, each with its NUL
    heap_array<start> starts_;
    dir_id id_;
    dir_stamp stamp_;
    short_source how_ = short_source::made;
    bool held_ = false;
    lookup lookups_[LOOKUPS];
    size_t next_lookup_ = 0;
};

} // namespace winpath
