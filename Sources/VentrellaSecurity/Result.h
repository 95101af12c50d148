#pragma once

#include <utility>
#include <variant>

namespace ventrella::security {

// A success value or a failure value; neither is ever thrown.
template <typename Success, typename Failure>
class Result {
  public:
    static Result success(Success value) {
        return Result(std::in_place_index<0>, std::move(value));
    }
    static Result failure(Failure value) {
        return Result(std::in_place_index<1>, std::move(value));
    }

    bool isSuccess() const { return storage_.index() == 0; }
    const Success& value() const { return std::get<0>(storage_); }
    const Failure& error() const { return std::get<1>(storage_); }

    bool operator==(const Result&) const = default;

  private:
    template <std::size_t Index, typename Value>
    Result(std::in_place_index_t<Index> index, Value&& value)
        : storage_(index, std::forward<Value>(value)) {}

    std::variant<Success, Failure> storage_;
};

// The success of an operation that yields nothing.
struct Success {
    bool operator==(const Success&) const = default;
};

}  // namespace ventrella::security
