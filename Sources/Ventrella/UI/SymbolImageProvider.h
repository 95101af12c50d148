#pragma once

#include <QColor>
#include <QQuickImageProvider>
#include <QString>

namespace ventrella::ui {

// Serves "image://symbols/<name>/<aarrggbb>/<pixels>": the named symbol in that colour, drawn
// `pixels` square (SymbolRenderer). An image that asks for a size of its own gets that size.
class SymbolImageProvider : public QQuickImageProvider {
  public:
    static constexpr const char* providerId = "symbols";

    SymbolImageProvider();

    static QString source(const QString& name, const QColor& color, int pixels);

    QImage requestImage(const QString& id, QSize* size, const QSize& requestedSize) override;
};

}  // namespace ventrella::ui
