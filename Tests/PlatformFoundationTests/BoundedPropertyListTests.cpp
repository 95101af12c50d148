#include "Platform/Foundation/BoundedPropertyList.h"
#include "Platform/Foundation/InfoDictionary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using platform::foundation::binaryPropertyList;
using platform::foundation::kMaximumPropertyListBytes;
using platform::foundation::parseBoundedPropertyList;
using platform::foundation::PropertyListPtr;

namespace {

// A binary property list laid out by hand: two-byte references and four-byte offsets.
// Each object is an array of the objects named in `references` (empty: an empty array).
std::string binaryArrays(const std::vector<std::vector<std::uint16_t>>& references) {
    std::string bytes = "bplist00";
    std::vector<std::uint32_t> offsets;
    for (const auto& children : references) {
        offsets.push_back(static_cast<std::uint32_t>(bytes.size()));
        if (children.size() < 15) {
            bytes += static_cast<char>(0xA0 | children.size());
        } else {
            bytes += '\xAF';
            bytes += '\x11';  // a two-byte integer count follows
            bytes += static_cast<char>(children.size() >> 8);
            bytes += static_cast<char>(children.size() & 0xff);
        }
        for (const std::uint16_t child : children) {
            bytes += static_cast<char>(child >> 8);
            bytes += static_cast<char>(child & 0xff);
        }
    }
    const std::uint64_t table = bytes.size();
    for (const std::uint32_t offset : offsets) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes += static_cast<char>(offset >> shift);
        }
    }
    std::string trailer(32, '\0');
    trailer[6] = 4;
    trailer[7] = 2;
    const std::uint64_t count = references.size();
    for (int index = 0; index < 8; ++index) {
        trailer[8 + index] = static_cast<char>(count >> (56 - 8 * index));
        trailer[24 + index] = static_cast<char>(table >> (56 - 8 * index));
    }
    return bytes + trailer;
}

// Object i refers to object i + 1, `depth` objects deep.
std::vector<std::vector<std::uint16_t>> chain(std::uint16_t depth) {
    std::vector<std::vector<std::uint16_t>> objects;
    for (std::uint16_t index = 0; index + 1 < depth; ++index) {
        objects.push_back({static_cast<std::uint16_t>(index + 1)});
    }
    objects.push_back({});
    return objects;
}

}  // namespace

TEST(BoundedPropertyList, ReadsWhatItWritesAndOrdinaryXML) {
    PropertyListPtr dictionary(plist_new_dict());
    plist_dict_set_item(dictionary.get(), "key", plist_new_data("\x00\x01", 2));
    const auto parsed = parseBoundedPropertyList(binaryPropertyList(dictionary.get()));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(plist_get_node_type(parsed.get()), PLIST_DICT);
    EXPECT_TRUE(parseBoundedPropertyList("<plist version=\"1.0\"><dict/></plist>"));
    EXPECT_TRUE(parseBoundedPropertyList(binaryArrays(chain(100))));
}

// Each of these would make the parser recurse until the stack ends, loop, or build billions
// of values out of a few hundred bytes.
TEST(BoundedPropertyList, RefusesBinaryListsThatNestTooDeepRepeatOrExpandBeyondTheBound) {
    std::vector<std::vector<std::uint16_t>> doubling;
    for (std::uint16_t index = 0; index < 40; ++index) {
        doubling.push_back(
            {static_cast<std::uint16_t>(index + 1), static_cast<std::uint16_t>(index + 1)});
    }
    doubling.push_back({});
    std::vector<std::vector<std::uint16_t>> wide(1, std::vector<std::uint16_t>(300, 1));
    wide.push_back(std::vector<std::uint16_t>(300, 2));
    wide.push_back({});

    auto cyclic = chain(10);
    cyclic.back() = {0};
    auto outside = chain(3);
    outside[1] = {7};
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"a chain 200 deep", binaryArrays(chain(200))},
        {"2^40 values from 41 objects", binaryArrays(doubling)},
        {"90000 values from 3 objects", binaryArrays(wide)},
        {"a cycle", binaryArrays(cyclic)},
        {"a reference to no object", binaryArrays(outside)},
        {"a trailer only", std::string("bplist00") + std::string(32, '\0')},
        {"too large", std::string(kMaximumPropertyListBytes + 1, ' ')},
        {"empty", ""},
    };
    for (const auto& [name, bytes] : cases) {
        EXPECT_FALSE(parseBoundedPropertyList(bytes)) << name;
        // An Info.plist is read within the same bounds.
        EXPECT_TRUE(platform::foundation::InfoDictionary::parse(bytes).empty()) << name;
    }
}

TEST(BoundedPropertyList, SurvivesTheDeepestXMLThatFitsTheSizeBound) {
    const std::string open = "<array>";
    const std::string close = "</array>";
    const std::string head = "<plist>";
    const std::string tail = "</plist>";
    const std::size_t depth =
        (kMaximumPropertyListBytes - head.size() - tail.size()) / (open.size() + close.size());
    std::string text = head;
    for (std::size_t level = 0; level < depth; ++level) {
        text += open;
    }
    for (std::size_t level = 0; level < depth; ++level) {
        text += close;
    }
    text += tail;
    ASSERT_LE(text.size(), kMaximumPropertyListBytes);
    const auto parsed = parseBoundedPropertyList(text);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(plist_get_node_type(parsed.get()), PLIST_ARRAY);
}
