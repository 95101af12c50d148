#pragma once

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace platform::foundation {

// Why a line exchange over a Unix socket failed.
class LineExchangeError : public std::runtime_error {
  public:
    enum class Kind {
        unreachable,  // nothing listens on the socket (or its path is too long)
        refused,      // the socket's permissions keep this user out
        noAnswer      // the peer closed, timed out or sent more than the bound without a line
    };
    LineExchangeError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

  private:
    Kind kind_;
};

// Connects to the Unix stream socket, sends `line` followed by a line feed and returns the
// first line of the answer, without its line feed. Every send and receive waits at most
// `timeoutSeconds`; an answer longer than `maximumAnswerBytes` counts as none.
std::string exchangeLine(const std::filesystem::path& socket, std::string_view line,
                         double timeoutSeconds, std::size_t maximumAnswerBytes = 4 << 20);

}  // namespace platform::foundation
