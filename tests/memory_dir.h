// A directory held in memory, listed through the directory-reader seam, and
// the check that what -s shows for each entry leads Wine back to it.
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
    // Names are found exactly, as on a volume that does not fold case, or
    // where `folding`, as a case-folding folder of Linux finds them: by
    // Unicode's folding, in which the Kelvin sign is "k" and the long s "s".
    DWORD lookup(winpath::dir_handle, const char *name) override
    {
        const auto fold = [](std::string s) {
            for (const auto &[from, to] : {std::pair<std::string, char>{"\u212A", 'k'}, {"\u017F", 's'}})
                for (size_t at; (at = s.find(from)) != std::string::npos;)
                    s.replace(at, from.size(), 1, to);
            for (char &c : s)
                c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
            return s;
        };
        for (const std::string &n : names)
            if (n == name || (folding && fold(n) == fold(name)))
                return 0;
        return ERROR_FILE_NOT_FOUND;
    }
    bool exact_lookup(winpath::dir_handle) override { return !folding; }
    // Where `watchable`, the flicker is what a watch sees change.
    bool watch(winpath::dir_handle) override { return watchable; }
    bool changed(const winpath::name_test &test) override
    {
        return !flicker.empty() && test.matters(flicker);
    }
    // The directory's stamps, one a call, the last again and again.
    DWORD stamp(winpath::dir_handle, winpath::dir_stamp &s) override
    {
        s = stamps.empty() ? SETTLED : stamps[std::min(stamped++, stamps.size() - 1)];
        return 0;
    }

    std::vector<std::string> names, links, twins;
    std::string flicker; // listed by the first read, and every other one after it
    bool watchable = false, folding = false;
    // How the entries get short names; for "kept", their kept names, asked
    // for one entry at a time.
    winpath::short_source how = winpath::short_source::wine;
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

// The entry Wine opens by `text` in `dir`: the one of that very name, else
// the first listed that equals it ignoring case or, where Wine takes `text`
// as an 8.3 name, whose alias by either version it is; "" for none.
inline std::string wine_opens(const memory_dir &dir, const std::string &text)
{
    if (std::find(dir.names.begin(), dir.names.end(), text) != dir.names.end())
        return text;
    for (const std::string &name : dir.names) {
        if (winpath::same_name(name, text))
            return name;
        if (!winpath::wine_legal(text) || winpath::wine_legal(name))
            continue;
        for (winpath::wine v : {winpath::wine::v8, winpath::wine::v10})
            if (winpath::same_text(winpath::wine_alias(name, v).view(), text))
                return name;
    }
    return "";
}

// What is wrong with what -s shows for the entries of `dir`, or "" when
// nothing is: each entry shows as an alias Wine gives it (both versions
// alike), or as its long name; it fails only where Windows text cannot
// carry that name or Wine cannot read it (123); what it shows finds the
// entry again, and Wine opens that very entry by it.
inline std::string lead_back_fault(memory_dir &dir)
{
    winpath::current_dir cwd("C:\\");
    char buf[2048];
    for (const std::string &name : dir.names) {
        winpath::path_result r = winpath::short_path(("C:\\" + name).c_str(), cwd, dir, buf, sizeof buf);
        const bool nameable = winpath::windows_can_hold(name) && winpath::valid_utf8(name);
        if (r.value == 0 && (r.error != ERROR_INVALID_NAME || nameable))
            return "\"" + name + "\" fails with " + std::to_string(r.error);
        if (r.value == 0)
            continue;
        const std::string shown = buf + 3;
        if (shown != name && shown != winpath::common_alias(name).c_str())
            return "\"" + name + "\" shows as " + shown + ", which Wine gives it in neither version";
        if (wine_opens(dir, shown) != name)
            return shown + ", shown for \"" + name + "\", opens \"" + wine_opens(dir, shown) +
                   "\" under Wine";
        r = winpath::short_path(("C:\\" + shown).c_str(), cwd, dir, buf, sizeof buf);
        if (r.value == 0 || dir.checked != name || buf + 3 != shown)
            return shown + " leads to \"" + dir.checked + "\", not to \"" + name + "\"";
    }
    return "";
}
