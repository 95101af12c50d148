#include "Platform/Security/CodeSignature.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <plist/plist.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>

namespace platform::security {
namespace {

constexpr std::array<std::uint8_t, 8> trailerMagic{'V', 'N', 'T', 'R', 'S', 'I', 'G', 0};

void putU16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(std::uint8_t* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>((value >> (8 * i)) & 0xff);
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    std::uint8_t bytes[4];
    putU32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

void putU64(std::vector<std::uint8_t>& out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<std::uint8_t>((value >> (8 * i)) & 0xff));
}

std::uint32_t getU32(const std::uint8_t* in) {
    return static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
           (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
}

// Bounded reader over the record: every read checks what is left.
class RecordReader {
  public:
    explicit RecordReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool u16(std::uint16_t& value) {
        if (bytes_.size() - offset_ < 2)
            return false;
        value = static_cast<std::uint16_t>(bytes_[offset_] | (bytes_[offset_ + 1] << 8));
        offset_ += 2;
        return true;
    }
    bool u32(std::uint32_t& value) {
        if (bytes_.size() - offset_ < 4)
            return false;
        value = getU32(bytes_.data() + offset_);
        offset_ += 4;
        return true;
    }
    bool u64(std::uint64_t& value) {
        if (bytes_.size() - offset_ < 8)
            return false;
        value = 0;
        for (int i = 7; i >= 0; --i)
            value = (value << 8) | bytes_[offset_ + static_cast<std::size_t>(i)];
        offset_ += 8;
        return true;
    }
    bool take(std::size_t count, std::span<const std::uint8_t>& out) {
        if (bytes_.size() - offset_ < count)
            return false;
        out = bytes_.subspan(offset_, count);
        offset_ += count;
        return true;
    }
    bool atEnd() const { return offset_ == bytes_.size(); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

// The parser keeps both "-1" and "18446744073709551615" as the same 64 bits; how the node
// writes itself back tells them apart.
bool writesAsNegative(plist_t node) {
    const PlistPtr copy(plist_copy(node));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(copy.get()), &xml, &length);
    if (xml == nullptr)
        return false;
    const bool negative =
        std::string_view(xml, length).find("<integer>-") != std::string_view::npos;
    plist_to_xml_free(xml);
    return negative;
}

std::optional<Value> valueFromPlist(plist_t node, int depth);

std::optional<Dictionary> dictionaryFromPlist(plist_t node, int depth) {
    if (depth > 16 || plist_get_node_type(node) != PLIST_DICT)
        return std::nullopt;
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (iter == nullptr)
        return std::nullopt;
    std::optional<Dictionary> outcome = Dictionary{};
    while (true) {
        char* key = nullptr;
        plist_t item = nullptr;
        plist_dict_next_item(node, iter, &key, &item);
        if (item == nullptr) {
            std::free(key);
            break;
        }
        std::string keyText = key != nullptr ? key : "";
        std::free(key);
        auto value = valueFromPlist(item, depth + 1);
        if (!value) {
            outcome.reset();
            break;
        }
        outcome->insert_or_assign(std::move(keyText), std::move(*value));
    }
    std::free(iter);
    return outcome;
}

std::optional<Value> valueFromPlist(plist_t node, int depth) {
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            std::uint8_t flag = 0;
            plist_get_bool_val(node, &flag);
            return Value(flag != 0);
        }
        case PLIST_UINT: {
            std::uint64_t number = 0;
            plist_get_uint_val(node, &number);
            // A number kept here is signed: one written above its maximum is refused, not
            // read as negative.
            if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) &&
                !writesAsNegative(node))
                return std::nullopt;
            return Value(Number{static_cast<std::int64_t>(number)});
        }
        case PLIST_STRING: {
            std::uint64_t length = 0;
            const char* text = plist_get_string_ptr(node, &length);
            std::string value(text != nullptr ? text : "", text != nullptr ? length : 0);
            // A property list's text never holds a NUL: such a string could not be signed again.
            if (value.find('\0') != std::string::npos)
                return std::nullopt;
            return Value(std::move(value));
        }
        case PLIST_DATA: {
            std::uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(node, &length);
            const auto* begin = reinterpret_cast<const std::uint8_t*>(bytes);
            return Value(Data(begin, begin + (bytes != nullptr ? length : 0)));
        }
        case PLIST_DICT: {
            auto dictionary = dictionaryFromPlist(node, depth);
            if (!dictionary)
                return std::nullopt;
            // In place: around a temporary Value, g++ 12 warns (wrongly) that the moved-from
            // storage may be used uninitialised.
            return std::optional<Value>(std::in_place, std::move(*dictionary));
        }
        default:
            return std::nullopt;
    }
}

