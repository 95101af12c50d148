#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

namespace ventrella::ui {

// One threshold bar of the thermal decision card: the temperature against one start temperature
// on the fixed 40–110 °C scale, along a track that always runs from cool at the left to hot at
// the right. The fill covers the temperature's share of the track (none without a reading, and
// none for a value that is not a number); the marker's left edge stands at the threshold's
// share, kept between 1 point from the left end and 2 points from the right one. `title` comes
// already in the interface language; `language` only makes the texts formatted again.
class ThermalThresholdBarPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(double trackWidth READ trackWidth WRITE setTrackWidth NOTIFY inputChanged)
    // °C; null or undefined when there is no reading.
    Q_PROPERTY(QVariant temperature READ temperature WRITE setTemperature NOTIFY inputChanged)
    Q_PROPERTY(double threshold READ threshold WRITE setThreshold NOTIFY inputChanged)
    Q_PROPERTY(QString title READ title WRITE setTitle NOTIFY inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    Q_PROPERTY(double fillFraction READ fillFraction NOTIFY inputChanged)
    Q_PROPERTY(double fillWidth READ fillWidth NOTIFY inputChanged)
    Q_PROPERTY(double markerX READ markerX NOTIFY inputChanged)
    Q_PROPERTY(QString temperatureText READ temperatureText NOTIFY inputChanged)
    Q_PROPERTY(QString thresholdText READ thresholdText NOTIFY inputChanged)
    Q_PROPERTY(QString accessibleName READ accessibleName NOTIFY inputChanged)
    Q_PROPERTY(QString accessibleValue READ accessibleValue NOTIFY inputChanged)

  public:
    explicit ThermalThresholdBarPresenter(QObject* parent = nullptr);

    double trackWidth() const { return trackWidth_; }
    void setTrackWidth(double width);
    QVariant temperature() const;
    void setTemperature(const QVariant& temperature);
    double threshold() const { return threshold_; }
    void setThreshold(double celsius);
    QString title() const { return title_; }
    void setTitle(const QString& title);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    double fillFraction() const;
    double fillWidth() const;
    double markerX() const;
    QString temperatureText() const;
    QString thresholdText() const;
    QString accessibleName() const;
    QString accessibleValue() const;

  signals:
    void inputChanged();

  private:
    template <class T>
    void assign(T& field, const T& value);
    // The reading as the bar shows it: a value that is not a number shows as none.
    std::optional<double> shown() const;

    double trackWidth_ = 0.0;
    std::optional<double> temperature_;
    double threshold_ = 80.0;
    QString title_;
    QString language_;
};

}  // namespace ventrella::ui
