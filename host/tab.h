// The host's growable table of plain values (pointers, numbers, records).
//
// Append(num, el, allocExtra) adds num elements at the end and, when the table must
// grow, leaves room for allocExtra more; callers pass 25. Copies are deep: a copy owns
// its own storage. Elements are copied bitwise, so T must be trivially copyable.
#pragma once

#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

template <class T> class Tab {
    static_assert(std::is_trivially_copyable_v<T>, "Tab holds plain values");
    // Pointers as often as not (Tab<INode*>), which a lint takes for a mistaken sizeof.
    static constexpr size_t ElementSize = sizeof(T); // NOLINT(bugprone-sizeof-expression)
    T* th = nullptr;
    int count = 0;
    int alloced = 0;

    void Grow(int need)
    {
        T* n = static_cast<T*>(std::realloc(th, ElementSize * size_t(need)));
        if (!n)
            throw std::bad_alloc();
        th = n;
        alloced = need;
    }

public:
    Tab() = default;
    Tab(const Tab& tb) { *this = tb; }
    Tab(Tab&& tb) noexcept : th(tb.th), count(tb.count), alloced(tb.alloced)
    {
        tb.th = nullptr;
        tb.count = tb.alloced = 0;
    }
    ~Tab() { std::free(th); }
    Tab& operator=(const Tab& tb)
    {
        if (this == &tb)
            return *this;
        ZeroCount();
        if (tb.count > 0) {
            if (alloced < tb.count)
                Grow(tb.count);
            std::memcpy(th, tb.th, ElementSize * size_t(tb.count));
        }
        count = tb.count;
        return *this;
    }
    Tab& operator=(Tab&& tb) noexcept
    {
        if (this != &tb) {
            std::free(th);
            th = tb.th;
            count = tb.count;
            alloced = tb.alloced;
            tb.th = nullptr;
            tb.count = tb.alloced = 0;
        }
        return *this;
    }

    int Count() const { return count; }
    void ZeroCount() { count = 0; }
    // Sets the count, growing the storage as needed; new elements are zero.
    void SetCount(int n)
    {
        if (n < 0)
            n = 0;
        if (n > alloced)
            Grow(n);
        if (n > count)
            std::memset(static_cast<void*>(th + count), 0, ElementSize * size_t(n - count));
        count = n;
    }
    // Reserves storage for n elements.
    void Resize(int n)
    {
        if (n > alloced)
            Grow(n);
    }
    T& operator[](int i) { return th[i]; }
    const T& operator[](int i) const { return th[i]; }
    T* Addr(int i) { return th + i; }
    const T* Addr(int i) const { return th + i; }
    // Appends num elements from el; returns the index of the first one.
    int Append(int num, const T* el, int allocExtra = 0)
    {
        if (num <= 0)
            return count;
        if (count + num > alloced)
            Grow(count + num + (allocExtra > 0 ? allocExtra : 0));
        std::memcpy(static_cast<void*>(th + count), el, ElementSize * size_t(num));
        count += num;
        return count - num;
    }
    // Removes num elements from start; returns the new count.
    int Delete(int start, int num)
    {
        if (start < 0 || num <= 0 || start >= count)
            return count;
        if (start + num > count)
            num = count - start;
        std::memmove(static_cast<void*>(th + start), th + start + num, ElementSize * size_t(count - start - num));
        count -= num;
        return count;
    }
    // Releases the storage.
    void Init()
    {
        std::free(th);
        th = nullptr;
        count = alloced = 0;
    }
    void Shrink()
    {
        if (count == 0)
            Init();
        else if (alloced > count)
            Grow(count);
    }
};