plist_t plistFromValue(const Value& value);

plist_t plistFromDictionary(const Dictionary& dictionary) {
    plist_t node = plist_new_dict();
    for (const auto& [key, item] : dictionary)
        plist_dict_set_item(node, key.c_str(), plistFromValue(item));
    return node;
}

plist_t plistFromValue(const Value& value) {
    if (const auto* text = value.string())
        return plist_new_string(text->c_str());
    if (const auto* bytes = value.data())
        return plist_new_data(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    if (const auto* number = value.number())
        return plist_new_uint(static_cast<std::uint64_t>(number->value));
    if (const auto* flag = value.boolean())
        return plist_new_bool(*flag ? 1 : 0);
    return plistFromDictionary(*value.dictionary());
}

// A cheap pass over the text before the parser sees it: only XML markup, no
// document type of its own (no entity can expand), a bounded number of elements
// and a bounded depth. Counting tags over-counts rather than under-counts.
bool withinEntitlementsBounds(std::string_view text) {
    std::size_t position = 0;
    while (position < text.size() && (text[position] == ' ' || text[position] == '\t' ||
                                      text[position] == '\n' || text[position] == '\r'))
        ++position;
    if (position == text.size() || text[position] != '<')
        return false;
    std::size_t nodes = 0;
    std::size_t depth = 0;
    const auto skipPast = [&](std::string_view terminator) {
        const auto end = text.find(terminator, position);
        if (end == std::string_view::npos)
            return false;
        position = end + terminator.size();
        return true;
    };
    while ((position = text.find('<', position)) != std::string_view::npos) {
        const std::string_view tag = text.substr(position);
        if (tag.starts_with("<?")) {
            if (!skipPast("?>"))
                return false;
        } else if (tag.starts_with("<!--")) {
            if (!skipPast("-->"))
                return false;
        } else if (tag.starts_with("<!DOCTYPE")) {
            const auto end = text.find('>', position);
            // An internal subset is where entities would be declared.
            if (end == std::string_view::npos ||
                text.substr(position, end - position).find('[') != std::string_view::npos)
                return false;
            position = end + 1;
        } else if (tag.starts_with("<!")) {
            return false;
        } else if (tag.starts_with("</")) {
            if (depth == 0 || !skipPast(">"))
                return false;
            --depth;
        } else {
            const auto end = text.find('>', position);
            if (end == std::string_view::npos)
                return false;
            if (++nodes > maximumEntitlementsNodes)
                return false;
            if (text[end - 1] != '/' && ++depth > maximumEntitlementsDepth)
                return false;
            position = end + 1;
        }
    }
    return depth == 0;
}

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 32> digest{};
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr) != 1)
        throw SigningError("SHA-256 is unavailable");
    return digest;
}

