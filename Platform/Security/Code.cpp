#include "Platform/Security/Code.h"

#include <fcntl.h>
#include <plist/plist.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/Pidfd.h"
#include "Platform/Foundation/ProcessStartTime.h"
#include "Platform/Security/CodeSignature.h"

namespace platform::security {
namespace {

constexpr std::size_t maximumProcFileBytes = 4 * 1024 * 1024;

std::string procPath(pid_t pid, const char* leaf) {
    return "/proc/" + std::to_string(pid) + "/" + leaf;
}

// Reads a small file completely; absent when it cannot be opened or read.
std::optional<std::string> readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    std::string text;
    std::array<char, 4096> buffer{};
    bool ok = true;
    while (true) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > maximumProcFileBytes) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        text.append(buffer.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return text;
}

bool stillPinned(const Code::State& state) {
    if (foundation::pidfdProcessHasExited(state.pidfd))
        return false;
    const auto start = foundation::processStartTime(state.processIdentifier);
    if (!start || *start != state.startTime)
        return false;
    struct stat image {};
    if (::stat(procPath(state.processIdentifier, "exe").c_str(), &image) != 0)
        return false;
    return image.st_dev == state.imageDevice && image.st_ino == state.imageInode;
}

// The value of a "Name:" line of /proc/<pid>/status, up to the end of the line.
std::optional<std::string_view> statusField(std::string_view status, std::string_view name) {
    const std::string needle = "\n" + std::string(name) + ":";
    const auto at = status.find(needle);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string_view value = status.substr(at + needle.size());
    value = value.substr(0, std::min(value.find('\n'), value.size()));
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    return value;
}

bool isUntraced(std::string_view status) {
    const auto tracer = statusField(status, "TracerPid");
    if (!tracer)
        return false;
    long tracerPid = -1;
    const auto [ptr, ec] =
        std::from_chars(tracer->data(), tracer->data() + tracer->size(), tracerPid);
    return ec == std::errc() && ptr != tracer->data() && tracerPid == 0;
}

// The kernel hands the files of a non-dumpable process to root. For a process whose effective
// user is root the two cannot be told apart, and the flag holds no root debugger off either.
bool isNonDumpable(pid_t pid, std::string_view status) {
    const auto uids = statusField(status, "Uid");
    if (!uids)
        return false;
    // Real, effective, saved and file-system user, separated by tabs.
    std::string_view rest = *uids;
    rest.remove_prefix(std::min(rest.find('\t'), rest.size()));
    while (!rest.empty() && rest.front() == '\t')
        rest.remove_prefix(1);
    unsigned long effective = 0;
    const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), effective);
    if (ec != std::errc() || ptr == rest.data())
        return false;
    if (effective == 0)
        return true;
    struct stat info {};
    if (::stat(procPath(pid, "environ").c_str(), &info) != 0)
        return false;
    return info.st_uid == 0;
}

// What a hardened process must keep being for as long as it is served: untraced and
// non-dumpable. Unreadable facts refuse.
bool hardenedProcessStaysSealed(pid_t pid) {
    const auto status = readSmallFile(procPath(pid, "status"));
    return status && isUntraced(*status) && isNonDumpable(pid, *status);
}

// Loader and plugin settings that inject or redirect code into the process.
constexpr std::string_view injectingVariables[] = {
    "LD_PRELOAD=",       "LD_AUDIT=",        "LD_LIBRARY_PATH=",
    "GCONV_PATH=",       "QT_PLUGIN_PATH=",  "QT_QPA_PLATFORM_PLUGIN_PATH=",
    "QML2_IMPORT_PATH=", "QML_IMPORT_PATH=",
};

// A process that claims the hardened runtime must run sealed and without settings that inject
// code into it. Unreadable facts refuse.
bool hardenedProcessIsClean(pid_t pid) {
    if (!hardenedProcessStaysSealed(pid))
        return false;
    const auto environment = readSmallFile(procPath(pid, "environ"));
    if (!environment)
        return false;
    std::string_view entries(*environment);
    while (!entries.empty()) {
        const auto end = std::min(entries.find('\0'), entries.size());
        const std::string_view entry = entries.substr(0, end);
        for (const std::string_view name : injectingVariables) {
            if (entry.substr(0, name.size()) == name)
                return false;
        }
        entries.remove_prefix(std::min(end + 1, entries.size()));
    }
    return true;
}

