#pragma once

#include <memory>
#include <string_view>
#include <vector>

namespace ventrella::tests {

// The characters the installed fonts (as fontconfig lists them) have glyphs for, together.
class FontCoverage {
  public:
    static FontCoverage installed();

    FontCoverage(FontCoverage&&) noexcept;
    FontCoverage& operator=(FontCoverage&&) noexcept;
    ~FontCoverage();

    // How many fonts were read.
    int fonts() const { return fonts_; }

    bool covers(char32_t character) const;

    // The characters of UTF-8 `text` that no font has, each once, in order of appearance.
    // Controls, format characters (such as the isolates U+2068 and U+2069) and line breaks draw
    // nothing and need no glyph.
    std::vector<char32_t> missing(std::string_view text) const;

  private:
    struct CharacterSet;
    FontCoverage(std::unique_ptr<CharacterSet> characters, int fonts);

    std::unique_ptr<CharacterSet> characters_;
    int fonts_ = 0;
};

}  // namespace ventrella::tests
