// Fuzz target for the emulated GetFullPathNameA. The input up to its first
// NUL makes the current directory, the rest is the name; the first byte also
// picks a small buffer size to try the buffer contract.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "winpath.h"

namespace {

using winpath::MAX_CHARS;

void require(bool ok, const char *what)
{
    if (!ok) {
        fprintf(stderr, "invariant broken: %s\n", what);
        abort();
    }
}

// A current directory as Windows would have one: a drive path that
// resolves to itself and does not end in a separator.
std::string current_directory(const std::string &seed)
{
    static char buf[MAX_CHARS + 1];
    winpath::current_dir root("C:\\");
    std::string cwd = "C:\\" + seed;
    for (int tries = 0; tries < 4; tries++) {
        const winpath::path_result r = winpath::full_path(cwd.c_str(), root, buf, sizeof buf, nullptr);
        if (r.value == 0 || r.value >= sizeof buf || buf[1] != ':')
            return "C:\\";
        std::string next = buf;
        while (next.size() > 3 && next.back() == '\\')
            next.pop_back();
        if (next == cwd)
            return cwd;
        cwd = next;
    }
    return "C:\\";
}

// Length of the part that ".." never removes.
size_t root_length(std::string_view p)
{
    if (p.size() >= 2 && p[1] == ':')
        return 3;
    if (p.rfind("\\\\.\\", 0) == 0 || p.rfind("\\\\?\\", 0) == 0)
        return 4;
    size_t end = p.find('\\', 2);                                           // server
    end = end == std::string_view::npos ? p.size() : p.find('\\', end + 1); // share
    return end == std::string_view::npos ? p.size() : end;
}

void check_components(std::string_view p)
{
    size_t i = root_length(p);
    while (i < p.size()) {
        size_t j = p.find('\\', i);
        if (j == std::string_view::npos)
            j = p.size();
        const std::string_view c = p.substr(i, j - i);
        require(c != "." && c != "..", "no . or .. component survives");
        i = j + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t nul = input.find('\0');
    const std::string cwd_text = current_directory(nul == std::string::npos ? "" : input.substr(0, nul));
    const std::string name = input.substr(nul == std::string::npos ? 0 : nul + 1);
    winpath::current_dir cwd(cwd_text);

    static char buf[MAX_CHARS + 2];
    char *filepart = nullptr;
    const winpath::path_result r = winpath::full_path(name.c_str(), cwd, buf, sizeof buf, &filepart);
    if (r.value == 0) {
        require(r.error == ERROR_INVALID_NAME || r.error == ERROR_FILENAME_EXCED_RANGE, "known error");
        return 0;
    }
    const std::string result(buf);
    require(r.value == result.size() && r.value <= MAX_CHARS, "length returned");
    require(!filepart || (filepart > buf && filepart[-1] == '\\' && filepart < buf + r.value),
            "file part after a separator, inside the result");
    check_components(result);

    // The same name with a small buffer: the size needed, the buffer untouched.
    const DWORD small = size ? data[0] % (result.size() + 2) : 0;
    static char other[MAX_CHARS + 2];
    memset(other, '#', small);
    const winpath::path_result s = winpath::full_path(name.c_str(), cwd, other, small, nullptr);
    if (small > result.size())
        require(s.value == result.size() && result == other, "fits");
    else
        require(s.value == result.size() + 1 && (small == 0 || other[0] == '#'), "too small");

    // A drive path resolves to itself, with two exceptions that the Windows
    // rules make: an inner component keeps two trailing dots, so "x..\." ends
    // in "x.." and loses them when resolved again; and a last component may
    // only now read as the device NUL ("NUL.:" from "NUL.:.").
    if (result.size() >= 3 && result[1] == ':') {
        static char again[MAX_CHARS + 2];
        const winpath::path_result a = winpath::full_path(result.c_str(), cwd, again, sizeof again, nullptr);
        require(a.value != 0, "resolves again");
        std::string trimmed = result;
        while (trimmed.back() == '.' || trimmed.back() == ' ')
            trimmed.pop_back();
        require(result == again || trimmed == again || strcasecmp(again, "\\\\.\\nul") == 0,
                "resolves to itself");
    }
    return 0;
}