// A process in other user or pid namespaces may be named, traced or spoken for by whoever owns
// them; it must live in this process's own. The caller checks the pin afterwards, so that the
// /proc entries read here were the pinned process's.
bool sharesNamespacesWithThisProcess(pid_t pid) {
    for (const char* leaf : {"ns/user", "ns/pid"}) {
        struct stat own {};
        struct stat peer {};
        if (::stat((std::string("/proc/self/") + leaf).c_str(), &own) != 0 ||
            ::stat(procPath(pid, leaf).c_str(), &peer) != 0 || own.st_dev != peer.st_dev ||
            own.st_ino != peer.st_ino)
            return false;
    }
    return true;
}

OSStatus signatureStatus(const SignedImage& image) {
    switch (image.state) {
        case SignedImage::State::unreadable:
            return statusIOError;
        case SignedImage::State::unsignedImage:
            return statusUnsigned;
        case SignedImage::State::damaged:
            return statusSignatureInvalid;
        case SignedImage::State::signedImage:
            break;
    }
    return statusSuccess;
}

// Reads the signature of the file at fd and, unless told not to, checks the image against it.
// The file's identity is taken before anything is read and again afterwards: only an outcome
// read whole from one unchanged file is remembered.
OSStatus imageStatus(int fd, std::uint32_t flags, ImageVerificationCache* cache,
                     SignedImage& image) {
    struct stat before {};
    if (::fstat(fd, &before) != 0)
        return statusIOError;
    image = readSignedImage(fd);
    const OSStatus status = signatureStatus(image);
    if (status != statusSuccess || (flags & validityWithoutImageHash) != 0)
        return status;
    const auto identity = ImageVerificationCache::identityOf(before);
    if (cache != nullptr) {
        if (const auto known = cache->find(identity))
            return *known;
    }
    timespec started{};
    ::clock_gettime(CLOCK_REALTIME, &started);
    const auto hash = hashImage(fd, image.imageSize);
    if (!hash)
        return statusIOError;
    const OSStatus outcome =
        *hash == image.signature->imageHash ? statusSuccess : statusSignatureInvalid;
    struct stat after {};
    if (cache != nullptr && ::fstat(fd, &after) == 0 &&
        ImageVerificationCache::identityOf(after) == identity)
        cache->remember(identity, outcome, started);
    return outcome;
}

bool endsWithAppIgnoringCase(const std::string& name) {
    if (name.size() <= 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    return tail == ".app";
}

std::optional<std::string> bundleExecutableName(const std::filesystem::path& infoPlist) {
    const auto text = readSmallFile(infoPlist.string());
    if (!text || text->empty())
        return std::nullopt;
    plist_t root = nullptr;
    plist_from_memory(text->data(), static_cast<std::uint32_t>(text->size()), &root);
    if (root == nullptr)
        return std::nullopt;
    std::optional<std::string> name;
    if (plist_get_node_type(root) == PLIST_DICT) {
        const plist_t item = plist_dict_get_item(root, "CFBundleExecutable");
        if (item != nullptr && plist_get_node_type(item) == PLIST_STRING) {
            std::uint64_t length = 0;
            const char* value = plist_get_string_ptr(item, &length);
            if (value != nullptr)
                name = std::string(value, length);
        }
    }
    plist_free(root);
    // A name must stay inside Contents/MacOS.
    if (name && (name->empty() || *name == "." || *name == ".." ||
                 name->find('/') != std::string::npos || name->find('\0') != std::string::npos))
        name.reset();
    return name;
}

}  // namespace

Code::State::~State() {
    if (pidfd >= 0)
        ::close(pidfd);
    if (imageFd >= 0)
        ::close(imageFd);
}

StaticCode::State::~State() {
    if (fd >= 0)
        ::close(fd);
}

