// A directory held in memory, listed through the directory-reader seam, and
// the check that its short names are as Windows keeps them: each entry's
// own, and each leading back to its entry.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "pathtext.h"
#include "shortnames.h"
#include "winpath.h"

// The root of drive C: (the working directory too) holds `names`, and
// nothing else exists; an entry named in `links` is a link to the root.
struct memory_dir : winpath::dir_reader {
    explicit memory_dir(std::vector<std::string> entries, std::vector<std::string> self_links = {})
        : names(std::move(entries)), links(std::move(self_links))
    {
    }
    DWORD start(char drive, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        dir = 0;
        id = {};
        return drive == 0 || winpath::upper(drive) == 'C' ? 0 : ERROR_PATH_NOT_FOUND;
    }
    DWORD open(winpath::dir_handle, const char *name, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        start(0, dir, id);
        return std::find(links.begin(), links.end(), name) != links.end() ? 0 : ERROR_PATH_NOT_FOUND;
    }
    DWORD up(winpath::dir_handle, winpath::dir_handle &dir, winpath::dir_id &id) override
    {
        return start(0, dir, id);
    }
    void close(winpath::dir_handle) override {}
    DWORD list(winpath::dir_handle, winpath::short_source &how) override
    {
        reads++;
        at = 0;
        how = winpath::short_source::made;
        return 0;
    }
    DWORD next(winpath::dir_entry &e) override
    {
        e = {};
        e.name = at < names.size() ? names[at++].c_str() : nullptr;
        return 0;
    }
    DWORD check(winpath::dir_handle, const char *name) override
    {
        checked = name;
        return 0;
    }

    std::vector<std::string> names, links;
    std::string checked; // the name last checked: the entry a path led to
    int reads = 0;
    size_t at = 0;
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
// case, and leads back to that entry in one pass over the directory.
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
        const winpath::path_result r =
            winpath::short_path(("C:\\" + alias).c_str(), cwd, dir, buf, sizeof buf);
        if (r.value == 0 || dir.checked != dir.names[i] || dir.reads != 1)
            return alias + " leads to \"" + dir.checked + "\", not to \"" + dir.names[i] + "\"";
    }
    return "";
}
