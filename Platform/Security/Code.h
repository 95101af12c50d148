#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include "Platform/Security/ImageVerificationCache.h"
#include "Platform/Security/SecurityStatus.h"
#include "Platform/Security/SigningValue.h"

namespace platform::security {

// Flags of the calls below.
inline constexpr std::uint32_t defaultFlags = 0;
inline constexpr std::uint32_t validityAllArchitectures = 0x1;
inline constexpr std::uint32_t validityStrict = 0x10;
// checkValidity without reading the image: everything else it checks, for a caller that looks
// at the signature's own statements before it pays for the hash.
inline constexpr std::uint32_t validityWithoutImageHash = 0x4;
inline constexpr std::uint32_t signingInformationFlag = 0x2;
// The hardened-runtime bit of a signature's flags.
inline constexpr std::uint32_t codeFlagRuntime = 0x10000;

// Keys of the signing-information dictionary.
inline constexpr const char* infoIdentifier = "identifier";
inline constexpr const char* infoUnique = "unique";
inline constexpr const char* infoFlags = "flags";
inline constexpr const char* infoEntitlementsDict = "entitlements-dict";
inline constexpr const char* infoTeamIdentifier = "teamid";

// Running code: a process pinned by a pidfd and its start time, with its
// image opened through that process. A default-constructed Code refers to
// nothing; every call on it answers statusInvalidObject.
class Code {
  public:
    struct State {
        pid_t processIdentifier = -1;
        int pidfd = -1;               // owned
        int imageFd = -1;             // owned
        std::uint64_t startTime = 0;  // clock ticks after boot, from /proc/<pid>/stat
        std::filesystem::path imagePath;
        dev_t imageDevice = 0;
        ino_t imageInode = 0;

        State() = default;
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        ~State();
    };
    Code() = default;
    explicit Code(std::shared_ptr<const State> state) : state_(std::move(state)) {}
    const State* state() const { return state_.get(); }
    explicit operator bool() const { return state_ != nullptr; }

  private:
    std::shared_ptr<const State> state_;
};

// Code on disk: an opened executable file and the path it was reached by.
class StaticCode {
  public:
    struct State {
        int fd = -1;  // owned
        std::filesystem::path path;

        State() = default;
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        ~State();
    };
    StaticCode() = default;
    explicit StaticCode(std::shared_ptr<const State> state) : state_(std::move(state)) {}
    const State* state() const { return state_.get(); }
    explicit operator bool() const { return state_ != nullptr; }

  private:
    std::shared_ptr<const State> state_;
};

// The running code of a process id. The process is pinned before its image is
// opened, and the pin is checked again afterwards: a process that exited, or
// whose id now names another process or image, gives statusNoSuchCode.
OSStatus copyGuestWithProcessIdentifier(pid_t processIdentifier, std::uint32_t flags, Code& code);
OSStatus copySelf(std::uint32_t flags, Code& code);

// The static code of the image a running code was started from (the same file,
// not a path looked up again).
OSStatus copyStaticCode(const Code& code, std::uint32_t flags, StaticCode& staticCode);

// A path whose last component ends in ".app" opens the bundle's main
// executable (Contents/Info.plist's CFBundleExecutable, else the bundle's name
// without ".app", under Contents/MacOS).
OSStatus createStaticCodeWithPath(const std::filesystem::path& path, std::uint32_t flags,
                                  StaticCode& staticCode);

// Recomputes the image hash against the signature (only when the file is exactly
// the size the signature records, at most maximumImageBytes; with a cache, an
// image it remembers is not read again). The process must share this process's
// user and pid namespaces: in namespaces of its own, another process may act
// for it (statusGuestRefused). For running code whose signature claims the
// hardened runtime, the process must also be sealed: untraced and non-dumpable
// (see adoptHardenedRuntime), and started without a setting that injects code:
// LD_PRELOAD, LD_AUDIT, LD_LIBRARY_PATH, GCONV_PATH, QT_PLUGIN_PATH,
// QT_QPA_PLATFORM_PLUGIN_PATH, QML2_IMPORT_PATH or QML_IMPORT_PATH. Otherwise
// statusGuestRefused.
OSStatus checkValidity(const Code& code, std::uint32_t flags,
                       ImageVerificationCache* cache = nullptr);

// What can change in running code after checkValidity, cheap enough to ask for
// every message: the process is still the pinned one with its image, still in
// this process's namespaces and, when its signature claims the hardened
// runtime, still untraced and non-dumpable. The image is not hashed again.
OSStatus checkDynamicValidity(const Code& code, std::uint32_t flags);

// The hardened runtime's stand-in for the running program: when its own
// signature claims the runtime flag, the process makes itself non-dumpable, so
// that no debugger of the same user attaches and /proc/<pid>/mem is closed to
// others. A client calls it before it connects (Platform/XPC does). Answers
// whether the process is sealed so now; idempotent.
bool adoptHardenedRuntime();
OSStatus checkStaticCodeValidity(const StaticCode& staticCode, std::uint32_t flags);

// The signing information: identifier and unique (the code-directory hash);
// with signingInformationFlag also flags, entitlements-dict (when there are
// entitlements) and teamid (when there is one). Unsigned code gives an empty
// dictionary.
OSStatus copySigningInformation(const StaticCode& staticCode, std::uint32_t flags,
                                Value& information);

// The path the static code was reached by (the bundle for a bundle path, the
// executable otherwise).
OSStatus copyPath(const StaticCode& staticCode, std::uint32_t flags, std::filesystem::path& path);

// The main executable a bundle path resolves to; other paths are returned unchanged.
std::filesystem::path bundleMainExecutable(const std::filesystem::path& path);

// The calls above as one injectable set, so that callers can be tested with
// any answer, including dictionaries of unexpected types.
struct CodeSigningServices {
    std::function<OSStatus(pid_t, std::uint32_t, Code&)> copyGuestWithProcessIdentifier;
    std::function<OSStatus(std::uint32_t, Code&)> copySelf;
    std::function<OSStatus(const Code&, std::uint32_t, StaticCode&)> copyStaticCode;
    std::function<OSStatus(const std::filesystem::path&, std::uint32_t, StaticCode&)>
        createStaticCodeWithPath;
    std::function<OSStatus(const Code&, std::uint32_t)> checkValidity;
    std::function<OSStatus(const StaticCode&, std::uint32_t)> checkStaticCodeValidity;
    std::function<OSStatus(const StaticCode&, std::uint32_t, Value&)> copySigningInformation;
    std::function<OSStatus(const StaticCode&, std::uint32_t, std::filesystem::path&)> copyPath;
    std::function<OSStatus(const Code&, std::uint32_t)> checkDynamicValidity;
};

// With a cache, checkValidity remembers the images it hashed there.
CodeSigningServices systemCodeSigningServices(std::shared_ptr<ImageVerificationCache> cache = {});

}  // namespace platform::security
