#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

namespace ventrella::ui {

// A whole-number setting stepped by one within lower…upper: its value text ("3 sec") and the
// values its minus and plus buttons write, each button disabled at its bound. `unit` comes
// already in the interface language; `language` only makes the text formatted again.
class CounterSettingPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(int value READ value WRITE setValue NOTIFY inputChanged)
    Q_PROPERTY(int lower READ lower WRITE setLower NOTIFY inputChanged)
    Q_PROPERTY(int upper READ upper WRITE setUpper NOTIFY inputChanged)
    Q_PROPERTY(QString unit READ unit WRITE setUnit NOTIFY inputChanged)
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY inputChanged)

    Q_PROPERTY(QString valueText READ valueText NOTIFY inputChanged)
    Q_PROPERTY(bool canDecrease READ canDecrease NOTIFY inputChanged)
    Q_PROPERTY(bool canIncrease READ canIncrease NOTIFY inputChanged)
    Q_PROPERTY(int decreased READ decreased NOTIFY inputChanged)
    Q_PROPERTY(int increased READ increased NOTIFY inputChanged)

  public:
    explicit CounterSettingPresenter(QObject* parent = nullptr);

    int value() const { return value_; }
    void setValue(int value);
    int lower() const { return lower_; }
    void setLower(int lower);
    int upper() const { return upper_; }
    void setUpper(int upper);
    QString unit() const { return unit_; }
    void setUnit(const QString& unit);
    QString language() const { return language_; }
    void setLanguage(const QString& language);

    QString valueText() const;
    bool canDecrease() const { return value_ > lower_; }
    bool canIncrease() const { return value_ < upper_; }
    // One less, but not below `lower`; one more, but not above `upper`.
    int decreased() const;
    int increased() const;

  signals:
    void inputChanged();

  private:
    template <class T>
    void assign(T& field, const T& value);

    int value_ = 0;
    int lower_ = 0;
    int upper_ = 0;
    QString unit_;
    QString language_;
};

}  // namespace ventrella::ui
