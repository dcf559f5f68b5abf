// Reads the tool's text files the way their format is defined: words ("%s\n"), decimal
// integers ("%d\n") and whole lines read a character at a time. Memory stays bounded
// whatever the file holds: over-long words and lines are cut, their rest skipped.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace lumacrest {

class TextScanner {
public:
    TextScanner() = default;
    ~TextScanner();
    TextScanner(const TextScanner&) = delete;
    TextScanner& operator=(const TextScanner&) = delete;

    // Opens for reading only, without blocking. False when the file cannot be opened or is
    // not a regular file.
    bool Open(const std::string& path);
    // Reads from an in-memory text (tests, fuzzing).
    bool OpenText(const std::string& text);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // "%s\n": skips white space, reads one word, then skips the white space after it.
    // Returns nothing at end of file. A word longer than `maxLen` is cut to `maxLen`
    // characters, the rest of it is skipped and `*overlong` is set.
    std::optional<std::string> ReadWord(std::size_t maxLen, bool* overlong = nullptr);
    // The same word, but only the rest of its own line is skipped after it, so that a
    // following line made only of blanks is still there to be read.
    std::optional<std::string> ReadWordLine(std::size_t maxLen);

    // "%d\n": skips white space, reads an optionally signed decimal integer, then skips the
    // white space after it. Text that is not a number is left unread (nothing is returned).
    // The value wraps to 32 bits as the C library stores it into an int.
    std::optional<int32_t> ReadInt();

    // Reads characters up to the next line feed (not kept) or the end of the file. Keeps at
    // most `maxLen` characters and skips the rest of the line; a carriage return just
    // before the line feed is dropped. Returns nothing only at end of file before any
    // character.
    std::optional<std::string> ReadLine(std::size_t maxLen);

    // Skips to just after the next line feed.
    void SkipLine();

    void SkipWhitespace();
    bool AtEnd();

private:
    int Get();
    void Unget(int c);

    std::FILE* file_ = nullptr;
};

}  // namespace lumacrest
