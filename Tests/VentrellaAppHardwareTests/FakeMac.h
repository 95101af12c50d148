#pragma once

#include <bit>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "Support/FakeSMCKeyReader.h"
#include "Ventrella/Hardware/SMCReadClient.h"
#include "VentrellaHardware/ProcessorTemperatureSample.h"

namespace ventrella::apphardware::fixtures {

inline std::vector<std::uint8_t> fltBytes(float value) {
    const auto raw = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

// A reader of the same store that cannot list keys.
class NonEnumeratingReader : public smc::SMCKeyReading {
  public:
    explicit NonEnumeratingReader(std::shared_ptr<fakes::FakeSMCKeyReader> store)
        : store_(std::move(store)) {}
    smc::SMCKeyValue readKey(const std::string& key) override { return store_->readKey(key); }

  private:
    std::shared_ptr<fakes::FakeSMCKeyReader> store_;
};

// A Mac made of fakes: one SMC key store that every opened reader shares, the identity, and
// the HID samples. The clients it makes refer to it and must not outlive it.
struct FakeMac {
    struct Fan {
        float minimumRPM = 1200;
        float maximumRPM = 5800;
    };

    std::string brand = "Apple M3 Pro";
    std::string model = "Mac15,6";
    std::shared_ptr<fakes::FakeSMCEnumeratingReader> smc =
        std::make_shared<fakes::FakeSMCEnumeratingReader>();
    bool readersEnumerate = true;
    std::exception_ptr openError;  // thrown by every open when set
    std::vector<hardware::ProcessorTemperatureSample> hidSamples;
    int opens = 0;
    int hidReads = 0;

    SMCReadClient client() {
        return SMCReadClient(
            [this]() -> std::shared_ptr<smc::SMCKeyReading> {
                ++opens;
                if (openError) {
                    std::rethrow_exception(openError);
                }
                if (readersEnumerate) {
                    return smc;
                }
                return std::make_shared<NonEnumeratingReader>(smc);
            },
            [this] { return brand; }, [this] { return model; },
            [this] {
                ++hidReads;
                return hidSamples;
            });
    }

    // The fans with "flt " speeds and, unless `modeFormat` is empty, per-fan mode keys in
    // automatic mode.
    void setFans(const std::vector<Fan>& fans, const std::string& modeFormat = "F%dmd") {
        smc->set("FNum", "ui8 ", {static_cast<std::uint8_t>(fans.size())});
        for (std::size_t id = 0; id < fans.size(); ++id) {
            const auto prefix = "F" + std::to_string(id);
            smc->set(prefix + "Ac", "flt ", fltBytes(2000));
            smc->set(prefix + "Mn", "flt ", fltBytes(fans[id].minimumRPM));
            smc->set(prefix + "Mx", "flt ", fltBytes(fans[id].maximumRPM));
            smc->set(prefix + "Tg", "flt ", fltBytes(2000));
            if (!modeFormat.empty()) {
                auto key = modeFormat;
                key.replace(key.find("%d"), 2, std::to_string(id));
                smc->set(key, "ui8 ", {0});
            }
        }
    }

    void setTemperature(const std::string& key, float celsius) {
        smc->set(key, "flt ", fltBytes(celsius));
    }

    // How often `key` was read so far.
    std::size_t readsOf(const std::string& key) const {
        std::size_t count = 0;
        for (const auto& read : smc->reads) {
            count += read == key ? 1 : 0;
        }
        return count;
    }
};

}  // namespace ventrella::apphardware::fixtures
