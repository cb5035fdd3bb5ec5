// GetFullPathNameA's rules, as Windows 11 (long-path aware) applies them.
#include <cstring>

#include "pathtext.h"
#include "winpath.h"

namespace winpath {
namespace {

// Builds a result in a fixed buffer; the part before `root` is never removed by "..".
class builder {
  public:
    explicit builder(char *buf) : buf_(buf) {}

    void put(char c)
    {
        if (len_ < MAX_CHARS)
            buf_[len_++] = c;
        else
            overflow_ = true;
    }
    void put(std::string_view s)
    {
        for (char c : s)
            put(c);
    }
    // `floor` is where trimming the end of the result stops: the root itself,
    // but for UNC paths the "\\" before the server and share.
    void mark_root(size_t floor = NONE)
    {
        root_ = len_;
        floor_ = floor == NONE ? len_ : floor;
    }
    void component(std::string_view c)
    {
        if (len_ > 0 && buf_[len_ - 1] != '\\')
            put('\\');
        put(c);
    }
    // ".." removes the last component, never the root.
    void up()
    {
        size_t i = len_;
        while (i > root_ && buf_[i - 1] != '\\')
            i--;
        len_ = i > root_ ? i - 1 : root_;
    }
    // Windows trims trailing dots and spaces after "." and ".." have been
    // evaluated, so a component that becomes last is trimmed too. A component
    // trimmed away leaves the separator before it.
    void trim_end()
    {
        while (len_ > floor_ && (buf_[len_ - 1] == '.' || buf_[len_ - 1] == ' '))
            len_--;
    }
    void end_with_separator()
    {
        if (len_ > 0 && buf_[len_ - 1] != '\\')
            put('\\');
    }
    // Offset of the last component when it lies after the root and the
    // result does not end in a separator.
    size_t filepart() const
    {
        if (len_ <= root_ || buf_[len_ - 1] == '\\')
            return NONE;
        size_t i = len_;
        while (buf_[i - 1] != '\\')
            i--;
        return i;
    }
    size_t size() const { return len_; }
    bool overflow() const { return overflow_; }

    static constexpr size_t NONE = static_cast<size_t>(-1);

