#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Platform/IOKit/InProcessBackend.h"
#include "SMCKit/SMCError.h"
#include "SMCKit/SMCParamStruct.h"
#include "Support/ScopedCapturingLogBackend.h"
#include "VentrellaHardware/SMCKeyEnumerator.h"

namespace ventrella::hardware {
namespace {

namespace iokit = platform::iokit;
using smc::SMCParamStruct;

// An SMC whose "#KEY" answer and whose index records are scripted one by one, so that
// out-of-range counts, duplicates, refused indices and non-ASCII names can be served.
class ScriptedIndexSMC final : public iokit::UserClientDevice {
  public:
    struct IndexAnswer {
        std::uint32_t key = 0;
        std::uint8_t result = 0;
        iokit::KernReturn kernReturn = iokit::kernSuccess;
        std::size_t replyBytes = 80;  // fewer: a short record, the rest never written
    };

    std::vector<std::uint8_t> countBytes;  // empty: the SMC has no "#KEY"
    std::vector<IndexAnswer> answers;
    std::vector<std::uint32_t> indexCalls;
    std::set<iokit::ClientID> openClients;
    iokit::KernReturn openResult = iokit::kernSuccess;

    void countKeys(std::uint32_t count) {
        countBytes = {static_cast<std::uint8_t>(count >> 24),
                      static_cast<std::uint8_t>(count >> 16), static_cast<std::uint8_t>(count >> 8),
                      static_cast<std::uint8_t>(count)};
    }

    std::string_view serviceClass() const override { return "AppleSMC"; }
    iokit::KernReturn openClient(std::uint32_t, iokit::ClientID& client) override {
        if (openResult != iokit::kernSuccess) {
            return openResult;
        }
        client = nextClient_++;
        openClients.insert(client);
        return iokit::kernSuccess;
    }
    iokit::KernReturn closeClient(iokit::ClientID client) override {
        openClients.erase(client);
        return iokit::kernSuccess;
    }
    iokit::KernReturn callStructMethod(iokit::ClientID, std::uint32_t selector,
                                       std::span<const std::uint8_t> input,
                                       std::span<std::uint8_t> output,
                                       std::size_t& outputSize) override {
        if (selector != 2 || input.size() != 80 || output.size() < 80) {
            return iokit::ioReturnBadArgument;
        }
        SMCParamStruct request{};
        std::memcpy(&request, input.data(), 80);
        SMCParamStruct reply{};
        std::size_t replyBytes = 80;
        const bool countKey = request.key == 0x234B4559;  // "#KEY"
        switch (request.data8) {
            case 9:
                if (!countKey || countBytes.empty()) {
                    reply.result = 0x84;
                    break;
                }
                reply.keyInfo.dataSize = static_cast<std::uint32_t>(countBytes.size());
                reply.keyInfo.dataType = 0x75693332;  // "ui32"
                break;
            case 5:
                std::copy(countBytes.begin(), countBytes.end(), reply.bytes.begin());
                break;
            case 8: {
                indexCalls.push_back(request.data32);
                if (request.data32 >= answers.size()) {
                    reply.result = 0x89;
                    break;
                }
                const auto& answer = answers[request.data32];
                if (answer.kernReturn != iokit::kernSuccess) {
                    return answer.kernReturn;
                }
                reply.key = answer.key;
                reply.result = answer.result;
                replyBytes = answer.replyBytes;
                break;
            }
            default:
                reply.result = 0x82;
        }
        std::memcpy(output.data(), &reply, replyBytes);
        outputSize = replyBytes;
        return iokit::kernSuccess;
    }

  private:
    iokit::ClientID nextClient_ = 1;
};

std::uint32_t code(const char (&name)[5]) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(name[2])) << 8 |
           static_cast<std::uint8_t>(name[3]);
}

class SMCKeyEnumeratorTests : public ::testing::Test {
  protected:
    std::shared_ptr<ScriptedIndexSMC> smc = std::make_shared<ScriptedIndexSMC>();
    iokit::ScopedInProcessDevice installed{smc};
};

TEST_F(SMCKeyEnumeratorTests, ListsEachReadableASCIIKeyOnceInOrdinalOrder) {
    smc->answers = {
        {code("TC0P")},
        {code("FNum")},
        {code("f0md")},
        {code("F0Md")},
        {0xC3A94142},                                     // not ASCII
        {code("FNum")},                                   // a duplicate
        {code("Ftst"), 0x84},                             // refused by the firmware
        {code("F9Ac"), 0, iokit::ioReturnNotPrivileged},  // refused by IOKit
        {code("TS0P"), 0x84, iokit::kernSuccess, 40},     // its result byte never arrived
        {code("#KEY")},
    };
    smc->countKeys(static_cast<std::uint32_t>(smc->answers.size()));
    testsupport::ScopedCapturingLogBackend log;
    SMCKeyEnumerator enumerator;
    EXPECT_EQ(enumerator.enumerateKeys(),
              (std::vector<std::string>{"#KEY", "F0Md", "FNum", "TC0P", "f0md"}));
    EXPECT_EQ(smc->indexCalls.size(), smc->answers.size());
    // The only lines are those of the connection that read "#KEY".
    for (const auto& line : log.lines()) {
        EXPECT_EQ(line.category, "SMCConnection") << line.text;
    }
}

TEST_F(SMCKeyEnumeratorTests, AnUnusableCountGivesNoKeysWithoutIndexCalls) {
    smc->answers = {{code("FNum")}};
    SMCKeyEnumerator enumerator;
    for (const std::uint32_t count : {0U, 65537U, 0xFFFFFFFFU}) {
        SCOPED_TRACE(count);
        smc->countKeys(count);
        EXPECT_TRUE(enumerator.enumerateKeys().empty());
    }
    smc->countBytes = {0, 1};  // a count of the wrong size
    EXPECT_TRUE(enumerator.enumerateKeys().empty());
    smc->countBytes.clear();  // no "#KEY" at all
    EXPECT_TRUE(enumerator.enumerateKeys().empty());
    EXPECT_TRUE(smc->indexCalls.empty());

    // The bounds themselves are usable counts.
    smc->countKeys(1);
    EXPECT_EQ(enumerator.enumerateKeys(), (std::vector<std::string>{"FNum"}));
    smc->countKeys(65536);
    smc->indexCalls.clear();
    EXPECT_EQ(enumerator.enumerateKeys(), (std::vector<std::string>{"FNum"}));
    EXPECT_EQ(smc->indexCalls.size(), 65536U);
}

TEST_F(SMCKeyEnumeratorTests, OwnsItsUserClient) {
    smc->countKeys(0);
    {
        SMCKeyEnumerator enumerator;
        EXPECT_EQ(smc->openClients.size(), 1U);
        enumerator.enumerateKeys();
        // The connection that read the count is closed again.
        EXPECT_EQ(smc->openClients.size(), 1U);
    }
    EXPECT_TRUE(smc->openClients.empty());

    smc->openResult = iokit::ioReturnExclusiveAccess;
    EXPECT_THROW(SMCKeyEnumerator(), smc::SMCError);
    try {
        SMCKeyEnumerator enumerator;
    } catch (const smc::SMCError& error) {
        EXPECT_EQ(error, smc::SMCError::connectionFailed());
    }
}

TEST(SMCKeyEnumeratorWithoutSMCTests, FailsToOpen) {
    EXPECT_THROW(SMCKeyEnumerator(), smc::SMCError);
}

}  // namespace
}  // namespace ventrella::hardware
