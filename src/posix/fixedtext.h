// A string in a fixed array, for the emulation's working storage: the
// program must not pull in the C++ runtime's allocator (its exception pool
// is allocated at start-up by every run).
#pragma once

#include <cstring>
#include <string_view>

namespace winpath {

template <size_t N> class fixed_text {
  public:
    // Only the terminating NUL is written: path buffers are large.
    fixed_text() { buf_[0] = '\0'; }
    // false, and the text unchanged, when it would not fit.
    bool append(std::string_view s)
    {
        if (s.size() > N - 1 - len_)
            return false;
        if (!s.empty()) // an empty view may have no data at all
            memcpy(buf_ + len_, s.data(), s.size());
        len_ += s.size();
        buf_[len_] = '\0';
        return true;
    }
    bool append(char c) { return append(std::string_view(&c, 1)); }
    bool assign(std::string_view s)
    {
        clear();
        return append(s);
    }
    void clear() { resize(0); }
    void resize(size_t n)
    {
        len_ = n;
        buf_[n] = '\0';
    }
    size_t size() const { return len_; }
    static constexpr size_t capacity() { return N; }
    bool empty() const { return len_ == 0; }
    char back() const { return buf_[len_ - 1]; }
    const char *c_str() const { return buf_; }
    char *data() { return buf_; }
    std::string_view view() const { return {buf_, len_}; }

  private:
    char buf_[N];
    size_t len_ = 0;
};

} // namespace winpath
