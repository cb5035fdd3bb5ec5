// A growable array on malloc, for the tables a directory's short names are
// made from. The program does not use the C++ runtime's allocator: it would
// bring the runtime's exception pool, allocated at start-up by every run.
// T must be trivially copyable; an element added by resize is all zero bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace winpath {

template <class T> class heap_array {
    static_assert(std::is_trivially_copyable_v<T>);

  public:
    heap_array() = default;
    ~heap_array() { free(items_); }
    heap_array(const heap_array &) = delete;
    heap_array &operator=(const heap_array &) = delete;

    // false, and the array unchanged, when memory runs out.
    bool resize(size_t n)
    {
        if (n > capacity_ && !reserve(n))
            return false;
        if (n > size_)
            memset(static_cast<void *>(items_ + size_), 0, (n - size_) * sizeof(T));
        size_ = n;
        return true;
    }
    bool push(const T &item)
    {
        if (size_ == capacity_ && !reserve(size_ < 8 ? 16 : 2 * size_))
            return false;
        items_[size_++] = item;
        return true;
    }
    bool append(const T *items, size_t n)
    {
        if (n == 0)
            return true;
        if (n > capacity_ - size_ && !reserve(size_ + n > 2 * size_ ? size_ + n : 2 * size_))
            return false;
        memcpy(static_cast<void *>(items_ + size_), items, n * sizeof(T));
        size_ += n;
        return true;
    }
    void clear() { size_ = 0; }
    void swap(heap_array &o)
    {
        std::swap(items_, o.items_);
        std::swap(size_, o.size_);
        std::swap(capacity_, o.capacity_);
    }
    size_t size() const { return size_; }
    T *begin() { return items_; }
    T *end() { return items_ + size_; }
    T &operator[](size_t i) { return items_[i]; }
    const T &operator[](size_t i) const { return items_[i]; }

  private:
    bool reserve(size_t n)
    {
        if (n > SIZE_MAX / sizeof(T))
            return false;
        void *grown = realloc(static_cast<void *>(items_), n * sizeof(T));
        if (!grown)
            return false;
        items_ = static_cast<T *>(grown);
        capacity_ = n;
        return true;
    }

    T *items_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

} // namespace winpath
