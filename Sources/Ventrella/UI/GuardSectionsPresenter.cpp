#include "Ventrella/UI/GuardSectionsPresenter.h"

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/DurationText.h"
#include "Ventrella/UI/SettingsBindings.h"

namespace ventrella::ui {

GuardSectionsPresenter::GuardSectionsPresenter(QObject* parent) : QObject(parent) {}

std::string GuardSectionsPresenter::confirmationDuration(const core::GuardSettings& draft,
                                                         std::int64_t samples) {
    return DurationText::text(SettingsBindings::pollInterval(draft) * samples);
}

void GuardSectionsPresenter::setDraft(SettingsDraft* draft) {
    if (draft_ == draft) {
        return;
    }
    disconnect(draftConnection_);
    draft_ = draft;
    if (draft != nullptr) {
        draftConnection_ =
            connect(draft, &SettingsDraft::changed, this, &GuardSectionsPresenter::textsChanged);
    }
    emit draftChanged();
    emit textsChanged();
}

void GuardSectionsPresenter::setLanguage(const QString& language) {
    if (language_ != language) {
        language_ = language;
        emit textsChanged();
    }
}

core::GuardSettings GuardSectionsPresenter::settings() const {
    return draft_ ? draft_->settings() : core::GuardSettings{};
}

QString GuardSectionsPresenter::detail(const char* key, std::int64_t samples) const {
    return QString::fromStdString(
        core::L10n::format(key, confirmationDuration(settings(), samples)));
}

QString GuardSectionsPresenter::boostPercentText() const {
    // Not looked up: the sign stands before the number in every language.
    return QStringLiteral("%") + QString::number(settings().boostPercent);
}

QString GuardSectionsPresenter::boostStartDetail() const {
    return detail("Above threshold · ≈ %@", settings().boostEnterSamples);
}

QString GuardSectionsPresenter::boostCooldownDetail() const {
    return detail("Below threshold · ≈ %@", settings().boostExitSamples);
}

QString GuardSectionsPresenter::emergencyCooldownDetail() const {
    return detail("Below threshold · ≈ %@", settings().emergencyExitSamples);
}

QList<double> GuardSectionsPresenter::durationPresets() const {
    return {0, 15, 30, 45, 60, 90, 120, 180, 300, 600, 900, 1800};
}

}  // namespace ventrella::ui
