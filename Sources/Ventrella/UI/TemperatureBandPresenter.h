#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace ventrella::ui {

// What the temperature band editor draws and writes. The track runs from `lowerCelsius` at its
// left end to `upperCelsius` at its right end in every language; positions are the handle
// centres in points from the track's left end, over a travel of `usableWidth` that starts half a
// handle in. A drag or an accessibility step yields the value to write for the handle it moves;
// the other handle's value is only read, and the two stay at least 1 °C apart. Texts are
// formatted in the interface language; `language` only makes them formatted again.
class TemperatureBandPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    // Inputs.
    Q_PROPERTY(double trackWidth READ trackWidth WRITE setTrackWidth NOTIFY inputChanged)
    Q_PROPERTY(double handleSize READ handleSize WRITE setHandleSize NOTIFY inputChanged)
    Q_PROPERTY(double lowerCelsius READ lowerCelsius WRITE setLowerCelsius NOTIFY inputChanged)
    Q_PROPERTY(double upperCelsius READ upperCelsius WRITE setUpperCelsius NOTIFY inputChanged)
    Q_PROPERTY(double exitCelsius READ exitCelsius WRITE setExitCelsius NOTIFY inputChanged)
    Q_PROPERTY(double enterCelsius READ enterCelsius WRITE setEnterCelsius NOTIFY inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    // Geometry, in points from the track's left end.
    Q_PROPERTY(double usableWidth READ usableWidth NOTIFY inputChanged)
    Q_PROPERTY(double exitX READ exitX NOTIFY inputChanged)
    Q_PROPERTY(double enterX READ enterX NOTIFY inputChanged)
    Q_PROPERTY(double bandWidth READ bandWidth NOTIFY inputChanged)
    Q_PROPERTY(double backgroundWidth READ backgroundWidth NOTIFY inputChanged)

    // Texts.
    Q_PROPERTY(QString exitText READ exitText NOTIFY inputChanged)
    Q_PROPERTY(QString enterText READ enterText NOTIFY inputChanged)
    Q_PROPERTY(QString hysteresisText READ hysteresisText NOTIFY inputChanged)
    Q_PROPERTY(QString lowerText READ lowerText NOTIFY inputChanged)
    Q_PROPERTY(QString upperText READ upperText NOTIFY inputChanged)
    Q_PROPERTY(QString exitAccessibleValue READ exitAccessibleValue NOTIFY inputChanged)
    Q_PROPERTY(QString enterAccessibleValue READ enterAccessibleValue NOTIFY inputChanged)

  public:
    explicit TemperatureBandPresenter(QObject* parent = nullptr);

    double trackWidth() const { return trackWidth_; }
    void setTrackWidth(double width);
    double handleSize() const { return handleSize_; }
    void setHandleSize(double size);
    double lowerCelsius() const { return lower_; }
    void setLowerCelsius(double celsius);
    double upperCelsius() const { return upper_; }
    void setUpperCelsius(double celsius);
    double exitCelsius() const { return exit_; }
    void setExitCelsius(double celsius);
    double enterCelsius() const { return enter_; }
    void setEnterCelsius(double celsius);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    double usableWidth() const;
    double exitX() const { return centre(exit_); }
    double enterX() const { return centre(enter_); }
    double bandWidth() const;
    double backgroundWidth() const;

    QString exitText() const;
    QString enterText() const;
    QString hysteresisText() const;
    QString lowerText() const;
    QString upperText() const;
    QString exitAccessibleValue() const;
    QString enterAccessibleValue() const;

    // The value a drag of the exit or enter handle to `x` (in the track's coordinates) writes.
    Q_INVOKABLE double draggedExit(double x) const;
    Q_INVOKABLE double draggedEnter(double x) const;

    // The value one accessibility step up (`increment`) or down writes.
    Q_INVOKABLE double adjustedExit(bool increment) const;
    Q_INVOKABLE double adjustedEnter(bool increment) const;

  signals:
    void inputChanged();

  private:
    template <class T>
    void assign(T& field, const T& value);
    double fraction(double celsius) const;
    double centre(double celsius) const;
    double draggedValue(double x) const;

    double trackWidth_ = 0.0;
    double handleSize_ = 19.0;
    double lower_ = 40.0;
    double upper_ = 110.0;
    double exit_ = 72.0;
    double enter_ = 80.0;
    QString language_;
};

}  // namespace ventrella::ui
