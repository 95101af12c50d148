#include "Ventrella/UI/SymbolImageProvider.h"

#include <QStringList>

#include "Ventrella/UI/SymbolRenderer.h"

namespace ventrella::ui {

namespace {

constexpr int defaultPixels = 16;

}  // namespace

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Image) {}

QString SymbolImageProvider::source(const QString& name, const QColor& color, int pixels) {
    return QStringLiteral("image://") + QLatin1String(providerId) + u'/' + name + u'/' +
           color.name(QColor::HexArgb).mid(1) + u'/' + QString::number(pixels);
}

QImage SymbolImageProvider::requestImage(const QString& id, QSize* size,
                                         const QSize& requestedSize) {
    const QStringList parts = id.split(u'/');
    const QString name = parts.value(0);
    const QColor color = parts.size() > 1 ? QColor(u'#' + parts[1]) : QColor();
    bool numeric = false;
    const int pixels = parts.size() > 2 ? parts[2].toInt(&numeric) : 0;
    QSize wanted(numeric && pixels > 0 ? pixels : defaultPixels,
                 numeric && pixels > 0 ? pixels : defaultPixels);
    if (requestedSize.width() > 0 && requestedSize.height() > 0) {
        wanted = requestedSize;
    }
    QImage image =
        SymbolRenderer::render(name, color.isValid() ? color : QColor(Qt::black), wanted);
    if (size != nullptr) {
        *size = image.size();
    }
    return image;
}

}  // namespace ventrella::ui
