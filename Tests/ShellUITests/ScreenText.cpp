#include "ScreenText.h"

#include <QColorSpace>
#include <QImage>
#include <QString>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "Support/ChildProcess.h"

namespace ventrella::shelluitests {

namespace {

// Small grey captions read best in grey at twice their size.
constexpr int enlargement = 2;

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> result;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) {
        result.push_back(field);
    }
    return result;
}

}  // namespace

ScreenText ScreenText::read(const std::filesystem::path& screenshot,
                            const testsupport::DisplayWindow& area) {
    const QImage image(QString::fromStdString(screenshot.string()));
    if (image.isNull()) {
        throw std::runtime_error("cannot read " + screenshot.string());
    }
    QImage crop = image.copy(area.x, area.y, area.width, area.height)
                      .convertToFormat(QImage::Format_Grayscale8)
                      .scaled(area.width * enlargement, area.height * enlargement,
                              Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // The screenshot's colour profile has no place on a grey image.
    crop.setColorSpace(QColorSpace());
    auto enlarged = screenshot;
    enlarged.replace_extension(".read.png");
    if (!crop.save(QString::fromStdString(enlarged.string()))) {
        throw std::runtime_error("cannot write " + enlarged.string());
    }
    // The page's own layout analysis; TSV gives every word with its box.
    const auto result = testsupport::runCommand(
        {"tesseract", enlarged.string(), "stdout", "--psm", "3", "-l", "eng", "tsv"},
        // One thread: several at once crawl on a busy machine (seconds become minutes).
        testsupport::environmentWith({{"OMP_THREAD_LIMIT", "1"}}), 30.0);
    if (result.status != 0) {
        throw std::runtime_error("tesseract failed: " + result.errors);
    }
    ScreenText text;
    std::stringstream lines(result.output);
    std::string line;
    std::getline(lines, line);  // the header
    std::tuple<std::string, std::string, std::string> lastLine;
    while (std::getline(lines, line)) {
        const auto columns = fields(line);
        // level page block paragraph line word left top width height confidence text
        if (columns.size() < 12 || columns[0] != "5" ||
            columns[11].find_first_not_of(" ") == std::string::npos) {
            continue;
        }
        ScreenWord word;
        word.text = columns[11];
        word.area.x = area.x + std::stoi(columns[6]) / enlargement;
        word.area.y = area.y + std::stoi(columns[7]) / enlargement;
        word.area.width = std::stoi(columns[8]) / enlargement;
        word.area.height = std::stoi(columns[9]) / enlargement;
        const std::tuple<std::string, std::string, std::string> position{columns[2], columns[3],
                                                                         columns[4]};
        if (!text.text_.empty()) {
            text.text_ += position == lastLine ? ' ' : '\n';
        }
        lastLine = position;
        text.text_ += word.text;
        text.words_.push_back(std::move(word));
    }
    return text;
}

std::optional<ScreenWord> ScreenText::find(const std::string& text) const {
    for (const auto& word : words_) {
        if (word.text == text) {
            return word;
        }
    }
    return std::nullopt;
}

}  // namespace ventrella::shelluitests
