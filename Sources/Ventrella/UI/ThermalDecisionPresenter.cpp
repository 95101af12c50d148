#include "Ventrella/UI/ThermalDecisionPresenter.h"

#include <QVariantMap>

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/NumberText.h"

namespace ventrella::ui {

namespace {

using core::L10n;

QVariantMap option(std::string_view value, const QString& title) {
    return {{QStringLiteral("value"), QString::fromUtf8(value.data(), qsizetype(value.size()))},
            {QStringLiteral("title"), title}};
}

}  // namespace

ThermalDecisionPresenter::ThermalDecisionPresenter(QObject* parent) : QObject(parent) {}

QString ThermalDecisionPresenter::sourceTitle(core::TemperatureSource source) {
    switch (source) {
        case core::TemperatureSource::cpu:
            return QStringLiteral("CPU");
        case core::TemperatureSource::gpu:
            return QStringLiteral("GPU");
        case core::TemperatureSource::cpuAndGPU:
            return QStringLiteral("CPU + GPU");
    }
    return QStringLiteral("CPU");
}

void ThermalDecisionPresenter::setDraft(SettingsDraft* draft) {
    if (draft_ == draft) {
        return;
    }
    disconnect(draftConnection_);
    draft_ = draft;
    if (draft != nullptr) {
        draftConnection_ =
            connect(draft, &SettingsDraft::changed, this, &ThermalDecisionPresenter::refresh);
    }
    emit inputChanged();
    refresh();
}

void ThermalDecisionPresenter::setPreviewSource(TemperaturePreviewSource* source) {
    if (previewSource_ == source) {
        return;
    }
    disconnect(sourceConnection_);
    previewSource_ = source;
    if (source != nullptr) {
        sourceConnection_ = connect(source, &TemperaturePreviewSource::snapshotChanged, this,
                                    &ThermalDecisionPresenter::refresh);
    }
    emit inputChanged();
    refresh();
}

void ThermalDecisionPresenter::setLanguage(const QString& language) {
    if (language_ != language) {
        language_ = language;
        emit inputChanged();
        refresh();
    }
}

void ThermalDecisionPresenter::refresh() {
    reading_.reset();
    if (draft_ && previewSource_) {
        const auto& settings = draft_->settings();
        reading_ =
            previewSource_->reading(settings.temperatureSource, settings.temperatureAggregation);
    }
    // Every snapshot is news: even the same value may come with a new label or language.
    emit previewChanged();
}

QVariant ThermalDecisionPresenter::temperature() const {
    return reading_ ? QVariant(reading_->value) : QVariant();
}

QString ThermalDecisionPresenter::readingText() const {
    if (!reading_) {
        return QStringLiteral("—");
    }
    return QString::fromStdString(NumberText::formatted("%.1f°C", reading_->value));
}

QString ThermalDecisionPresenter::detailText() const {
    const core::GuardSettings settings = draft_ ? draft_->settings() : core::GuardSettings{};
    const std::string origin = reading_ ? reading_->label : L10n::string("waiting for data");
    return QString::fromStdString(
        L10n::format("%@ · %@ · %@", sourceTitle(settings.temperatureSource).toStdString(),
                     core::title(settings.temperatureAggregation), origin));
}

QVariantList ThermalDecisionPresenter::sourceOptions() const {
    QVariantList options;
    for (const auto source : core::allTemperatureSources) {
        options.append(option(core::rawValue(source), sourceTitle(source)));
    }
    return options;
}

QVariantList ThermalDecisionPresenter::aggregationOptions() const {
    QVariantList options;
    for (const auto aggregation : core::allTemperatureAggregations) {
        options.append(
            option(core::rawValue(aggregation), QString::fromStdString(core::title(aggregation))));
    }
    return options;
}

}  // namespace ventrella::ui
