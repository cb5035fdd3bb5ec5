// A directory held in memory, listed through the directory-reader seam, and
// the check that its short names are as Windows keeps them: each entry's
// own, and each leading back to its entry.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "namecase.h"
#include "pathtext.h"
#include "shortnames.h"
#include "winpath.h"

// The root of drive C: (the working directory too) holds `names`, and
// nothing else exists; an entry named in `links` is a link to the root, one
// named in `twins` a link to a second folder of its own that holds the same
// names. Each folder is known by its own id.
struct memory_dir : winpath::dir_reader {
    explicit memory_dir(std::vector<std::string> entries, std::vector<std::string> self_links = {})
        : names(std::move(entries)), links(std::move(self_links))
    {
    }
    DWORD start(char drive, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        dir = 0;
        id = {1, 1};
        return drive == 0 || winpath::upper(drive) == 'C' ? 0 : ERROR_PATH_NOT_FOUND;
    }
    DWORD open(winpath::dir_handle, const char *name, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        start(0, dir, id);
        if (std::find(twins.begin(), twins.end(), name) != twins.end()) {
            dir = 1;
            id = {1, 2};
            return 0;
        }
        return std::find(links.begin(), links.end(), name) != links.end() ? 0 : ERROR_PATH_NOT_FOUND;
    }
    DWORD up(winpath::dir_handle, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        return start(0, dir, id);
    }
    void close(winpath::dir_handle) override {}
    DWORD list(winpath::dir_handle, winpath::short_source &how_listed) override
    {
        reads++;
        at = 0;
        how_listed = how;
        return 0;
    }
    DWORD next(winpath::dir_entry &e) override
    {
        e = {};
        if (at == fail_at)
            return ERROR_IO_DEVICE;
        if (at < names.size()) {
            e.name = names[at++].c_str();
        } else if (at++ == names.size() && !flicker.empty() && reads % 2) {
            e.name = flicker.c_str();
        }
        return 0;
    }
    // Kept names asked for one entry at a time, as ntfs-3g gives them.
    DWORD kept_name(winpath::dir_handle, const winpath::dir_entry &e, winpath::volume_name &out) override
    {
        out.clear();
        if (reads <= moved_reads)
            return ERROR_RETRY; // no longer where this read listed it
        for (size_t i = 0; i < names.size() && i < kept.size(); i++)
            if (names[i] == e.name)
                out.assign(std::string_view(kept[i]).substr(0, winpath::volume_name::capacity() - 1));
        return 0;
    }
    DWORD find_kept(winpath::dir_handle, std::string_view name, winpath::entry_name &found,
                    winpath::volume_name &its) override
    {
        found.clear();
        its.clear();
        for (size_t i = 0; i < kept.size(); i++)
            if (winpath::same_name(kept[i], name)) {
                found.assign(names[i]);
                its.assign(kept[i]);
            }
        return 0;
    }
    DWORD check(winpath::dir_handle, const char *name) override
    {
        checked = name;
        return 0;
    }
    // Names are found exactly, as on a volume that does not fold case.
    DWORD lookup(winpath::dir_handle, const char *name) override
    {
        const bool there = std::find(names.begin(), names.end(), name) != names.end();
        return there ? 0 : ERROR_FILE_NOT_FOUND;
    }
    // The directory's stamps, one a call, the last again and again.
    DWORD stamp(winpath::dir_handle, winpath::dir_stamp &s) override
    {
        s = stamps.empty() ? SETTLED : stamps[std::min(stamped++, stamps.size() - 1)];
        return 0;
    }

    std::vector<std::string> names, links, twins;
    std::string flicker; // listed by the first read, and every other one after it
    // How the entries get short names; for "kept", their kept names, asked
    // for one entry at a time.
    winpath::short_source how = winpath::short_source::made;
    std::vector<std::string> kept;
    int moved_reads = 0; // reads in which every entry has moved when its kept name is asked for
    size_t fail_at = static_cast<size_t>(-1); // the entry whose reading fails
    std::string checked;                      // the name last checked: the entry a path led to
    int reads = 0;
    size_t at = 0;
    static constexpr winpath::dir_stamp SETTLED{1, 1, true}; // long ago, in nanoseconds
    std::vector<winpath::dir_stamp> stamps;
    size_t stamped = 0;
};

// The short names that the model gives `names`.
inline std::vector<winpath::short_name> aliases_of(const std::vector<std::string> &names, DWORD &err)
{
    const std::vector<std::string_view> views(names.begin(), names.end());
    std::vector<winpath::short_name> aliases(names.size());
    err = winpath::short_names(views.data(), views.size(), aliases.data());
    return aliases;
}

// What is wrong with the short names of `dir`, or "" when nothing is: each
// entry's short name is a legal 8.3 name that no other entry has, ignoring
// case, leads back to that entry in one pass over the directory, and is
// what the entry named alone gets.
inline std::string short_name_fault(memory_dir &dir)
{
    DWORD err = 0;
    const std::vector<winpath::short_name> aliases = aliases_of(dir.names, err);
    if (err)
        return "no short names: " + std::to_string(err);
    winpath::current_dir cwd("C:\\");
    std::map<std::string, std::string> owners; // upper-case short name -> entry
    for (size_t i = 0; i < aliases.size(); i++) {
        const std::string alias = aliases[i].c_str();
        std::string key = alias;
        for (char &c : key)
            c = winpath::upper(c);
        if (!winpath::legal_83(alias))
            return alias + ", the short name of \"" + dir.names[i] + "\", is not a legal 8.3 name";
        if (!owners.emplace(key, dir.names[i]).second)
            return alias + " is the short name of \"" + owners[key] + "\" and of \"" + dir.names[i] + "\"";
        char buf[64];
        dir.reads = 0;
        winpath::path_result r = winpath::short_path(("C:\\" + alias).c_str(), cwd, dir, buf, sizeof buf);
        // Each leads back in one read at most (a legal name, found by the
        // volume's own lookup, in none).
        if (r.value == 0 || dir.checked != dir.names[i] || dir.reads > 1)
            return alias + " leads to \"" + dir.checked + "\", not to \"" + dir.names[i] + "\"";
        // The entry named alone gets what the whole directory gives it.
        r = winpath::short_path(("C:\\" + dir.names[i]).c_str(), cwd, dir, buf, sizeof buf);
        if (r.value == 0 || buf != "C:\\" + alias)
            return "\"" + dir.names[i] + "\" alone is " + (r.value ? buf + 3 : "an error") + ", not " + alias;
    }
    return "";
}
