#include "VentrellaHelper/HelperDaemon.h"

#include <unistd.h>

#include <string>

#include "Platform/Dispatch/MainRunLoop.h"
#include "Platform/XPC/Listener.h"
#include "Platform/XPC/XPCError.h"
#include "VentrellaHelper/ClientHashBootstrap.h"
#include "VentrellaHelper/ExpectedClientHash.h"
#include "VentrellaHelper/FileMarkerStore.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/ListenerDelegate.h"
#include "VentrellaHelper/NativeFanHardware.h"
#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"
#include "VentrellaSecurity/ClientCodeAuthorizer.h"
#include "VentrellaSecurity/ClientCodeSignaturePolicy.h"
#include "VentrellaShared/ErrorDescription.h"

namespace ventrella::helper {

std::shared_ptr<SMCController> makeLiveController(bool shouldRecover) {
    SMCControllerDependencies dependencies;
    dependencies.hardware = std::make_shared<NativeFanHardware>();
    dependencies.marker = std::make_shared<FileMarkerStore>();
    return std::make_shared<SMCController>(std::move(dependencies), shouldRecover);
}

int serveOn(platform::xpc::Listener& listener, std::shared_ptr<ListenerDelegate> delegate,
            SMCController& controller, const applog::AppLog::Channel& log,
            const std::function<void()>& runForever) {
    listener.setDelegate(std::move(delegate));
    try {
        listener.resume();
    } catch (...) {
        const std::string message = shared::errorDescription(std::current_exception());
        // A recovery restore already queued must end before the process does.
        controller.queue().sync([] {});
        using applog::pub;
        log.fault(applog::AppLogMessage() << "listener.resume_failed message=" << pub(message));
        return 1;
    }
    runForever();
    return 0;
}

namespace {

int serveForever(platform::xpc::Listener& listener, std::shared_ptr<SMCController> controller) {
    auto auditLog = std::make_shared<security::ClientAuthorizationAuditLog>(
        HelperPaths::auditFile(), security::ClientAuthorizationAuditLog::defaultMaximumFileBytes,
        0);
    security::ClientCodeAuthorizer authorizer(std::string(HelperPaths::expectedClientIdentifier),
                                              security::ClientCodeSignaturePolicy::hardenedRuntime,
                                              ExpectedClientHash(HelperPaths::clientHashFile(), 0));
    auto delegate = std::make_shared<ListenerDelegate>(controller, std::move(authorizer),
                                                       std::move(auditLog), helperLog());
    return serveOn(listener, std::move(delegate), *controller, helperLog(),
                   [] { platform::dispatch::runMain(); });
}

}  // namespace

HelperEntry liveHelperEntry() {
    // Claimed first, served later; lives as long as the process (the main thread parks in
    // serving).
    auto listener = std::make_shared<std::unique_ptr<platform::xpc::Listener>>();
    return HelperEntry{
        [listener] {
            *listener = std::make_unique<platform::xpc::Listener>(
                std::string(HelperPaths::machServiceName));
            try {
                (*listener)->claim();
            } catch (const platform::xpc::XPCError& error) {
                if (error.code() == platform::xpc::XPCError::Code::serviceInUse) {
                    return ServiceClaim::heldByAnotherHelper;
                }
                throw;
            }
            return ServiceClaim::claimed;
        },
        [] { ClientHashBootstrap::live().refreshBundledClientHashIfNeeded(); },
        [] { return FileMarkerStore().isMarked(); },
        &makeLiveController,
        [listener](std::shared_ptr<SMCController> controller) {
            return serveForever(**listener, std::move(controller));
        },
        helperLog(),
    };
}

}  // namespace ventrella::helper
