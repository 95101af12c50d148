#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <functional>
#include <optional>

#include "Ventrella/Core/TemperatureAggregation.h"
#include "Ventrella/Core/TemperatureReading.h"
#include "Ventrella/Core/TemperatureSource.h"

namespace ventrella::ui {

// Where the settings page's live preview takes its temperature from: the model's latest sensor
// snapshot, read for any source and aggregation (the draft's, not the saved ones). The owner
// passes the reading function and calls `snapshotChanged()` whenever the model publishes a new
// snapshot, so that the preview follows the sensors while the draft stays as it is.
class TemperaturePreviewSource : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings page provides the preview's source.")

  public:
    using Reader = std::function<std::optional<core::TemperatureReading>(
        core::TemperatureSource, core::TemperatureAggregation)>;

    // Without a reader there is never a reading.
    explicit TemperaturePreviewSource(Reader reader = {}, QObject* parent = nullptr);

    std::optional<core::TemperatureReading> reading(core::TemperatureSource source,
                                                    core::TemperatureAggregation aggregation) const;

  signals:
    void snapshotChanged();

  private:
    Reader reader_;
};

}  // namespace ventrella::ui
