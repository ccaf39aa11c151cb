// The text index: written with tab-separated columns and CR LF line ends, and
// read back with the same tokens, markers and lists the engine uses.
#include <cstring>

#include "bytes.h"

namespace respack {
namespace {

using detail::require;

bool isLineEnd(char c) {
    return c == '\r' || c == '\n' || c == '\x1a' || c == '\0';
}

void checkName(const std::string& name, size_t maxLength, const char* list) {
    require(!name.empty() && name.size() <= maxLength,
            std::string(list) + " name '" + name + "' must have 1 to " + std::to_string(maxLength) +
                " characters");
    for (char c : name)
        require(c != ' ' && c != '\t' && !isLineEnd(c) && c != '\x1a',
                std::string(list) + " name '" + name + "' holds a separator");
}

void checkText(const std::string& text, const char* what) {
    for (char c : text) require(!isLineEnd(c), std::string(what) + " holds a line end");
}

void writeList(std::string& out, const std::vector<std::string>& names) {
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) out += '\t';
        out += names[i];
    }
    out += "\r\n";
}

// Reads the text the way the engine does: one position, tokens, line skips.
class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    char at(size_t i) const { return i < text_.size() ? text_[i] : '\0'; }
    char cur() const { return at(pos_); }
    bool atEnd() const { return cur() == '\0' || cur() == '\x1a'; }

    std::string token() {
        while (cur() == ' ' || cur() == '\t') ++pos_;
        std::string t;
        while (!isLineEnd(cur()) && cur() != ' ' && cur() != '\t') t += text_[pos_++];
        return t;
    }

    static int32_t number(const std::string& t) {
        bool negative = false;
        uint32_t v = 0;
        for (char c : t) {
            if (c == '-')
                negative = true;
            else
                v = v * 10u + static_cast<uint32_t>(
                                  static_cast<int32_t>(static_cast<unsigned char>(c)) - '0');
        }
        return static_cast<int32_t>(negative ? 0u - v : v);
    }

    // The rest of the line without its leading blanks; moves to the next line.
    std::string restOfLine() {
        while (cur() == ' ' || cur() == '\t') ++pos_;
        std::string rest;
        while (!isLineEnd(cur())) rest += text_[pos_++];
        skipLine();
        return rest;
    }

    void skipLine() {
        while (!isLineEnd(cur())) ++pos_;
        while (cur() == '\r' || cur() == '\n') ++pos_;
    }

    // Moves past the first "//"; false when there is none.
    bool findMarker() {
        size_t found = text_.find("//", pos_);
        size_t nul = text_.find_first_of(std::string("\0\x1a", 2), pos_);
        if (found == std::string::npos || (nul != std::string::npos && nul < found)) return false;
        pos_ = found + 2;
        return true;
    }

    std::vector<std::string> listLine() {
        std::vector<std::string> names;
        for (std::string t = token(); !t.empty(); t = token()) names.push_back(t);
        skipLine();
        return names;
    }

private:
    const std::string& text_;
    size_t pos_ = 0;
};

int32_t positionIn(const std::vector<std::string>& list, const std::string& name) {
    int32_t found = -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i] == name) found = static_cast<int32_t>(i);
    return found;
}

}  // namespace

