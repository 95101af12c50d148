#pragma once

#include <QtQml/qqmlregistration.h>
#include <QList>
#include <QObject>
#include <QString>

namespace ventrella::ui {

// A duration chosen from a table of presets (seconds, ascending) on a slider of preset indices.
// The slider stands at the preset nearest to `seconds` (the first of two equally near); moving
// it always writes a preset, while a stored value that is no preset keeps its own text until
// then. Without presets the slider has nowhere to go and writes the value it has.
class DurationSettingPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(double seconds READ seconds WRITE setSeconds NOTIFY inputChanged)
    Q_PROPERTY(QList<double> presets READ presets WRITE setPresets NOTIFY inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    Q_PROPERTY(double presetIndex READ presetIndex NOTIFY inputChanged)
    Q_PROPERTY(int lastIndex READ lastIndex NOTIFY inputChanged)
    Q_PROPERTY(QString formattedDuration READ formattedDuration NOTIFY inputChanged)

  public:
    explicit DurationSettingPresenter(QObject* parent = nullptr);

    double seconds() const { return seconds_; }
    void setSeconds(double seconds);
    QList<double> presets() const { return presets_; }
    void setPresets(const QList<double>& presets);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    double presetIndex() const;
    int lastIndex() const;
    QString formattedDuration() const;

    // The preset a slider position writes: the nearest index, halves away from zero, within
    // the table.
    Q_INVOKABLE double secondsAt(double position) const;

  signals:
    void inputChanged();

  private:
    template <class T>
    void assign(T& field, const T& value);

    double seconds_ = 0.0;
    QList<double> presets_;
    QString language_;
};

}  // namespace ventrella::ui
