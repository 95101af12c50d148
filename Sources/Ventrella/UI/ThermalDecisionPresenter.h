#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <optional>

#include "Ventrella/Core/TemperatureReading.h"
#include "Ventrella/Core/TemperatureSource.h"
#include "Ventrella/UI/SettingsDraft.h"
#include "Ventrella/UI/TemperaturePreviewSource.h"

namespace ventrella::ui {

// The thermal decision card's live preview: the temperature the draft's source and calculation
// produce from the latest snapshot, read again whenever the draft changes and whenever the
// source reports a new snapshot (so it follows the sensors while the draft stays as it is), and
// the picker choices. The source titles are shown as they stand in every language; everything
// else is formatted in the interface language, again when `language` changes.
class ThermalDecisionPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(ventrella::ui::SettingsDraft* draft READ draft WRITE setDraft NOTIFY inputChanged)
    Q_PROPERTY(ventrella::ui::TemperaturePreviewSource* previewSource READ previewSource WRITE
                   setPreviewSource NOTIFY inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    // °C, or undefined without a reading.
    Q_PROPERTY(QVariant temperature READ temperature NOTIFY previewChanged)
    Q_PROPERTY(QString readingText READ readingText NOTIFY previewChanged)
    Q_PROPERTY(QString detailText READ detailText NOTIFY previewChanged)
    // The pickers' segments in order, each {value: raw value, title: text}.
    Q_PROPERTY(QVariantList sourceOptions READ sourceOptions CONSTANT)
    Q_PROPERTY(QVariantList aggregationOptions READ aggregationOptions NOTIFY previewChanged)

  public:
    explicit ThermalDecisionPresenter(QObject* parent = nullptr);

    // "CPU", "GPU", "CPU + GPU": the same in every language.
    static QString sourceTitle(core::TemperatureSource source);

    SettingsDraft* draft() const { return draft_; }
    void setDraft(SettingsDraft* draft);
    TemperaturePreviewSource* previewSource() const { return previewSource_; }
    void setPreviewSource(TemperaturePreviewSource* source);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    const std::optional<core::TemperatureReading>& reading() const { return reading_; }
    QVariant temperature() const;
    QString readingText() const;
    QString detailText() const;
    QVariantList sourceOptions() const;
    QVariantList aggregationOptions() const;

  signals:
    void inputChanged();
    void previewChanged();

  private:
    void refresh();

    QPointer<SettingsDraft> draft_;
    QPointer<TemperaturePreviewSource> previewSource_;
    QMetaObject::Connection draftConnection_;
    QMetaObject::Connection sourceConnection_;
    QString language_;
    std::optional<core::TemperatureReading> reading_;
};

}  // namespace ventrella::ui
