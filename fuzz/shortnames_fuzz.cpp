// Fuzz target for -s in a folder of Wine's aliases: the input split at '/'
// and NUL bytes is the list of a directory's entries. What -s shows for
// each entry leads back to it, under Wine too.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "memory_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> names;
    std::set<std::string> seen; // upper case: one directory holds a name once
    std::string cur;
    for (size_t i = 0; i <= size && names.size() < 32; i++) {
        if (i < size && data[i] != '/' && data[i] != 0) {
            cur += static_cast<char>(data[i]);
            continue;
        }
        std::string key = cur;
        for (char &c : key)
            c = winpath::upper(c);
        // Names a Windows path cannot spell are left out.
        const bool spelled = cur.find_first_of("\\*?") == std::string::npos && cur != "." && cur != "..";
        if (!cur.empty() && spelled && seen.insert(key).second)
            names.push_back(cur);
        cur.clear();
    }
    memory_dir dir(names);
    const std::string fault = lead_back_fault(dir);
    if (!fault.empty()) {
        fprintf(stderr, "invariant broken: %s\n", fault.c_str());
        abort();
    }
    return 0;
}