OSStatus copyGuestWithProcessIdentifier(pid_t processIdentifier, std::uint32_t, Code& code) {
    code = Code();
    if (processIdentifier <= 0)
        return statusNoSuchCode;
    auto state = std::make_shared<Code::State>();
    state->processIdentifier = processIdentifier;
    state->pidfd = foundation::openPidfd(processIdentifier);
    if (state->pidfd < 0)
        return statusNoSuchCode;
    const auto start = foundation::processStartTime(processIdentifier);
    if (!start)
        return statusNoSuchCode;
    state->startTime = *start;
    if (foundation::pidfdProcessHasExited(state->pidfd))
        return statusNoSuchCode;

    const std::string exe = procPath(processIdentifier, "exe");
    state->imageFd = ::open(exe.c_str(), O_RDONLY | O_CLOEXEC);
    if (state->imageFd < 0)
        return statusNoSuchCode;
    struct stat image {};
    if (::fstat(state->imageFd, &image) != 0 || !S_ISREG(image.st_mode))
        return statusNoSuchCode;
    state->imageDevice = image.st_dev;
    state->imageInode = image.st_ino;
    std::error_code error;
    state->imagePath = std::filesystem::read_symlink(exe, error);
    if (error)
        return statusNoSuchCode;

    // The image must still belong to the process that was pinned.
    if (!stillPinned(*state))
        return statusNoSuchCode;
    code = Code(std::move(state));
    return statusSuccess;
}

OSStatus copySelf(std::uint32_t flags, Code& code) {
    return copyGuestWithProcessIdentifier(::getpid(), flags, code);
}

OSStatus copyStaticCode(const Code& code, std::uint32_t, StaticCode& staticCode) {
    staticCode = StaticCode();
    const Code::State* state = code.state();
    if (state == nullptr || state->imageFd < 0)
        return statusInvalidObject;
    auto result = std::make_shared<StaticCode::State>();
    result->fd = ::fcntl(state->imageFd, F_DUPFD_CLOEXEC, 0);
    if (result->fd < 0)
        return statusIOError;
    result->path = state->imagePath;
    staticCode = StaticCode(std::move(result));
    return statusSuccess;
}

std::filesystem::path bundleMainExecutable(const std::filesystem::path& path) {
    std::filesystem::path bundle = path;
    if (!bundle.empty() && !bundle.has_filename())
        bundle = bundle.parent_path();
    const std::string name = bundle.filename().string();
    if (!endsWithAppIgnoringCase(name))
        return path;
    const auto executable = bundleExecutableName(bundle / "Contents" / "Info.plist");
    return bundle / "Contents" / "MacOS" / executable.value_or(name.substr(0, name.size() - 4));
}

