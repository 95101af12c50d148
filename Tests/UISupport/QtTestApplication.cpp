#include "UISupport/QtTestApplication.h"

#include <sys/stat.h>
#include <unistd.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "Ventrella/UI/L10nTranslator.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::uitest {

namespace {

// The live captures, innermost last: a message goes to the innermost one.
std::mutex capturesLock;
std::vector<QtMessageCapture*> captures;
QtMessageHandler previousHandler = nullptr;

// One private runtime folder per user for every test process, as Qt wants one: made 0700 and
// used only when it is ours and nobody else's.
QByteArray privateRuntimeFolder() {
    const QByteArray shared = "/tmp/ventrella-tests-runtime-" + QByteArray::number(::getuid());
    ::mkdir(shared.constData(), 0700);
    struct stat status {};
    if (::lstat(shared.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
        status.st_uid == ::getuid() && (status.st_mode & 0777) == 0700) {
        return shared;
    }
    char folder[] = "/tmp/ventrella-runtime-XXXXXX";
    return ::mkdtemp(folder) != nullptr ? QByteArray(folder) : QByteArray();
}

}  // namespace

void QtTestApplication::ensure() {
    if (QCoreApplication::instance() != nullptr) {
        return;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        qputenv("XDG_RUNTIME_DIR", privateRuntimeFolder());
    }
    // Kept to the end of the process, as Qt expects of its application object.
    static int argc = 1;
    static char name[] = "ventrella-tests";
    static char* argv[] = {name, nullptr};
    static auto* application = new QApplication(argc, argv);
    static auto* translator = new ui::L10nTranslator(application);
    QCoreApplication::installTranslator(translator);
    ui::QmlEnvironment::configureStyle();
}

bool QtTestApplication::processFor(double seconds, const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() >= static_cast<qint64>(seconds * 1000.0)) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

void QtTestApplication::processPending() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

QtMessageCapture::QtMessageCapture() {
    std::lock_guard lock(capturesLock);
    if (captures.empty()) {
        previousHandler = qInstallMessageHandler(&QtMessageCapture::handle);
    }
    captures.push_back(this);
}

QtMessageCapture::~QtMessageCapture() {
    std::lock_guard lock(capturesLock);
    std::erase(captures, this);
    if (captures.empty()) {
        qInstallMessageHandler(previousHandler);
    }
}

QStringList QtMessageCapture::warnings() const {
    std::lock_guard lock(capturesLock);
    return messages_;
}

void QtMessageCapture::clear() {
    std::lock_guard lock(capturesLock);
    messages_.clear();
}

void QtMessageCapture::handle(QtMsgType type, const QMessageLogContext& /*context*/,
                              const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) {
        return;
    }
    std::lock_guard lock(capturesLock);
    if (!captures.empty()) {
        captures.back()->messages_.append(message);
    }
}

}  // namespace ventrella::uitest
