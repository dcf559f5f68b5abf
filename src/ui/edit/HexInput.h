// The numeric fields of the dialogs: decimal or "0x"-prefixed hexadecimal text kept in step
// with a 32-bit value. The typing and parsing rules live here so that the Qt field, the CLI
// and the tests share them.
#pragma once

#include <cstdint>
#include <string>

namespace lumacrest {

inline constexpr std::size_t kHexInputMaxTyped = 10;  // "0x" and eight digits
inline constexpr char kBackspace = '\b';

// The text a field shows for a value set by the program: "0x%x".
std::string FormatHexInput(uint32_t value);

// Whether a typed character is taken. `position` is where it would go (the start of the
// selection), `hasSelection` whether part of the text is selected. A full field refuses
// everything, Backspace included, unless something is selected.
bool HexInputAccepts(const std::string& text, std::size_t position, bool hasSelection, char c);

// The value after a change of the text; text that cannot be read keeps `previous`.
int32_t ParseHexInput(const std::string& text, int32_t previous);

// One field's text and value, as the dialogs use it.
class HexInputValue {
  public:
    void SetValue(uint32_t value) {
        text_ = FormatHexInput(value);
        value_ = static_cast<int32_t>(value);
    }
    void SetText(const std::string& text) {
        text_ = text;
        value_ = ParseHexInput(text_, value_);
    }
    // Types one character at the end of the text (the caret of a field being typed into);
    // returns whether it was taken.
    bool Type(char c);
    const std::string& Text() const { return text_; }
    int32_t Value() const { return value_; }
    uint32_t Unsigned() const { return static_cast<uint32_t>(value_); }

  private:
    std::string text_ = "0x0";
    int32_t value_ = 0;
};

}  // namespace lumacrest
