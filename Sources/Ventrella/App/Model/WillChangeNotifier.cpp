#include "Ventrella/App/Model/WillChangeNotifier.h"

#include <utility>
#include <vector>

namespace ventrella::model {

WillChangeSubscription WillChangeNotifier::subscribe(Observer observer) {
    const std::uint64_t id = next_++;
    observers_.emplace(id, std::move(observer));
    return {id};
}

void WillChangeNotifier::unsubscribe(WillChangeSubscription subscription) {
    observers_.erase(subscription.value);
}

void WillChangeNotifier::notify(PublishedField field) const {
    // A copy, so that an observer may (un)subscribe while it runs.
    std::vector<Observer> observers;
    observers.reserve(observers_.size());
    for (const auto& [id, observer] : observers_) {
        observers.push_back(observer);
    }
    for (const auto& observer : observers) {
        observer(field);
    }
}

}  // namespace ventrella::model