OSStatus createStaticCodeWithPath(const std::filesystem::path& path, std::uint32_t,
                                  StaticCode& staticCode) {
    staticCode = StaticCode();
    if (path.empty())
        return statusInvalidParameter;
    const std::filesystem::path executable = bundleMainExecutable(path);
    auto state = std::make_shared<StaticCode::State>();
    // Non-blocking so that a FIFO at the path cannot stall the caller.
    state->fd = ::open(executable.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (state->fd < 0)
        return statusStaticCodeNotFound;
    struct stat info {};
    if (::fstat(state->fd, &info) != 0 || !S_ISREG(info.st_mode))
        return statusStaticCodeNotFound;
    state->path = path;
    staticCode = StaticCode(std::move(state));
    return statusSuccess;
}

OSStatus checkValidity(const Code& code, std::uint32_t flags, ImageVerificationCache* cache) {
    const Code::State* state = code.state();
    if (state == nullptr || state->imageFd < 0 || state->pidfd < 0)
        return statusInvalidObject;
    SignedImage image;
    const OSStatus status = imageStatus(state->imageFd, flags, cache, image);
    if (status != statusSuccess)
        return status;
    if ((image.signature->flags & codeFlagRuntime) != 0 &&
        !hardenedProcessIsClean(state->processIdentifier))
        return statusGuestRefused;
    if (!sharesNamespacesWithThisProcess(state->processIdentifier))
        return statusGuestRefused;
    // What was read above must still describe the pinned process.
    if (!stillPinned(*state))
        return statusNoSuchCode;
    return statusSuccess;
}

OSStatus checkDynamicValidity(const Code& code, std::uint32_t) {
    const Code::State* state = code.state();
    if (state == nullptr || state->imageFd < 0 || state->pidfd < 0)
        return statusInvalidObject;
    if (!stillPinned(*state))
        return statusNoSuchCode;
    // The record only, never the image: this runs for every message.
    const SignedImage image = readSignedImage(state->imageFd);
    if (image.state != SignedImage::State::signedImage)
        return statusSignatureInvalid;
    if ((image.signature->flags & codeFlagRuntime) != 0 &&
        !hardenedProcessStaysSealed(state->processIdentifier))
        return statusGuestRefused;
    if (!sharesNamespacesWithThisProcess(state->processIdentifier))
        return statusGuestRefused;
    if (!stillPinned(*state))
        return statusNoSuchCode;
    return statusSuccess;
}

bool adoptHardenedRuntime() {
    const int fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const SignedImage image = readSignedImage(fd);
    ::close(fd);
    if (image.state != SignedImage::State::signedImage ||
        (image.signature->flags & codeFlagRuntime) == 0)
        return false;
    return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
}

OSStatus checkStaticCodeValidity(const StaticCode& staticCode, std::uint32_t) {
    const StaticCode::State* state = staticCode.state();
    if (state == nullptr || state->fd < 0)
        return statusInvalidObject;
    SignedImage image;
    return imageStatus(state->fd, defaultFlags, nullptr, image);
}

OSStatus copySigningInformation(const StaticCode& staticCode, std::uint32_t flags,
                                Value& information) {
    information = Value(Dictionary{});
    const StaticCode::State* state = staticCode.state();
    if (state == nullptr || state->fd < 0)
        return statusInvalidObject;
    const SignedImage image = readSignedImage(state->fd);
    switch (image.state) {
        case SignedImage::State::unreadable:
            return statusIOError;
        case SignedImage::State::damaged:
            return statusSignatureInvalid;
        case SignedImage::State::unsignedImage:
            return statusSuccess;
        case SignedImage::State::signedImage:
            break;
    }
    const CodeSignature& signature = *image.signature;
    const auto cdHash = codeDirectoryHash(image.record);
    Dictionary dictionary;
    dictionary.emplace(infoIdentifier, Value(signature.identifier));
    dictionary.emplace(infoUnique, Value(Data(cdHash.begin(), cdHash.end())));
    if ((flags & signingInformationFlag) != 0) {
        dictionary.emplace(infoFlags, Value(Number{signature.flags}));
        if (!signature.entitlementsPropertyList.empty()) {
            try {
                dictionary.emplace(
                    infoEntitlementsDict,
                    Value(entitlementsFromPropertyList(signature.entitlementsPropertyList)));
            } catch (const SigningError&) {
                return statusSignatureInvalid;
            }
        }
        if (signature.teamIdentifier)
            dictionary.emplace(infoTeamIdentifier, Value(*signature.teamIdentifier));
    }
    information = Value(std::move(dictionary));
    return statusSuccess;
}

OSStatus copyPath(const StaticCode& staticCode, std::uint32_t, std::filesystem::path& path) {
    const StaticCode::State* state = staticCode.state();
    if (state == nullptr)
        return statusInvalidObject;
    path = state->path;
    return statusSuccess;
}

CodeSigningServices systemCodeSigningServices(std::shared_ptr<ImageVerificationCache> cache) {
    return CodeSigningServices{
        &copyGuestWithProcessIdentifier,
        &copySelf,
        &copyStaticCode,
        &createStaticCodeWithPath,
        [cache](const Code& code, std::uint32_t flags) {
            return checkValidity(code, flags, cache.get());
        },
        &checkStaticCodeValidity,
        &copySigningInformation,
        &copyPath,
        &checkDynamicValidity,
    };
}

}  // namespace platform::security
