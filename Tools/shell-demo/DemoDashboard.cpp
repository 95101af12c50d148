#include "DemoDashboard.h"

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/NumberText.h"
#include "Ventrella/UI/Theme.h"

namespace ventrella::shelldemo {

DemoDashboard::DemoDashboard(Settings settings, int opening, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), opening_(opening) {}

QVariant DemoDashboard::temperature() const {
    return settings_.temperature ? QVariant(*settings_.temperature) : QVariant();
}

QString DemoDashboard::temperatureText() const {
    if (!settings_.temperature) {
        return QStringLiteral("—");
    }
    return QString::fromStdString(ui::NumberText::formatted("%.1f°C", *settings_.temperature));
}

QString DemoDashboard::detailText() const {
    return QString::fromStdString(core::L10n::format("%@ · %@", "CPU", "demo"));
}

QString DemoDashboard::modeTitle() const {
    return QString::fromStdString(settings_.mode.title());
}

QString DemoDashboard::modeSymbol() const {
    return settings_.controlEnabled ? QStringLiteral("checkmark.circle.fill")
                                    : QStringLiteral("pause.circle");
}

QColor DemoDashboard::modeColor() const {
    const ui::Theme theme;
    using Kind = core::GuardMode::Kind;
    switch (settings_.mode.kind()) {
        case Kind::automatic:
            return settings_.controlEnabled ? theme.green() : theme.secondary();
        case Kind::boost:
            return theme.orange();
        case Kind::emergency:
        case Kind::fault:
            return theme.red();
        case Kind::externalManual:
            return theme.yellow();
    }
    return theme.secondary();
}

void DemoDashboard::quit() {
    emit quitRequested();
}

}  // namespace ventrella::shelldemo
