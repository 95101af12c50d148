#include "FontCoverage.h"

#include <fontconfig/fontconfig.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>

namespace ventrella::tests {

struct FontCoverage::CharacterSet {
    FcCharSet* set = FcCharSetCreate();
    ~CharacterSet() { FcCharSetDestroy(set); }
};

FontCoverage::FontCoverage(std::unique_ptr<CharacterSet> characters, int fonts)
    : characters_(std::move(characters)), fonts_(fonts) {}
FontCoverage::FontCoverage(FontCoverage&&) noexcept = default;
FontCoverage& FontCoverage::operator=(FontCoverage&&) noexcept = default;
FontCoverage::~FontCoverage() = default;

FontCoverage FontCoverage::installed() {
    auto characters = std::make_unique<CharacterSet>();
    int fonts = 0;
    FcConfig* config = FcInitLoadConfigAndFonts();
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
    if (FcFontSet* list = FcFontList(config, pattern, objects)) {
        for (int index = 0; index < list->nfont; ++index) {
            FcCharSet* font = nullptr;
            if (FcPatternGetCharSet(list->fonts[index], FC_CHARSET, 0, &font) == FcResultMatch) {
                FcCharSetMerge(characters->set, font, nullptr);
                ++fonts;
            }
        }
        FcFontSetDestroy(list);
    }
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    FcConfigDestroy(config);
    return FontCoverage(std::move(characters), fonts);
}

bool FontCoverage::covers(char32_t character) const {
    return FcCharSetHasChar(characters_->set, static_cast<FcChar32>(character)) != FcFalse;
}

std::vector<char32_t> FontCoverage::missing(std::string_view text) const {
    std::vector<char32_t> missing;
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t index = 0; index < length;) {
        UChar32 character;
        U8_NEXT(text.data(), index, length, character);
        if (character < 0) {
            missing.push_back(U'\uFFFD');
            continue;
        }
        const auto type = u_charType(character);
        if (type == U_CONTROL_CHAR || type == U_FORMAT_CHAR || type == U_LINE_SEPARATOR ||
            type == U_PARAGRAPH_SEPARATOR) {
            continue;
        }
        const auto scalar = static_cast<char32_t>(character);
        if (!covers(scalar) && std::find(missing.begin(), missing.end(), scalar) == missing.end()) {
            missing.push_back(scalar);
        }
    }
    return missing;
}

}  // namespace ventrella::tests
