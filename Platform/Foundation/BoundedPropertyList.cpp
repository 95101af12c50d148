#include "Platform/Foundation/BoundedPropertyList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <vector>

namespace platform::foundation {

namespace {

constexpr std::size_t kMaximumDepth = 128;
constexpr std::uint64_t kMaximumExpandedValues = 65536;
constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::size_t kTrailerSize = 32;

// The object table of a binary property list, read only as far as needed to see its shape:
// which objects each container refers to.
class BinaryShape {
  public:
    explicit BinaryShape(std::string_view bytes) : bytes_(bytes) {}

    // True when the trailer and offset table are consistent and every object reached from the
    // top one is a tree of bounded depth and size once references are followed.
    bool acceptable() {
        if (bytes_.size() < kBinaryMagic.size() + kTrailerSize) {
            return false;
        }
        const std::size_t trailer = bytes_.size() - kTrailerSize;
        offsetSize_ = byteAt(trailer + 6);
        referenceSize_ = byteAt(trailer + 7);
        const std::uint64_t objects = number(trailer + 8, 8);
        const std::uint64_t top = number(trailer + 16, 8);
        tableOffset_ = number(trailer + 24, 8);
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8 ||
            objects == 0 || top >= objects || tableOffset_ < kBinaryMagic.size() ||
            tableOffset_ > trailer || objects > (trailer - tableOffset_) / offsetSize_) {
            return false;
        }
        objectCount_ = static_cast<std::size_t>(objects);
        return walk(static_cast<std::size_t>(top));
    }

  private:
    struct Container {
        std::size_t firstReference = 0;  // where its references start
        std::uint64_t references = 0;
    };

    enum class State : std::uint8_t { unvisited, open, done };

    struct Frame {
        std::size_t object;
        Container container;
        std::uint64_t next = 0;
        std::uint64_t values = 1;
        std::size_t depth = 1;
    };

    std::uint8_t byteAt(std::size_t offset) const {
        return static_cast<std::uint8_t>(bytes_[offset]);
    }

    std::uint64_t number(std::size_t offset, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t index = 0; index < size; ++index) {
            value = value << 8 | byteAt(offset + index);
        }
        return value;
    }

    // The object's start, or nothing when the table points outside the object area.
    std::optional<std::size_t> objectOffset(std::size_t object) const {
        const std::uint64_t offset =
            number(static_cast<std::size_t>(tableOffset_) + object * offsetSize_, offsetSize_);
        if (offset < kBinaryMagic.size() || offset >= tableOffset_) {
            return std::nullopt;
        }
        return static_cast<std::size_t>(offset);
    }

    // Arrays, sets and dictionaries refer to other objects; every other object is a leaf
    // (no references). Nothing when the object does not fit the object area.
    std::optional<Container> containerAt(std::size_t object) const {
        const auto offset = objectOffset(object);
        if (!offset) {
            return std::nullopt;
        }
        const std::uint8_t marker = byteAt(*offset);
        const unsigned type = marker >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) {
            return Container{};
        }
        std::uint64_t count = marker & 0x0F;
        std::size_t position = *offset + 1;
        if (count == 0x0F) {
            // The count follows as an integer object of 1, 2, 4 or 8 bytes.
            if (position >= tableOffset_ || (byteAt(position) & 0xF0) != 0x10 ||
                (byteAt(position) & 0x0F) > 3) {
                return std::nullopt;
            }
            const std::size_t size = std::size_t{1} << (byteAt(position) & 0x0F);
            if (position + 1 + size > tableOffset_) {
                return std::nullopt;
            }
            count = number(position + 1, size);
            position += 1 + size;
        }
        const std::uint64_t available = (tableOffset_ - position) / referenceSize_;
        const std::uint64_t references = type == 0xD ? count * 2 : count;
        if (count > available || references > available) {
            return std::nullopt;
        }
        return Container{position, references};
    }

    // Depth-first over the references, on a stack of our own: a shared object's expanded size
    // is counted once per reference, so a deep chain of shared objects is caught before any
    // parser expands it.
    bool walk(std::size_t top) {
        std::vector<State> states(objectCount_, State::unvisited);
        std::vector<std::uint64_t> expanded(objectCount_, 0);
        std::vector<std::size_t> depths(objectCount_, 0);
        std::vector<Frame> stack;
        auto open = [&](std::size_t object) {
            const auto container = containerAt(object);
            if (!container || stack.size() >= kMaximumDepth) {
                return false;
            }
            states[object] = State::open;
            stack.push_back(Frame{object, *container});
            return true;
        };
        if (!open(top)) {
            return false;
        }
        while (!stack.empty()) {
            Frame& frame = stack.back();
            if (frame.next == frame.container.references) {
                states[frame.object] = State::done;
                expanded[frame.object] = frame.values;
                depths[frame.object] = frame.depth;
                const Frame finished = frame;
                stack.pop_back();
                if (!stack.empty() && !addChild(stack.back(), finished.values, finished.depth)) {
                    return false;
                }
                continue;
            }
            const std::uint64_t child = number(
                frame.container.firstReference + frame.next * referenceSize_, referenceSize_);
            ++frame.next;
            if (child >= objectCount_) {
                return false;
            }
            const auto index = static_cast<std::size_t>(child);
            switch (states[index]) {
                case State::open:
                    return false;  // a cycle
                case State::done:
                    if (!addChild(frame, expanded[index], depths[index])) {
                        return false;
                    }
                    break;
                case State::unvisited:
                    if (!open(index)) {
                        return false;
                    }
                    break;
            }
        }
        return true;
    }

    static bool addChild(Frame& parent, std::uint64_t values, std::size_t depth) {
        parent.values += values;
        parent.depth = std::max(parent.depth, depth + 1);
        return parent.values <= kMaximumExpandedValues && parent.depth <= kMaximumDepth;
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::size_t objectCount_ = 0;
};

}  // namespace

PropertyListPtr parseBoundedPropertyList(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > kMaximumPropertyListBytes) {
        return nullptr;
    }
    if (bytes.starts_with(kBinaryMagic) && !BinaryShape(bytes).acceptable()) {
        return nullptr;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    return PropertyListPtr(root);
}

std::string binaryPropertyList(plist_t root) {
    char* data = nullptr;
    std::uint32_t length = 0;
    plist_to_bin(root, &data, &length);
    if (data == nullptr) {
        throw std::runtime_error("the property list cannot be written in binary form");
    }
    std::string bytes(data, length);
    plist_to_bin_free(data);
    return bytes;
}

}  // namespace platform::foundation
