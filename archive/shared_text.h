// SharedText: a text that copies share, as the entry table holds its folders.
#pragma once

#include <atomic>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

// A text that copies share instead of duplicating: a directory record names
// the folder of every entry after it, and a table of millions of entries holds
// that text once. It reads like a const std::string (empty, size, data,
// comparisons with strings, conversion to std::string_view and std::string).
// One pointer wide; the text lives in a single block after a reference count.
class SharedText {
    template <typename T>
    using EnableForText =
        std::enable_if_t<std::is_convertible_v<const T&, std::string_view> && !std::is_same_v<T, SharedText>>;

public:
    SharedText() noexcept = default;
    SharedText(std::string_view text) : m_block(Make(text)) {}
    SharedText(const std::string& text) : SharedText(std::string_view(text)) {}
    SharedText(const char* text) : SharedText(std::string_view(text)) {}
    SharedText(const SharedText& other) noexcept : m_block(other.m_block) { Retain(); }
    SharedText(SharedText&& other) noexcept : m_block(other.m_block) { other.m_block = nullptr; }
    SharedText& operator=(const SharedText& other) noexcept
    {
        SharedText(other).swap(*this);
        return *this;
    }
    SharedText& operator=(SharedText&& other) noexcept
    {
        SharedText(std::move(other)).swap(*this);
        return *this;
    }
    ~SharedText() { Release(); }

    bool empty() const noexcept { return m_block == nullptr; }
    std::size_t size() const noexcept { return m_block ? m_block->size : 0; }
    std::size_t length() const noexcept { return size(); }
    const char* data() const noexcept { return m_block ? TextOf(m_block) : ""; }   // ends with a 0
    const char* c_str() const noexcept { return data(); }
    const char* begin() const noexcept { return data(); }
    const char* end() const noexcept { return data() + size(); }
    std::string_view view() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return view(); }
    operator std::string() const { return std::string(data(), size()); }

    void clear() noexcept { SharedText().swap(*this); }
    void swap(SharedText& other) noexcept { std::swap(m_block, other.m_block); }

    friend bool operator==(const SharedText& a, const SharedText& b) noexcept
    {
        return a.m_block == b.m_block || a.view() == b.view();
    }
    friend bool operator!=(const SharedText& a, const SharedText& b) noexcept { return !(a == b); }
    // With std::string, std::string_view, const char* and string literals.
    template <typename T, typename = EnableForText<T>>
    friend bool operator==(const SharedText& a, const T& b) noexcept
    {
        return a.view() == std::string_view(b);
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator==(const T& a, const SharedText& b) noexcept
    {
        return std::string_view(a) == b.view();
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator!=(const SharedText& a, const T& b) noexcept
    {
        return !(a == b);
    }
    template <typename T, typename = EnableForText<T>>
    friend bool operator!=(const T& a, const SharedText& b) noexcept
    {
        return !(a == b);
    }
    template <typename T, typename = EnableForText<T>>
    friend std::string operator+(const SharedText& a, const T& b)
    {
        const std::string_view right(b);
        std::string joined;
        joined.reserve(a.size() + right.size());
        joined.append(a.data(), a.size()).append(right);
        return joined;
    }
    template <typename T, typename = EnableForText<T>>
    friend std::string operator+(const T& a, const SharedText& b)
    {
        const std::string_view left(a);
        std::string joined;
        joined.reserve(left.size() + b.size());
        joined.append(left).append(b.data(), b.size());
        return joined;
    }

private:
    struct Block {
        std::atomic<std::size_t> references;
        std::size_t size;
    };
    static const char* TextOf(const Block* block) noexcept { return reinterpret_cast<const char*>(block + 1); }
    static Block* Make(std::string_view text);
    static void Free(Block* block) noexcept;
    void Retain() const noexcept
    {
        if (m_block)
            m_block->references.fetch_add(1, std::memory_order_relaxed);
    }
    void Release() noexcept
    {
        if (m_block && m_block->references.fetch_sub(1, std::memory_order_acq_rel) == 1)
            Free(m_block);
        m_block = nullptr;
    }

    Block* m_block = nullptr;   // null for the empty text
};

std::ostream& operator<<(std::ostream& out, const SharedText& text);
