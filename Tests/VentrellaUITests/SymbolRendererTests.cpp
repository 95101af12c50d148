#include "Ventrella/UI/SymbolRenderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <string>
#include <vector>

#include "Support/VirtualDesktop.h"
#include "UISupport/QtTestApplication.h"
#include "Ventrella/UI/SymbolImageProvider.h"

namespace ventrella::ui {
namespace {

// Every symbol the status item, the dashboard and the settings page name.
const std::vector<QString> interfaceSymbols = {
    "shield.checkered",
    "thermometer.medium",
    "thermometer.high",
    "fanblades",
    "fanblades.fill",
    "hand.raised.fill",
    "exclamationmark.triangle.fill",
    "exclamationmark.triangle",
    "checkmark.circle.fill",
    "pause.circle",
    "arrow.triangle.2.circlepath",
    "lock.shield",
    "checkmark.shield.fill",
    "info.circle",
    "gearshape",
    "chevron.left",
    "chevron.right",
    "globe",
    "cpu",
    "doc.badge.gearshape",
    "gauge.with.dots.needle.100percent",
    "minus",
    "plus",
};

// The share of the image that the symbol covers, and whether every covered pixel is `color`.
struct Coverage {
    double share = 0;
    bool onlyColor = true;
};

Coverage coverage(const QImage& image, const QColor& color) {
    Coverage result;
    double ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            ink += pixel.alphaF();
            // Partly covered pixels lose precision when unpremultiplied.
            if (pixel.alpha() > 128 && (std::abs(pixel.red() - color.red()) > 3 ||
                                        std::abs(pixel.green() - color.green()) > 3 ||
                                        std::abs(pixel.blue() - color.blue()) > 3)) {
                result.onlyColor = false;
            }
        }
    }
    result.share = ink / (image.width() * image.height());
    return result;
}

class SymbolRendererTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }
};

TEST_F(SymbolRendererTest, EverySymbolOfTheInterfaceIsDrawnInOneColour) {
    const QColor orange(0xff, 0x95, 0x00);
    QImage sheet(static_cast<int>(interfaceSymbols.size()) * 56, 3 * 56,
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    int column = 0;
    for (const QString& name : interfaceSymbols) {
        const QImage image = SymbolRenderer::render(name, orange, QSize(48, 48));
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        const Coverage covered = coverage(image, orange);
        EXPECT_GT(covered.share, 0.04) << name.toStdString();
        EXPECT_LT(covered.share, 0.6) << name.toStdString();
        EXPECT_TRUE(covered.onlyColor) << name.toStdString();
        painter.drawImage(column * 56 + 4, 4, image);
        painter.drawImage(column * 56 + 4, 60,
                          SymbolRenderer::render(name, QColor(0x1d, 0x1d, 0x1f), QSize(22, 22)));
        painter.fillRect(column * 56, 112, 56, 56, QColor(0x1f, 0x20, 0x23));
        painter.drawImage(column * 56 + 4, 116,
                          SymbolRenderer::render(name, QColor(0xf2, 0xf2, 0xf2), QSize(16, 16)));
        ++column;
    }
    painter.end();
    sheet.save(QString::fromStdString(testsupport::testArtifact("symbols.png").string()));
}

TEST_F(SymbolRendererTest, WhiteInkCutsHolesThatShowWhatLiesBehind) {
    // The check of the filled circle and the mark of the filled triangle are holes.
    const QImage check = SymbolRenderer::render("checkmark.circle.fill", Qt::red, QSize(240, 240));
    EXPECT_LT(check.pixelColor(107, 150).alpha(), 16);  // on the check's corner (10.7, 15.1)
    EXPECT_EQ(check.pixelColor(120, 40).alpha(), 255);  // the circle above it
    const QImage warning =
        SymbolRenderer::render("exclamationmark.triangle.fill", Qt::red, QSize(240, 240));
    EXPECT_LT(warning.pixelColor(120, 115).alpha(), 16);  // the bar of the mark
    EXPECT_EQ(warning.pixelColor(60, 190).alpha(), 255);
}

TEST_F(SymbolRendererTest, OnlyNamedSymbolsAreDrawn) {
    for (const char* name : {"", "missing.symbol", "../Icons/fanblades", "Fanblades",
                             "fanblades/..", ".fanblades", "fan..blades"}) {
        EXPECT_TRUE(SymbolRenderer::render(name, Qt::black, QSize(16, 16)).isNull()) << name;
        EXPECT_TRUE(SymbolRenderer::resourcePath(name).isEmpty()) << name;
    }
    EXPECT_TRUE(SymbolRenderer::render("fanblades", Qt::black, QSize(0, 16)).isNull());
    EXPECT_TRUE(SymbolRenderer::render("fanblades", Qt::black, QSize(5000, 5000)).isNull());
}

TEST_F(SymbolRendererTest, TheImageProviderDrawsWhatItsSourceNames) {
    SymbolImageProvider provider;
    const QString source = SymbolImageProvider::source("gearshape", QColor(0x12, 0x34, 0x56), 20);
    EXPECT_EQ(source, QStringLiteral("image://symbols/gearshape/ff123456/20"));
    QSize size;
    const QImage image = provider.requestImage("gearshape/ff123456/20", &size, QSize());
    EXPECT_EQ(size, QSize(20, 20));
    EXPECT_TRUE(coverage(image, QColor(0x12, 0x34, 0x56)).onlyColor);
    // An image that asks for a size of its own gets it; a broken colour draws black.
    EXPECT_EQ(provider.requestImage("gearshape/nonsense/20", &size, QSize(32, 32)).size(),
              QSize(32, 32));
    EXPECT_TRUE(provider.requestImage("no.such.symbol/ff000000/16", &size, QSize()).isNull());
}

}  // namespace
}  // namespace ventrella::ui
