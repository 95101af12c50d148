#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QObject>
#include <QString>

#include "Ventrella/UI/Palette.h"

namespace ventrella::ui {

// The views' colours, type sizes and symbol images, as one QML singleton (`Theme`). Font sizes
// are named by role, in pixels: headline, subheadline, caption and caption 2.
class Theme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(bool dark READ dark CONSTANT)
    Q_PROPERTY(QColor background READ background CONSTANT)
    Q_PROPERTY(QColor separator READ separator CONSTANT)
    Q_PROPERTY(QColor primary READ primary CONSTANT)
    Q_PROPERTY(QColor secondary READ secondary CONSTANT)
    Q_PROPERTY(QColor tertiary READ tertiary CONSTANT)
    Q_PROPERTY(QColor quaternary READ quaternary CONSTANT)
    Q_PROPERTY(QColor green READ green CONSTANT)
    Q_PROPERTY(QColor orange READ orange CONSTANT)
    Q_PROPERTY(QColor red READ red CONSTANT)
    Q_PROPERTY(QColor yellow READ yellow CONSTANT)
    Q_PROPERTY(QColor white READ white CONSTANT)
    Q_PROPERTY(QColor accent READ accent CONSTANT)

    Q_PROPERTY(int headline MEMBER headline_ CONSTANT)
    Q_PROPERTY(int body MEMBER body_ CONSTANT)
    Q_PROPERTY(int subheadline MEMBER subheadline_ CONSTANT)
    Q_PROPERTY(int caption MEMBER caption_ CONSTANT)
    Q_PROPERTY(int caption2 MEMBER caption2_ CONSTANT)

  public:
    // The palette of the application's appearance: dark when its window colour is dark.
    static Palette applicationPalette();

    explicit Theme(QObject* parent = nullptr);
    Theme(Palette palette, bool dark, QObject* parent = nullptr);

    bool dark() const { return dark_; }
    const Palette& palette() const { return palette_; }
    QColor background() const { return palette_.background; }
    QColor separator() const { return palette_.separator; }
    QColor primary() const { return palette_.primary; }
    QColor secondary() const { return palette_.secondary; }
    QColor tertiary() const { return palette_.tertiary; }
    QColor quaternary() const { return palette_.quaternary; }
    QColor green() const { return palette_.green; }
    QColor orange() const { return palette_.orange; }
    QColor red() const { return palette_.red; }
    QColor yellow() const { return palette_.yellow; }
    QColor white() const { return palette_.white; }
    QColor accent() const { return palette_.accent; }

    // The image source of the named symbol drawn in `color`, `pixels` square
    // ("image://symbols/…").
    Q_INVOKABLE QString symbol(const QString& name, const QColor& color, int pixels) const;

  private:
    Palette palette_;
    bool dark_;
    int headline_ = 14;
    int body_ = 13;
    int subheadline_ = 12;
    int caption_ = 11;
    int caption2_ = 10;
};

}  // namespace ventrella::ui
