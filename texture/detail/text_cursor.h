// A forward-only cursor over the ASCII headers of PPM, PFM and Radiance files. Numbers are
// converted with std::from_chars, so the process locale never matters.
#pragma once

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace halv::texture::detail {

class TextCursor {
public:
    TextCursor(std::span<const std::byte> data, std::size_t offset)
        : mText(reinterpret_cast<const char*>(data.data()), data.size())
        , mOffset(offset < data.size() ? offset : data.size()) {}

    std::size_t offset() const { return mOffset; }
    bool atEnd() const { return mOffset >= mText.size(); }
    // The next character, or -1 at the end.
    int peek() const { return atEnd() ? -1 : static_cast<unsigned char>(mText[mOffset]); }
    void advance() {
        if (!atEnd()) {
            ++mOffset;
        }
    }

    static bool isSpace(int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    }

    // Skips white space and, when asked, '#' comments running to the end of their line.
    void skipSpace(bool comments) {
        while (!atEnd()) {
            const int c = peek();
            if (isSpace(c)) {
                ++mOffset;
            } else if (comments && c == '#') {
                while (!atEnd() && mText[mOffset] != '\n') {
                    ++mOffset;
                }
            } else {
                return;
            }
        }
    }

    // The run of characters up to the next white space (possibly empty).
    std::string_view token() {
        const std::size_t start = mOffset;
        while (!atEnd() && !isSpace(peek())) {
            ++mOffset;
        }
        return mText.substr(start, mOffset - start);
    }

    // The rest of the line without its '\n' (which is consumed); false when the data ends
    // before a '\n'.
    bool line(std::string_view* out) {
        const std::size_t end = mText.find('\n', mOffset);
        if (end == std::string_view::npos) {
            return false;
        }
        *out = mText.substr(mOffset, end - mOffset);
        mOffset = end + 1;
        return true;
    }

    // A decimal number of digits only; false (cursor unchanged) for anything else or overflow.
    bool readUnsigned(std::uint32_t* value) {
        const char* first = mText.data() + mOffset;
        const char* last = mText.data() + mText.size();
        if (first == last || *first < '0' || *first > '9') {
            return false;
        }
        const auto [end, error] = std::from_chars(first, last, *value);
        if (error != std::errc()) {
            return false;
        }
        mOffset += static_cast<std::size_t>(end - first);
        return true;
    }

private:
    std::string_view mText;
    std::size_t mOffset;
};

// The whole of `text` (an optional sign, then a decimal number) as a finite float; false for
// anything else.
inline bool parseFloat(std::string_view text, float* value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    float parsed = 0.0f;
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), parsed, std::chars_format::general);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        !std::isfinite(parsed)) {
        return false;
    }
    *value = parsed;
    return true;
}

} // namespace halv::texture::detail
