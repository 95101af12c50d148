#include "Ventrella/UI/AppModelBridge.h"

#include <string>
#include <string_view>

#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/TemperatureAggregation.h"
#include "Ventrella/Core/TemperatureSource.h"
#include "VentrellaShared/FanControlMode.h"

namespace ventrella::ui {

namespace {

using model::PublishedField;

QString text(std::string_view value) {
    return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
}

QString kindName(core::GuardMode::Kind kind) {
    switch (kind) {
        case core::GuardMode::Kind::automatic:
            return QStringLiteral("automatic");
        case core::GuardMode::Kind::boost:
            return QStringLiteral("boost");
        case core::GuardMode::Kind::emergency:
            return QStringLiteral("emergency");
        case core::GuardMode::Kind::externalManual:
            return QStringLiteral("externalManual");
        case core::GuardMode::Kind::fault:
            return QStringLiteral("fault");
    }
    return QStringLiteral("fault");
}

QVariantMap temperatures(const std::map<std::string, double>& values) {
    QVariantMap map;
    for (const auto& [key, celsius] : values) {
        map.insert(text(key), celsius);
    }
    return map;
}

}  // namespace

AppModelBridge::AppModelBridge(model::AppModel& model, platform::dispatch::MainExecutor& executor,
                               QObject* parent)
    : QObject(parent),
      model_(model),
      executor_(executor),
      self_(std::make_shared<AppModelBridge*>(this)) {
    subscription_ =
        model_.subscribeWillChange([this](PublishedField field) { noteWillChange(field); });
}

AppModelBridge::~AppModelBridge() {
    model_.unsubscribeWillChange(subscription_);
}

void AppModelBridge::noteWillChange(PublishedField field) {
    pending_.insert(field);
    if (flushScheduled_) {
        return;
    }
    flushScheduled_ = true;
    // The field still holds its old value: the signals go out in a later step.
    executor_.post([self = std::weak_ptr<AppModelBridge*>(self_)] {
        if (const auto bridge = self.lock()) {
            (*bridge)->flush();
        }
    });
}

void AppModelBridge::flush() {
    flushScheduled_ = false;
    const std::set<PublishedField> fields = std::move(pending_);
    pending_.clear();
    for (const PublishedField field : fields) {
        emitChanged(field);
    }
    emit changed();
}

void AppModelBridge::emitChanged(PublishedField field) {
    switch (field) {
        case PublishedField::controlEnabled:
            emit controlEnabledChanged();
            return;
        case PublishedField::operationInProgress:
            emit operationInProgressChanged();
            return;
        case PublishedField::currentTemperature:
            emit currentTemperatureChanged();
            return;
        case PublishedField::hottestSensor:
            emit hottestSensorChanged();
            return;
        case PublishedField::fans:
            emit fansChanged();
            return;
        case PublishedField::hardwareCapabilities:
            emit hardwareCapabilitiesChanged();
            return;
        case PublishedField::guardMode:
            emit guardModeChanged();
            return;
        case PublishedField::statusMessage:
            emit statusMessageChanged();
            return;
        case PublishedField::helperReady:
            emit helperReadyChanged();
            return;
        case PublishedField::helperInstalled:
            emit helperInstalledChanged();
            return;
        case PublishedField::helperApprovalPending:
            emit helperApprovalPendingChanged();
            return;
        case PublishedField::helperApprovalPromptPresented:
            emit helperApprovalPromptPresentedChanged();
            return;
        case PublishedField::latestSensorSnapshot:
            emit latestSensorSnapshotChanged();
            return;
        case PublishedField::settings:
            emit settingsChanged();
            return;
    }
}

QVariant AppModelBridge::currentTemperature() const {
    const auto& temperature = model_.currentTemperature();
    return temperature ? QVariant(*temperature) : QVariant();
}

QString AppModelBridge::hottestSensor() const {
    return text(model_.hottestSensor());
}

QVariantList AppModelBridge::fans() const {
    QVariantList list;
    for (const auto& fan : model_.fans()) {
        list.append(QVariantMap{
            {QStringLiteral("id"), static_cast<qlonglong>(fan.id)},
            {QStringLiteral("actualRPM"), fan.actualRPM},
            {QStringLiteral("minimumRPM"), fan.minimumRPM},
            {QStringLiteral("maximumRPM"), fan.maximumRPM},
            {QStringLiteral("targetRPM"), fan.targetRPM},
            {QStringLiteral("mode"), text(shared::toString(fan.mode))},
        });
    }
    return list;
}

QVariant AppModelBridge::hardwareCapabilities() const {
    const auto& capabilities = model_.hardwareCapabilities();
    if (!capabilities) {
        return {};
    }
    const auto optionalText = [](const std::optional<std::string>& value) {
        return value ? QVariant(text(*value)) : QVariant();
    };
    return QVariantMap{
        {QStringLiteral("model"), text(capabilities->model)},
        {QStringLiteral("chipGeneration"),
         capabilities->chipGeneration
             ? QVariant(static_cast<qlonglong>(*capabilities->chipGeneration))
             : QVariant()},
        {QStringLiteral("fanCount"), static_cast<qlonglong>(capabilities->fanCount)},
        {QStringLiteral("canMonitor"), capabilities->canMonitor},
        {QStringLiteral("canControl"), capabilities->canControl},
        {QStringLiteral("controlMechanism"), optionalText(capabilities->controlMechanism)},
        {QStringLiteral("reason"), optionalText(capabilities->reason)},
    };
}

QString AppModelBridge::guardMode() const {
    return kindName(model_.guardMode().kind());
}

QString AppModelBridge::guardModeTitle() const {
    return text(model_.guardMode().title());
}

QString AppModelBridge::statusMessage() const {
    return text(model_.statusMessage());
}

void AppModelBridge::setHelperApprovalPromptPresented(bool presented) {
    model_.setHelperApprovalPromptPresented(presented);
}

QVariant AppModelBridge::latestSensorSnapshot() const {
    const auto& snapshot = model_.latestSensorSnapshot();
    if (!snapshot) {
        return {};
    }
    return QVariantMap{
        {QStringLiteral("cpuTemperatures"), temperatures(snapshot->cpuTemperatures)},
        {QStringLiteral("gpuTemperatures"), temperatures(snapshot->gpuTemperatures)},
    };
}

QVariantMap AppModelBridge::settings() const {
    const core::GuardSettings& settings = model_.settings();
    return {
        {QStringLiteral("appLanguage"), text(core::rawValue(settings.appLanguage))},
        {QStringLiteral("temperatureSource"), text(core::rawValue(settings.temperatureSource))},
        {QStringLiteral("temperatureAggregation"),
         text(core::rawValue(settings.temperatureAggregation))},
        {QStringLiteral("boostEnterCelsius"), settings.boostEnterCelsius},
        {QStringLiteral("boostExitCelsius"), settings.boostExitCelsius},
        {QStringLiteral("boostPercent"), static_cast<qlonglong>(settings.boostPercent)},
        {QStringLiteral("boostEnterSamples"), static_cast<qlonglong>(settings.boostEnterSamples)},
        {QStringLiteral("boostExitSamples"), static_cast<qlonglong>(settings.boostExitSamples)},
        {QStringLiteral("boostMinimumHoldSeconds"), settings.boostMinimumHoldSeconds},
        {QStringLiteral("emergencyEnterCelsius"), settings.emergencyEnterCelsius},
        {QStringLiteral("emergencyExitCelsius"), settings.emergencyExitCelsius},
        {QStringLiteral("emergencyExitSamples"),
         static_cast<qlonglong>(settings.emergencyExitSamples)},
        {QStringLiteral("emergencyMinimumHoldSeconds"), settings.emergencyMinimumHoldSeconds},
        {QStringLiteral("pollIntervalSeconds"), settings.pollIntervalSeconds},
        {QStringLiteral("launchAtLogin"), settings.launchAtLogin},
    };
}

QString AppModelBridge::appLanguage() const {
    return text(core::rawValue(model_.settings().appLanguage));
}

QString AppModelBridge::menuTitle() const {
    return text(model_.menuTitle());
}

QString AppModelBridge::menuSymbol() const {
    return text(model_.menuSymbol());
}

QString AppModelBridge::temperatureMetricTitle() const {
    return text(model_.temperatureMetricTitle());
}

QString AppModelBridge::hardwareSummary() const {
    return text(model_.hardwareSummary());
}

void AppModelBridge::requestControl(bool enabled) {
    model_.requestControl(enabled);
}

void AppModelBridge::requestTakeover() {
    model_.requestTakeover();
}

void AppModelBridge::installHelper() {
    model_.installHelper();
}

void AppModelBridge::openHelperApprovalSettings() {
    model_.openHelperApprovalSettings();
}

void AppModelBridge::uninstallHelper() {
    model_.uninstallHelper();
}

void AppModelBridge::exportDiagnostics() {
    model_.exportDiagnostics();
}

void AppModelBridge::quit() {
    model_.quit();
}

void AppModelBridge::saveSettings(const core::GuardSettings& settings) {
    model_.saveSettings(settings);
}

}  // namespace ventrella::ui
