#include "VentrellaHelper/HelperDaemon.h"

#include <unistd.h>

#include <string>

#include "Platform/Dispatch/MainRunLoop.h"
#include "Platform/XPC/Listener.h"
#include "VentrellaHelper/ClientHashBootstrap.h"
#include "VentrellaHelper/ExpectedClientHash.h"
#include "VentrellaHelper/FileMarkerStore.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/ListenerDelegate.h"
#include "VentrellaHelper/NativeFanHardware.h"
#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"

namespace ventrella::helper {

std::shared_ptr<SMCController> makeLiveController(bool shouldRecover) {
    SMCControllerDependencies dependencies;
    dependencies.hardware = std::make_shared<NativeFanHardware>();
    dependencies.marker = std::make_shared<FileMarkerStore>();
    return std::make_shared<SMCController>(std::move(dependencies), shouldRecover);
}

namespace {

[[noreturn]] int serveForever(std::shared_ptr<SMCController> controller) {
    auto auditLog = std::make_shared<security::ClientAuthorizationAuditLog>(
        HelperPaths::auditFile(), security::ClientAuthorizationAuditLog::defaultMaximumFileBytes,
        0);
    security::ClientCodeAuthorizer authorizer(std::string(HelperPaths::expectedClientIdentifier),
                                              security::ClientCodeSignaturePolicy::hardenedRuntime,
                                              ExpectedClientHash(HelperPaths::clientHashFile(), 0));
    auto delegate = std::make_shared<ListenerDelegate>(std::move(controller), std::move(authorizer),
                                                       std::move(auditLog), helperLog());
    // Lives as long as the process: the main thread parks below.
    static platform::xpc::Listener listener{std::string(HelperPaths::machServiceName)};
    listener.setDelegate(delegate);
    listener.resume();
    platform::dispatch::runMain();
}

}  // namespace

HelperEntry liveHelperEntry() {
    return HelperEntry{
        [] { ClientHashBootstrap::live().refreshBundledClientHashIfNeeded(); },
        [] { return FileMarkerStore().isMarked(); },
        &makeLiveController,
        &serveForever,
        helperLog(),
    };
}

}  // namespace ventrella::helper
