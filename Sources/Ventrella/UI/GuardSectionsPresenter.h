#pragma once

#include <QtQml/qqmlregistration.h>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <string>

#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/UI/SettingsDraft.h"

namespace ventrella::ui {

// The texts of the Boost and Emergency cards that follow the draft: the cooling power and the
// confirmation details, whose durations come from the draft's own sampling interval, so that
// they follow an unsaved change of it. Formatted again when the draft or `language` changes.
class GuardSectionsPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(ventrella::ui::SettingsDraft* draft READ draft WRITE setDraft NOTIFY draftChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY textsChanged)

    Q_PROPERTY(QString boostPercentText READ boostPercentText NOTIFY textsChanged)
    Q_PROPERTY(QString boostStartDetail READ boostStartDetail NOTIFY textsChanged)
    Q_PROPERTY(QString boostCooldownDetail READ boostCooldownDetail NOTIFY textsChanged)
    Q_PROPERTY(QString emergencyCooldownDetail READ emergencyCooldownDetail NOTIFY textsChanged)
    // The minimum run times a level offers, in seconds.
    Q_PROPERTY(QList<double> durationPresets READ durationPresets CONSTANT)

  public:
    explicit GuardSectionsPresenter(QObject* parent = nullptr);

    // About how long `samples` consecutive samples take at the draft's sampling interval,
    // rounded to whole seconds ("9 sec", "1 min 15 sec").
    static std::string confirmationDuration(const core::GuardSettings& draft, std::int64_t samples);

    SettingsDraft* draft() const { return draft_; }
    void setDraft(SettingsDraft* draft);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    // "%" directly followed by the percentage in plain digits ("%55").
    QString boostPercentText() const;
    QString boostStartDetail() const;
    QString boostCooldownDetail() const;
    QString emergencyCooldownDetail() const;
    QList<double> durationPresets() const;

  signals:
    void draftChanged();
    void textsChanged();

  private:
    core::GuardSettings settings() const;
    QString detail(const char* key, std::int64_t samples) const;

    QPointer<SettingsDraft> draft_;
    QMetaObject::Connection draftConnection_;
    QString language_;
};

}  // namespace ventrella::ui
