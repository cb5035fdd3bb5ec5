// A growable array on malloc, for the tables a directory's short names are
// made from. The program does not use the C++ runtime's allocator: it would
// bring the runtime's exception pool, allocated at start-up by every run.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

namespace winpath {

// What the tables grow with: realloc, or a test's stand-in that fails.
inline void *(*table_realloc)(void *, size_t) = realloc;

template <class T> class heap_array {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    heap_array() = default;
    ~heap_array() { free(items_); }
    heap_array(const heap_array &) = delete;
    heap_array &operator=(const heap_array &) = delete;

    // Elements added are all zero bytes; false, and the array unchanged,
    // when memory runs out.
    bool resize(size_t n)
    {
        if (n > capacity_) {
            const size_t room = n < 2 * capacity_ ? 2 * capacity_ : n;
            void *grown = room <= SIZE_MAX / sizeof(T)
                              ? table_realloc(static_cast<void *>(items_), room * sizeof(T))
                              : nullptr;
            if (!grown)
                return false;
            items_ = static_cast<T *>(grown);
            capacity_ = room;
        }
        if (n > size_)
            memset(static_cast<void *>(items_ + size_), 0, (n - size_) * sizeof(T));
        size_ = n;
        return true;
    }
    size_t size() const { return size_; }
    T *begin() { return items_; }
    T *end() { return items_ + size_; }
    const T *begin() const { return items_; }
    const T *end() const { return items_ + size_; }
    T &operator[](size_t i) { return items_[i]; }
    const T &operator[](size_t i) const { return items_[i]; }

  private:
    T *items_ = nullptr;
    size_t size_ = 0, capacity_ = 0;
};

} // namespace winpath
