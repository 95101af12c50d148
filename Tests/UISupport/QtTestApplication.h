#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>

#include "Support/Eventually.h"

namespace ventrella::uitest {

// The process's one Qt application for tests without a display: a QApplication on the offscreen
// platform with the views' style and the L10n translator, made on first use and kept to the end
// of the process.
class QtTestApplication {
  public:
    QtTestApplication() = delete;

    static void ensure();

    // Runs the event loop until `condition` holds or `seconds` have passed; returns condition().
    template <class Condition>
    static bool processUntil(Condition condition,
                             double seconds = testsupport::eventDeadlineSeconds);

    // Runs the event loop for the events already due (posted, deferred deletes, zero timers).
    static void processPending();

  private:
    static bool processFor(double seconds, const std::function<bool()>& condition);
};

// Collects every warning, critical and fatal message Qt and QML write while it lives (the
// views' warnings are faults); the previous handler comes back at its end. Captures nest: a
// message goes to the innermost one alive.
class QtMessageCapture {
  public:
    QtMessageCapture();
    ~QtMessageCapture();

    QtMessageCapture(const QtMessageCapture&) = delete;
    QtMessageCapture& operator=(const QtMessageCapture&) = delete;

    QStringList warnings() const;
    void clear();

  private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message);

    QStringList messages_;
};

template <class Condition>
bool QtTestApplication::processUntil(Condition condition, double seconds) {
    return processFor(seconds, [&] { return static_cast<bool>(condition()); });
}

}  // namespace ventrella::uitest