bool preadAll(int fd, std::uint8_t* out, std::size_t count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        count -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return true;
}

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path, struct stat& info) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw SigningError("cannot open " + path.string() + ": " + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        throw SigningError(path.string() + " is not a regular file");
    }
    if (static_cast<std::uint64_t>(info.st_size) >
        maximumImageBytes + maximumRecordBytes + signatureTrailerSize) {
        ::close(fd);
        throw SigningError(path.string() + " is larger than an image may be");
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    const bool ok = preadAll(fd, bytes.data(), bytes.size(), 0);
    ::close(fd);
    if (!ok)
        throw SigningError("cannot read " + path.string());
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> encodeSignatureRecord(const CodeSignature& signature) {
    if (signature.identifier.empty() || signature.identifier.size() > maximumIdentifierBytes)
        throw SigningError("the identifier must have 1 to 1024 bytes");
    if (signature.teamIdentifier && (signature.teamIdentifier->empty() ||
                                     signature.teamIdentifier->size() > maximumTeamIdentifierBytes))
        throw SigningError("the team identifier must have 1 to 64 bytes");
    const std::string& entitlements = signature.entitlementsPropertyList;
    if (entitlements.size() > maximumEntitlementsBytes)
        throw SigningError("the entitlements are too large");
    // Whatever is signed must read back.
    if (!entitlements.empty())
        (void)entitlementsFromPropertyList(entitlements);
    if (signature.imageSize > maximumImageBytes)
        throw SigningError("the image is larger than 256 MiB");

    std::vector<std::uint8_t> record;
    putU32(record, signature.flags);
    putU16(record, static_cast<std::uint16_t>(signature.identifier.size()));
    record.insert(record.end(), signature.identifier.begin(), signature.identifier.end());
    const std::string team = signature.teamIdentifier.value_or("");
    putU16(record, static_cast<std::uint16_t>(team.size()));
    record.insert(record.end(), team.begin(), team.end());
    putU32(record, static_cast<std::uint32_t>(entitlements.size()));
    record.insert(record.end(), entitlements.begin(), entitlements.end());
    putU64(record, signature.imageSize);
    record.insert(record.end(), signature.imageHash.begin(), signature.imageHash.end());
    return record;
}

std::optional<CodeSignature> decodeSignatureRecord(std::span<const std::uint8_t> record) {
    if (record.size() > maximumRecordBytes)
        return std::nullopt;
    RecordReader reader(record);
    CodeSignature signature;
    std::uint16_t identifierLength = 0, teamLength = 0;
    std::uint32_t entitlementsLength = 0;
    std::span<const std::uint8_t> bytes;
    if (!reader.u32(signature.flags) || !reader.u16(identifierLength) || identifierLength == 0 ||
        identifierLength > maximumIdentifierBytes || !reader.take(identifierLength, bytes))
        return std::nullopt;
    signature.identifier.assign(bytes.begin(), bytes.end());
    if (!reader.u16(teamLength) || teamLength > maximumTeamIdentifierBytes ||
        !reader.take(teamLength, bytes))
        return std::nullopt;
    if (teamLength > 0)
        signature.teamIdentifier = std::string(bytes.begin(), bytes.end());
    if (!reader.u32(entitlementsLength) || entitlementsLength > maximumEntitlementsBytes ||
        !reader.take(entitlementsLength, bytes))
        return std::nullopt;
    signature.entitlementsPropertyList.assign(bytes.begin(), bytes.end());
    if (!reader.u64(signature.imageSize) || signature.imageSize > maximumImageBytes)
        return std::nullopt;
    if (!reader.take(signature.imageHash.size(), bytes) || !reader.atEnd())
        return std::nullopt;
    std::copy(bytes.begin(), bytes.end(), signature.imageHash.begin());
    return signature;
}

std::array<std::uint8_t, 16> signatureTrailer(std::size_t recordLength) {
    std::array<std::uint8_t, 16> trailer{};
    putU32(trailer.data(), static_cast<std::uint32_t>(recordLength));
    putU32(trailer.data() + 4, signatureFormatVersion);
    std::copy(trailerMagic.begin(), trailerMagic.end(), trailer.begin() + 8);
    return trailer;
}

std::array<std::uint8_t, 20> codeDirectoryHash(std::span<const std::uint8_t> record) {
    const auto digest = sha256(record);
    std::array<std::uint8_t, 20> hash{};
    std::copy_n(digest.begin(), hash.size(), hash.begin());
    return hash;
}

std::string lowercaseHex(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0f]);
    }
    return text;
}

Dictionary entitlementsFromPropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > maximumEntitlementsBytes)
        throw SigningError("the entitlements property list is empty or too large");
    if (!withinEntitlementsBounds(bytes))
        throw SigningError(
            "the entitlements must be an XML property list of at most 1024 elements nested at "
            "most 16 deep");
    plist_t raw = nullptr;
    plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &raw);
    const PlistPtr root(raw);
    if (!root)
        throw SigningError("the entitlements are not a property list");
    auto dictionary = dictionaryFromPlist(static_cast<plist_t>(root.get()), 0);
    if (!dictionary)
        throw SigningError(
            "the entitlements must be a dictionary of Booleans, strings, signed 64-bit integers, "
            "data and dictionaries");
    return *dictionary;
}

