#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Security/SigningValue.h"

namespace platform::security {

// A signature appended to an executable:
//
//   image bytes | record | trailer
//
// The trailer is the last 16 bytes of the file: the record's length (u32 LE),
// the format version (u32 LE) and an 8-byte magic. The record holds, in this
// order and little-endian: flags (u32), identifier (u16 length + bytes), team
// identifier (u16 length + bytes, 0 = none), entitlements as an XML property
// list (u32 length + bytes, 0 = none), the image's size (u64) and the SHA-256
// of the image (32 bytes). Every length is bounded and the record must be
// consumed exactly.
//
// The entitlements stay the text they travel as until someone asks for them
// (entitlementsFromPropertyList), so that a record whose image does not match
// is refused before its property list is parsed.
struct CodeSignature {
    std::string identifier;
    std::uint32_t flags = 0;
    std::string entitlementsPropertyList;  // empty: none
    std::optional<std::string> teamIdentifier;
    std::array<std::uint8_t, 32> imageHash{};
    std::uint64_t imageSize = 0;

    bool operator==(const CodeSignature&) const = default;
};

inline constexpr std::size_t signatureTrailerSize = 16;
inline constexpr std::uint32_t signatureFormatVersion = 2;
inline constexpr std::size_t maximumIdentifierBytes = 1024;
inline constexpr std::size_t maximumTeamIdentifierBytes = 64;
inline constexpr std::size_t maximumEntitlementsBytes = 64 * 1024;
// An entitlements property list holds at most this many elements, nested at most
// this deep; a larger one is refused before it is parsed.
inline constexpr std::size_t maximumEntitlementsNodes = 1024;
inline constexpr std::size_t maximumEntitlementsDepth = 16;
inline constexpr std::size_t maximumRecordBytes = 4 + 2 + maximumIdentifierBytes + 2 +
                                                  maximumTeamIdentifierBytes + 4 +
                                                  maximumEntitlementsBytes + 8 + 32;
// The largest image that is signed or hashed; a bigger one is never read.
inline constexpr std::uint64_t maximumImageBytes = 256ULL * 1024 * 1024;

// Raised by the signing side (encoding, entitlements files, signing a file).
class SigningError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    bool operator==(const SigningError& other) const {
        return std::string_view(what()) == other.what();
    }
};

// Throws SigningError for a signature the record cannot carry (also entitlements
// that do not parse).
std::vector<std::uint8_t> encodeSignatureRecord(const CodeSignature& signature);
// Absent for anything but an exact, well-formed record; the entitlements text is
// only bounded here, not parsed.
std::optional<CodeSignature> decodeSignatureRecord(std::span<const std::uint8_t> record);
std::array<std::uint8_t, 16> signatureTrailer(std::size_t recordLength);

// The code-directory hash: the first 20 bytes of the SHA-256 of the record.
std::array<std::uint8_t, 20> codeDirectoryHash(std::span<const std::uint8_t> record);
std::string lowercaseHex(std::span<const std::uint8_t> bytes);

// Entitlements travel as an XML property list of Booleans, strings, integers
// within signed 64 bits, data and nested dictionaries; anything else is refused
// with SigningError: a binary property list, a document type with declarations
// of its own, more than maximumEntitlementsBytes, maximumEntitlementsNodes
// elements or maximumEntitlementsDepth levels.
Dictionary entitlementsFromPropertyList(std::string_view bytes);
std::string entitlementsToPropertyList(const Dictionary& entitlements);

struct SignedImage {
    enum class State { unsignedImage, signedImage, damaged, unreadable };
    State state = State::unreadable;
    std::uint64_t imageSize = 0;
    std::vector<std::uint8_t> record;
    std::optional<CodeSignature> signature;
};

// Finds and decodes the signature of the file open at fd (read with pread, so
// the descriptor's offset is untouched). A signature is damaged unless the
// file's size is exactly the recorded image size plus record and trailer, and
// that image size is at most maximumImageBytes: nothing of the image is read.
SignedImage readSignedImage(int fd);

// SHA-256 of the first imageSize bytes of the file open at fd; absent over
// maximumImageBytes or when the file ends early.
std::optional<std::array<std::uint8_t, 32>> hashImage(int fd, std::uint64_t imageSize);

struct SigningRequest {
    std::string identifier;
    std::uint32_t flags = 0;
    Dictionary entitlements;
    std::optional<std::string> teamIdentifier;
};

// Signs the file in place (through a temporary file and a rename that keeps its
// mode); an existing signature is replaced. Returns the new record.
std::vector<std::uint8_t> signFile(const std::filesystem::path& path,
                                   const SigningRequest& request);

}  // namespace platform::security
