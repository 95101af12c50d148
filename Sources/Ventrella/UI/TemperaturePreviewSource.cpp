#include "Ventrella/UI/TemperaturePreviewSource.h"

namespace ventrella::ui {

TemperaturePreviewSource::TemperaturePreviewSource(Reader reader, QObject* parent)
    : QObject(parent), reader_(std::move(reader)) {}

std::optional<core::TemperatureReading> TemperaturePreviewSource::reading(
    core::TemperatureSource source, core::TemperatureAggregation aggregation) const {
    return reader_ ? reader_(source, aggregation) : std::nullopt;
}

}  // namespace ventrella::ui
