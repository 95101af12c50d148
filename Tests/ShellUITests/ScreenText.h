#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Support/VirtualDesktop.h"

namespace ventrella::shelluitests {

// One word a screenshot shows, where it stands on the screen.
struct ScreenWord {
    std::string text;
    testsupport::DisplayWindow area;
};

// The words on part of a screenshot, read by character recognition (tesseract), for checking
// what a window shows to the eye.
class ScreenText {
  public:
    // Reads `area` of `screenshot`; the enlarged crop it reads is kept beside the screenshot.
    // Throws when tesseract fails.
    static ScreenText read(const std::filesystem::path& screenshot,
                           const testsupport::DisplayWindow& area);

    const std::vector<ScreenWord>& words() const { return words_; }
    // The words, one space between two of a line and a line feed between lines.
    const std::string& text() const { return text_; }
    // The first word that is `text`.
    std::optional<ScreenWord> find(const std::string& text) const;

  private:
    std::vector<ScreenWord> words_;
    std::string text_;
};

}  // namespace ventrella::shelluitests