  private:
    char *buf_;
    size_t len_ = 0;
    size_t root_ = 0;
    size_t floor_ = 0;
    bool overflow_ = false;
};

bool is_device_name(std::string_view s)
{
    if (s.size() == 3)
        return same_text(s, "AUX") || same_text(s, "CON") || same_text(s, "NUL") || same_text(s, "PRN");
    if (s.size() == 4 && (same_text(sub(s, 0, 3), "COM") || same_text(sub(s, 0, 3), "LPT"))) {
        const unsigned char d = s[3];
        // The Latin-1 superscripts count as the digits 1, 2 and 3.
        return (d >= '1' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
    }
    return same_text(s, "CONIN$") || same_text(s, "CONOUT$");
}

std::string_view drop_colon(std::string_view s)
{
    if (!s.empty() && s.back() == ':')
        s.remove_suffix(1);
    return s;
}

// The DOS device a name stands for, as typed, or empty.
std::string_view dos_device(std::string_view name)
{
    if ((name.size() >= 2 && is_sep(name[0]) && is_sep(name[1])) || is_sep(name.back()))
        return {};
    // The whole name: a device alone, with trailing dots and spaces, or with one colon.
    std::string_view bare = trim_dots_spaces(name);
    if (is_device_name(bare))
        return bare;
    if (is_device_name(drop_colon(name)) && name.back() == ':')
        return drop_colon(name);
    // Behind a drive or directory only NUL stays a device.
    size_t start = name.find_last_of("\\/");
    start = start != std::string_view::npos ? start + 1 : (name.size() >= 2 && name[1] == ':') ? 2 : 0;
    if (start == 0)
        return {};
    std::string_view leaf = drop_colon(trim_dots_spaces(drop_colon(sub(name, start))));
    if (same_text(leaf, "NUL"))
        return leaf;
    // The console devices keep their meaning under the NT prefix \??\.
    const bool nt_prefix = start == 4 && is_sep(name[0]) && name[1] == '?' && name[2] == '?';
    if (nt_prefix && (same_text(leaf, "CONIN$") || same_text(leaf, "CONOUT$")))
        return leaf;
    return {};
}

// The UNC root \\server\share; returns what follows it.
std::string_view unc_root(std::string_view name, builder &b)
{
    b.put("\\\\");
    const size_t floor = b.size();
    const size_t server_end = name.find_first_of("\\/", 2);
    b.put(sub(name, 2, server_end - 2));
    if (server_end == std::string_view::npos) {
        b.mark_root(floor);
        return {};
    }
    const size_t share_end = name.find_first_of("\\/", server_end + 1);
    b.put('\\');
    b.put(sub(name, server_end + 1, share_end - server_end - 1));
    b.mark_root(floor);
    return share_end == std::string_view::npos ? std::string_view{} : sub(name, share_end);
}

// Writes the root (and, for names relative to it, the current directory);
// returns the rest of the name still to be added, or false with an error.
bool root_of(std::string_view name, current_dir &cwd, builder &b, std::string_view &rest, DWORD &error)
{
    std::string_view base;
    if (name.size() >= 2 && is_sep(name[0]) && is_sep(name[1])) {
        const bool device =
            name.size() >= 3 && (name[2] == '.' || name[2] == '?') && (name.size() == 3 || is_sep(name[3]));
        if (!device) {
            rest = unc_root(name, b);
            return true;
        }
        // \\?\ is normalised like \\.\ here; \\. and \\? alone are the device root.
        b.put("\\\\");
        b.put(name.size() == 3 ? '.' : name[2]);
        b.put('\\');
        b.mark_root();
        rest = name.size() == 3 ? std::string_view{} : sub(name, 4);
        return true;
    }
    if (name.size() >= 2 && name[1] == ':') {
        rest = sub(name, 2);
        if (!rest.empty() && is_sep(rest[0])) {
            b.put(sub(name, 0, 2));
        } else if (upper(name[0]) == upper(cwd.drive())) {
            if (!cwd.get(base, error))
                return false;
        } else {
            b.put(upper(name[0]));
            b.put(':');
        }
    } else if (is_sep(name[0])) {
        b.put(cwd.drive());
        b.put(':');
        rest = name;
    } else {
        if (!cwd.get(base, error))
            return false;
        rest = name;
    }
    if (base.empty()) {
        b.put('\\');
        b.mark_root();
    } else {
        // The current directory is taken as it stands.
        b.put(sub(base, 0, 3));
        b.mark_root();
        b.put(sub(base, 3));
    }
    return true;
}

// Adds the components of `rest`, applying ".", ".." and the trimming of dots and spaces.
void add_components(std::string_view rest, builder &b)
{
    size_t i = 0;
    while (i < rest.size()) {
        if (is_sep(rest[i])) {
            i++;
            continue;
        }
        size_t j = rest.find_first_of("\\/", i);
        if (j == std::string_view::npos)
            j = rest.size();
        std::string_view c = sub(rest, i, j - i);
        i = j;
        if (c == ".")
            continue;
        if (c == "..") {
            b.up();
            continue;
        }
        // An inner component loses one trailing dot, but ".." and longer runs stay.
        if (j < rest.size() && c.back() == '.' && c[c.size() - 2] != '.')
            c.remove_suffix(1);
        b.component(c);
    }
    if (!rest.empty() && is_sep(rest.back()))
        b.end_with_separator();
    else
        b.trim_end();
}

} // namespace

path_result full_path(const char *name_c, current_dir &cwd, char *buf, DWORD size, char **filepart)
{
    const std::string_view name(name_c);
    if (name.find_first_not_of(' ') == std::string_view::npos)
        return {0, ERROR_INVALID_NAME};
    if (name.size() > MAX_CHARS)
        return {0, ERROR_FILENAME_EXCED_RANGE};

    char work[MAX_CHARS + 1];
    builder b(work);
    size_t part = builder::NONE;
    if (std::string_view device = dos_device(name); !device.empty()) {
        b.put("\\\\.\\");
        b.put(device);
    } else {
        std::string_view rest;
        DWORD error = 0;
        if (!root_of(name, cwd, b, rest, error))
            return {0, error};
        add_components(rest, b);
        part = b.filepart();
    }
    if (b.overflow())
        return {0, ERROR_FILENAME_EXCED_RANGE};

    const size_t len = b.size();
    if (size <= len)
        return {static_cast<DWORD>(len + 1), 0};
    memcpy(buf, work, len);
    buf[len] = '\0';
    if (filepart)
        *filepart = part == builder::NONE ? nullptr : buf + part;
    return {static_cast<DWORD>(len), 0};
}

} // namespace winpath
