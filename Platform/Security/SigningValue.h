#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace platform::security {

struct Value;

using Data = std::vector<std::uint8_t>;
// String-keyed, as every dictionary the signing layer hands out.
using Dictionary = std::map<std::string, Value, std::less<>>;

struct Number {
    std::int64_t value = 0;
    bool operator==(const Number&) const = default;
};

// One typed value of a signing-information dictionary. Callers must check the
// type they expect, since a dictionary may carry any of them under any key.
struct Value {
    using Storage = std::variant<std::string, Data, Number, Dictionary, bool>;

    Value() = default;
    Value(std::string text) : storage(std::move(text)) {}
    Value(const char* text) : storage(std::string(text)) {}
    Value(Data bytes) : storage(std::move(bytes)) {}
    Value(Number number) : storage(number) {}
    Value(Dictionary dictionary) : storage(std::move(dictionary)) {}
    Value(bool flag) : storage(flag) {}

    const std::string* string() const { return std::get_if<std::string>(&storage); }
    const Data* data() const { return std::get_if<Data>(&storage); }
    const Number* number() const { return std::get_if<Number>(&storage); }
    const Dictionary* dictionary() const { return std::get_if<Dictionary>(&storage); }
    const bool* boolean() const { return std::get_if<bool>(&storage); }

    bool operator==(const Value&) const = default;

    Storage storage;
};

}  // namespace platform::security
