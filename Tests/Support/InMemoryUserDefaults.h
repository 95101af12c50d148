#pragma once

#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Foundation/UserDefaultsError.h"

namespace ventrella::fakes {

// User defaults in a map. `failNextWrite` makes the next setData throw and keep the old value,
// as a failed write of the real store does; `writes` counts the calls of setData.
class InMemoryUserDefaults : public platform::foundation::UserDefaults {
  public:
    std::map<std::string, std::string, std::less<>> values;
    int writes = 0;

    template <class Error = platform::foundation::UserDefaultsError>
    void failNextWrite(Error error = platform::foundation::UserDefaultsError::writeFailed(
                           "fake.plist", std::make_error_code(std::errc::read_only_file_system))) {
        writeErrors_.push_back(std::make_exception_ptr(std::move(error)));
    }

    std::optional<std::string> data(std::string_view key) const override {
        const auto found = values.find(key);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }

    void setData(std::string_view key, std::string_view bytes) override {
        ++writes;
        if (!writeErrors_.empty()) {
            auto error = writeErrors_.front();
            writeErrors_.pop_front();
            std::rethrow_exception(error);
        }
        values.insert_or_assign(std::string(key), std::string(bytes));
    }

  private:
    std::deque<std::exception_ptr> writeErrors_;
};

}  // namespace ventrella::fakes
