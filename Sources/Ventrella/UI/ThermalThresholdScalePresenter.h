#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

namespace ventrella::ui {

// Everything the threshold gauge draws, in points along a track that always runs from 40 °C at
// the left to 110 °C at the right: the fill, the Boost and Emergency markers, the colour ramp's
// stops, the two labels with the width of the frame each label ends in (a label wider than its
// frame runs past the track's left end), and the accessibility texts. Texts are formatted by
// L10n in the interface language; `language` only makes them formatted again when it changes.
class ThermalThresholdScalePresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    // Inputs.
    Q_PROPERTY(double trackWidth READ trackWidth WRITE setTrackWidth NOTIFY inputChanged)
    // A number in °C; null or undefined when there is no reading.
    Q_PROPERTY(QVariant temperature READ temperature WRITE setTemperature NOTIFY inputChanged)
    Q_PROPERTY(
        double boostThreshold READ boostThreshold WRITE setBoostThreshold NOTIFY inputChanged)
    Q_PROPERTY(double emergencyThreshold READ emergencyThreshold WRITE setEmergencyThreshold NOTIFY
                   inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    // What the gauge shows.
    Q_PROPERTY(double fillWidth READ fillWidth NOTIFY inputChanged)
    Q_PROPERTY(double boostMarker READ boostMarker NOTIFY inputChanged)
    Q_PROPERTY(double emergencyMarker READ emergencyMarker NOTIFY inputChanged)
    Q_PROPERTY(double boostStop READ boostStop NOTIFY inputChanged)
    Q_PROPERTY(double emergencyStop READ emergencyStop NOTIFY inputChanged)
    Q_PROPERTY(double boostLabelFrameWidth READ boostLabelFrameWidth NOTIFY inputChanged)
    Q_PROPERTY(double emergencyLabelFrameWidth READ emergencyLabelFrameWidth NOTIFY inputChanged)
    Q_PROPERTY(QString boostLabel READ boostLabel NOTIFY inputChanged)
    Q_PROPERTY(QString emergencyLabel READ emergencyLabel NOTIFY inputChanged)
    Q_PROPERTY(QString accessibleName READ accessibleName NOTIFY inputChanged)
    Q_PROPERTY(QString accessibleValue READ accessibleValue NOTIFY inputChanged)

  public:
    // Points between a label's end and its marker.
    static constexpr double labelGap = 6.0;

    explicit ThermalThresholdScalePresenter(QObject* parent = nullptr);

    double trackWidth() const { return trackWidth_; }
    void setTrackWidth(double width);
    QVariant temperature() const;
    void setTemperature(const QVariant& temperature);
    double boostThreshold() const { return boostThreshold_; }
    void setBoostThreshold(double celsius);
    double emergencyThreshold() const { return emergencyThreshold_; }
    void setEmergencyThreshold(double celsius);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    // The reading as the gauge takes it: absent for null, undefined or anything not a number.
    std::optional<double> celsius() const { return temperature_; }

    double fillWidth() const;
    double boostMarker() const;
    double emergencyMarker() const;
    double boostStop() const;
    double emergencyStop() const;
    double boostLabelFrameWidth() const;
    double emergencyLabelFrameWidth() const;
    QString boostLabel() const;
    QString emergencyLabel() const;
    QString accessibleName() const;
    QString accessibleValue() const;

  signals:
    void inputChanged();

  private:
    template <class T>
    void assign(T& field, const T& value);

    double trackWidth_ = 0.0;
    std::optional<double> temperature_;
    double boostThreshold_ = 80.0;
    double emergencyThreshold_ = 90.0;
    QString language_;
};

}  // namespace ventrella::ui