std::string entitlementsToPropertyList(const Dictionary& entitlements) {
    const PlistPtr root(plistFromDictionary(entitlements));
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(root.get()), &xml, &length);
    if (xml == nullptr)
        throw SigningError("the entitlements cannot be written");
    std::string text(xml, length);
    plist_to_xml_free(xml);
    return text;
}

SignedImage readSignedImage(int fd) {
    SignedImage result;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return result;
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    result.state = SignedImage::State::unsignedImage;
    result.imageSize = fileSize;
    if (fileSize < signatureTrailerSize)
        return result;

    std::array<std::uint8_t, signatureTrailerSize> trailer{};
    if (!preadAll(fd, trailer.data(), trailer.size(), fileSize - signatureTrailerSize)) {
        result.state = SignedImage::State::unreadable;
        return result;
    }
    if (!std::equal(trailerMagic.begin(), trailerMagic.end(), trailer.begin() + 8))
        return result;

    result.state = SignedImage::State::damaged;
    const std::uint32_t recordLength = getU32(trailer.data());
    if (getU32(trailer.data() + 4) != signatureFormatVersion || recordLength > maximumRecordBytes ||
        recordLength > fileSize - signatureTrailerSize)
        return result;
    result.imageSize = fileSize - signatureTrailerSize - recordLength;
    result.record.resize(recordLength);
    if (!preadAll(fd, result.record.data(), recordLength, result.imageSize)) {
        result.state = SignedImage::State::unreadable;
        return result;
    }
    auto signature = decodeSignatureRecord(result.record);
    // The image is exactly what the signature says it is, or it is not read at all.
    if (!signature || signature->imageSize != result.imageSize)
        return result;
    result.signature = std::move(signature);
    result.state = SignedImage::State::signedImage;
    return result;
}

std::optional<std::array<std::uint8_t, 32>> hashImage(int fd, std::uint64_t imageSize) {
    if (imageSize > maximumImageBytes)
        return std::nullopt;
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;
    std::vector<std::uint8_t> buffer(1 << 16);
    std::uint64_t offset = 0;
    while (offset < imageSize) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), imageSize - offset));
        if (!preadAll(fd, buffer.data(), chunk, offset))
            return std::nullopt;
        if (EVP_DigestUpdate(context.get(), buffer.data(), chunk) != 1)
            return std::nullopt;
        offset += chunk;
    }
    std::array<std::uint8_t, 32> digest{};
    if (EVP_DigestFinal_ex(context.get(), digest.data(), nullptr) != 1)
        return std::nullopt;
    return digest;
}

std::vector<std::uint8_t> signFile(const std::filesystem::path& path,
                                   const SigningRequest& request) {
    struct stat info {};
    std::vector<std::uint8_t> bytes = readWholeFile(path, info);

    // Strip an existing signature so that re-signing replaces it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw SigningError("cannot open " + path.string());
    const SignedImage existing = readSignedImage(fd);
    ::close(fd);
    if (existing.state == SignedImage::State::damaged ||
        existing.state == SignedImage::State::unreadable)
        throw SigningError(path.string() + " carries a damaged signature");
    bytes.resize(static_cast<std::size_t>(existing.imageSize));

    CodeSignature signature;
    signature.identifier = request.identifier;
    signature.flags = request.flags;
    if (!request.entitlements.empty())
        signature.entitlementsPropertyList = entitlementsToPropertyList(request.entitlements);
    signature.teamIdentifier = request.teamIdentifier;
    signature.imageSize = bytes.size();
    signature.imageHash = sha256(bytes);
    const std::vector<std::uint8_t> record = encodeSignatureRecord(signature);
    const auto trailer = signatureTrailer(record.size());
    bytes.insert(bytes.end(), record.begin(), record.end());
    bytes.insert(bytes.end(), trailer.begin(), trailer.end());

    std::filesystem::path temporary = path;
    temporary += ".signing";
    const int out =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0)
        throw SigningError("cannot create " + temporary.string() + ": " + std::strerror(errno));
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t got = ::write(out, bytes.data() + written, bytes.size() - written);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        written += static_cast<std::size_t>(got);
    }
    const bool complete =
        written == bytes.size() && ::fchmod(out, info.st_mode & 07777) == 0 && ::fsync(out) == 0;
    const bool closed = ::close(out) == 0;
    if (!complete || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        throw SigningError("cannot write " + path.string());
    }
    return record;
}

}  // namespace platform::security
