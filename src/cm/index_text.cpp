#include "cm/index_text.h"

#include <cstring>

namespace inkdot {
namespace {

inline bool endsLine(uint8_t ch) {
    return ch == '\r' || ch == '\n' || ch == 0 || ch == 0x1A;
}
inline bool endsToken(uint8_t ch) {
    return ch == ' ' || ch == '\t' || endsLine(ch);
}

}  // namespace

bool Token::operator==(const Token& other) const {
    return size == other.size && (size == 0 || std::memcmp(data, other.data, size) == 0);
}

int32_t tokenNumber(Token token) {
    uint32_t value = 0;
    bool negative = false;
    for (size_t i = 0; i < token.size; ++i) {
        if (token.data[i] == '-') {
            negative = true;
            continue;
        }
        auto digit = static_cast<int32_t>(static_cast<int8_t>(token.data[i])) - '0';
        value = value * 10u + static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(negative ? 0u - value : value);
}

Token TextCursor::token() {
    while (peek() == ' ' || peek() == '\t') ++pos_;
    Token t{text_ + pos_, 0};
    while (!endsToken(peek())) {
        ++pos_;
        ++t.size;
    }
    return t;
}

void TextCursor::skipLine() {
    while (!endsLine(peek())) ++pos_;
    while (peek() == '\r' || peek() == '\n') ++pos_;
}

bool TextCursor::findMarker() {
    while (!atTextEnd()) {
        if (peek() == '/') {
            ++pos_;
            if (peek() == '/') {
                ++pos_;
                return true;
            }
        } else {
            ++pos_;
        }
    }
    return false;
}

}  // namespace inkdot
