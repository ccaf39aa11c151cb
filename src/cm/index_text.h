// Tokens of the driver's text resources (table indexes, curve-set tables).
//
// Lines end with any run of CR and LF; tab and space separate tokens; NUL and
// 0x1A end the text, and so does the end of the bytes the caller gave, when
// it gave a length. Nothing here reads past either end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace inkdot {

// A token: a stretch of the text itself, never copied, so a name of any
// length compares whole.
struct Token {
    const uint8_t* data = nullptr;
    size_t size = 0;

    bool empty() const { return size == 0; }
    bool startsWith(uint8_t ch) const { return size != 0 && data[0] == ch; }
    bool operator==(const Token& other) const;
};

// A number token: a hyphen anywhere makes the result negative (once); every
// other byte adds its value minus '0' to ten times the value so far, bytes
// being signed 8-bit characters. Nothing is rejected; the empty token is 0.
// The sum wraps at 32 bits.
int32_t tokenNumber(Token token);

class TextCursor {
public:
    TextCursor(const uint8_t* text, size_t length) : text_(text), length_(length) {}

    // The byte at the position, or NUL past the caller's length.
    uint8_t peek() const { return pos_ < length_ ? text_[pos_] : 0; }
    // NUL or 0x1A (or the end of the bytes) is under the position.
    bool atTextEnd() const { return peek() == 0 || peek() == 0x1A; }

    // Skips tabs and spaces, then takes the bytes up to the next tab, space,
    // CR, LF, NUL or 0x1A. At the end of a line the token is empty and the
    // position stays put, so every further token of that line is empty too.
    Token token();

    // Moves past the rest of the line and every CR and LF after it.
    void skipLine();

    // Moves just past the next "//"; false (at the text end) when there is none.
    bool findMarker();

    size_t position() const { return pos_; }
    void setPosition(size_t pos) { pos_ = pos; }

private:
    const uint8_t* text_;
    size_t length_;
    size_t pos_ = 0;
};

}  // namespace inkdot
