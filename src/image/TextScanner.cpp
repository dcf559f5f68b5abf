#include "image/TextScanner.h"

#include "platform/Text.h"

#include <unistd.h>

#include <cctype>

#include "platform/AtomicFile.h"

namespace lumacrest {

namespace {
bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

TextScanner::~TextScanner() { Close(); }

bool TextScanner::Open(const std::string& path) {
    Close();
    // Regular files only, and the open never waits (a FIFO without a writer).
    const int fd = OpenRegularFile(path);
    if (fd < 0) return false;
    file_ = ::fdopen(fd, "r");
    if (!file_) ::close(fd);
    return file_ != nullptr;
}

bool TextScanner::OpenText(const std::string& text) {
    Close();
    file_ = std::tmpfile();
    if (!file_) return false;
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        Close();
        return false;
    }
    std::rewind(file_);
    return true;
}

void TextScanner::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

int TextScanner::Get() { return file_ ? getc_unlocked(file_) : EOF; }

void TextScanner::Unget(int c) {
    if (c != EOF && file_) std::ungetc(c, file_);
}

void TextScanner::SkipWhitespace() {
    int c;
    while ((c = Get()) != EOF && IsSpace(c)) {
    }
    Unget(c);
}

bool TextScanner::AtEnd() {
    int c = Get();
    if (c == EOF) return true;
    Unget(c);
    return false;
}

std::optional<std::string> TextScanner::ReadWord(std::size_t maxLen, bool* overlong) {
    if (overlong) *overlong = false;
    SkipWhitespace();
    int c = Get();
    if (c == EOF) return std::nullopt;
    std::string word;
    while (c != EOF && !IsSpace(c)) {
        if (word.size() < maxLen) {
            word.push_back(static_cast<char>(c));
        } else if (overlong) {
            *overlong = true;
        }
        c = Get();
    }
    Unget(c);
    SkipWhitespace();
    return word;
}

std::optional<std::string> TextScanner::ReadWordLine(std::size_t maxLen) {
    SkipWhitespace();
    int c = Get();
    if (c == EOF) return std::nullopt;
    std::string word;
    while (c != EOF && !IsSpace(c)) {
        if (word.size() < maxLen) word.push_back(static_cast<char>(c));
        c = Get();
    }
    if (c != '\n') SkipLine();
    return word;
}

std::optional<int32_t> TextScanner::ReadInt() {
    SkipWhitespace();
    // The sign and the digits, as "%d" takes them; the value wraps to 32 bits.
    std::string token;
    int c = Get();
    if (c == '+' || c == '-') {
        token.push_back(static_cast<char>(c));
        c = Get();
    }
    if (c == EOF || !std::isdigit(c)) {
        Unget(c);
        return std::nullopt;
    }
    while (c != EOF && std::isdigit(c)) {
        token.push_back(static_cast<char>(c));
        c = Get();
    }
    Unget(c);
    SkipWhitespace();
    return static_cast<int32_t>(ScanNumber(token, 10, true)->Wrapped());
}

std::optional<std::string> TextScanner::ReadLine(std::size_t maxLen) {
    int c = Get();
    if (c == EOF) return std::nullopt;
    std::string line;
    bool cut = false;
    while (c != EOF && c != '\n') {
        if (line.size() < maxLen) {
            line.push_back(static_cast<char>(c));
        } else {
            cut = true;
        }
        c = Get();
    }
    if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void TextScanner::SkipLine() {
    int c;
    while ((c = Get()) != EOF && c != '\n') {
    }
}

}  // namespace lumacrest
