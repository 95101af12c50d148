#include "Ventrella/UI/SymbolRenderer.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>

namespace ventrella::ui {

namespace {

bool isSymbolName(const QString& name) {
    if (name.isEmpty() || name.size() > 64 || name.startsWith(u'.') || name.contains(u"..")) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](QChar c) {
        return (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'.';
    });
}

// Black ink keeps its coverage, white ink removes it; the result is `color` at that coverage.
void tint(QImage& image, const QColor& color) {
    const float red = color.redF();
    const float green = color.greenF();
    const float blue = color.blueF();
    const float alpha = color.alphaF();
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = line[x];
            const int coverage = qAlpha(pixel);
            if (coverage == 0) {
                continue;
            }
            // Premultiplied: the unpremultiplied lightness is the channels' mean over coverage.
            const float lightness =
                static_cast<float>(qRed(pixel) + qGreen(pixel) + qBlue(pixel)) / (3.0f * coverage);
            const float ink = (static_cast<float>(coverage) / 255.0f) *
                              (1.0f - std::clamp(lightness, 0.0f, 1.0f)) * alpha;
            line[x] = qRgba(qRound(red * ink * 255.0f), qRound(green * ink * 255.0f),
                            qRound(blue * ink * 255.0f), qRound(ink * 255.0f));
        }
    }
}

}  // namespace

QString SymbolRenderer::resourcePath(const QString& name) {
    if (!isSymbolName(name)) {
        return {};
    }
    QString path = QStringLiteral(":/qt/qml/Ventrella/UI/Icons/") + name + QStringLiteral(".svg");
    return QFile::exists(path) ? path : QString();
}

QImage SymbolRenderer::render(const QString& name, const QColor& color, QSize size) {
    const QString path = resourcePath(name);
    if (path.isEmpty() || size.isEmpty() || size.width() > 1024 || size.height() > 1024) {
        return {};
    }
    QSvgRenderer svg(path);
    if (!svg.isValid()) {
        return {};
    }
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal side = std::min(size.width(), size.height());
        svg.render(&painter,
                   QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side));
    }
    tint(image, color);
    return image;
}

}  // namespace ventrella::ui