std::string indexText(const IndexOptions& options) {
    require(options.preamble.find("//") == std::string::npos, "the preamble holds the marker");
    checkText(options.preamble, "the preamble");
    checkText(options.header, "the header");
    require(!options.header.empty(), "the header line is empty");
    require(!options.endLine.empty() && options.endLine[0] == '/',
            "the end line must begin with a slash");
    checkText(options.endLine, "the end line");
    require(!options.closing.empty(), "the closing line is empty");
    checkText(options.closing, "the closing line");
    require(options.lines.size() <= 500, "an index holds at most 500 lines");
    require(!options.keyA.empty() && options.keyA.size() <= 12,
            "the keyA list holds 1 to 12 names");
    require(!options.keyB.empty() && options.keyB.size() <= 64,
            "the keyB list holds 1 to 64 names");
    require(!options.keyC.empty() && options.keyC.size() <= 12,
            "the keyC list holds 1 to 12 names");
    for (const auto& n : options.keyA) checkName(n, 11, "keyA");
    for (const auto& n : options.keyB) checkName(n, 49, "keyB");
    for (const auto& n : options.keyC) checkName(n, 11, "keyC");

    std::string out = options.preamble + "\r\n";
    out += "//" + std::to_string(options.version) + " colour tables\r\n";
    out += options.header + "\r\n";
    for (const IndexLine& l : options.lines) {
        checkName(l.keyA, 11, "keyA");
        checkName(l.keyB, 49, "keyB");
        checkName(l.keyC, 11, "keyC");
        checkText(l.comment, "a comment");
        out += std::to_string(l.resource) + '\t' + std::to_string(l.tableClass) + '\t' + l.keyA +
               '\t' + l.keyB + '\t' + std::to_string(l.numberA) + '\t' + std::to_string(l.numberB) +
               '\t' + l.keyC + '\t' + std::to_string(l.numberC) + '\t' + std::to_string(l.numberD);
        if (!l.comment.empty()) out += "\t" + l.comment;
        out += "\r\n";
    }
    out += options.endLine + "\r\n";
    writeList(out, options.keyA);
    // A keyB list that starts with a name not beginning with P needs its base
    // written, or the name would be read as the base.
    if (options.keyBBase != 0 || options.keyB.front()[0] != 'P')
        out += std::to_string(options.keyBBase) + '\t';
    writeList(out, options.keyB);
    writeList(out, options.keyC);
    out += options.closing + "\r\n";
    return out;
}

ParsedIndex parseIndex(const std::string& text) {
    ParsedIndex index;
    Reader r(text);
    if (!r.findMarker()) throw std::runtime_error("respack: the index has no // marker");
    if (r.cur() == '3') index.version = Reader::number(r.token());
    r.skipLine();
    r.skipLine();  // header
    for (;;) {
        std::string first = r.token();
        if (first.empty() && r.atEnd())
            throw std::runtime_error("respack: the index ends inside its lines");
        if (!first.empty() && first[0] == '/') {
            r.skipLine();
            break;
        }
        IndexLine l;
        l.resource = Reader::number(first);
        l.tableClass = Reader::number(r.token());
        l.keyA = r.token();
        l.keyB = r.token();
        l.numberA = Reader::number(r.token());
        l.numberB = Reader::number(r.token());
        l.keyC = r.token();
        l.numberC = Reader::number(r.token());
        l.numberD = Reader::number(r.token());
        l.comment = r.restOfLine();
        index.lines.push_back(l);
    }
    index.keyA = r.listLine();
    {
        std::string first = r.token();
        if (!first.empty() && first[0] != 'P') {
            index.keyBBase = Reader::number(first);
        } else if (!first.empty()) {
            index.keyB.push_back(first);
        }
        for (auto more = r.listLine(); const auto& n : more) index.keyB.push_back(n);
    }
    index.keyC = r.listLine();
    for (const IndexLine& l : index.lines) {
        ParsedIndex::Keys k;
        int32_t a = positionIn(index.keyA, l.keyA), b = positionIn(index.keyB, l.keyB),
                c = positionIn(index.keyC, l.keyC);
        k.keyA = a < 0 ? 0 : a;
        k.keyB = b < 0 ? 0 : index.keyBBase + b;
        k.keyC = c < 0 ? 0 : c;
        index.keys.push_back(k);
    }
    return index;
}

int32_t chooseTable(const ParsedIndex& index, const Selection& s) {
    int32_t answer = 0;
    for (size_t i = 0; i < index.lines.size(); ++i) {
        const IndexLine& l = index.lines[i];
        const ParsedIndex::Keys& k = index.keys[i];
        if (k.keyA == s.keyA && k.keyC == s.keyC && k.keyB == s.keyB && l.numberC == s.numberC &&
            l.numberA == s.numberA && l.numberB == s.numberB &&
            (index.version < 300 || l.numberD == s.numberD))
            answer = l.resource;
    }
    return answer;
}

}  // namespace respack
