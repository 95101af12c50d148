#pragma once

#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "Platform/Dispatch/Task.h"
#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::testsupport {

// What an awaited task gave: its value or its exception, and how often the awaiting task went
// on (once, or never while it waits).
template <class T>
struct AwaitedOutcome {
    std::optional<T> value;
    std::exception_ptr failure;
    int resumptions = 0;

    bool finished() const { return resumptions > 0; }

    // The English text of a VentrellaError; any other exception is named as unexpected.
    std::string errorText() const {
        if (!failure) {
            return {};
        }
        try {
            std::rethrow_exception(failure);
        } catch (const core::VentrellaError& error) {
            return error.text();
        } catch (const std::exception& error) {
            return std::string("unexpected exception: ") + error.what();
        } catch (...) {
            return "unexpected exception";
        }
    }
};

// Spawn it on a TaskScope: awaits task and notes the outcome.
template <class T>
platform::dispatch::Task<void> awaitInto(platform::dispatch::Task<T> task,
                                         AwaitedOutcome<T>* outcome) {
    try {
        T value = co_await std::move(task);
        outcome->value.emplace(std::move(value));
    } catch (...) {
        outcome->failure = std::current_exception();
    }
    ++outcome->resumptions;
}

}  // namespace ventrella::testsupport
