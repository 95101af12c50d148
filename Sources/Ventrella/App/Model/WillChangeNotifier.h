#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "Ventrella/App/Model/PublishedField.h"

namespace ventrella::model {

// Names one subscription, for unsubscribe.
struct WillChangeSubscription {
    std::uint64_t value = 0;
    bool operator==(const WillChangeSubscription&) const = default;
};

// Tells its observers that a published field is about to be written. Every write is announced,
// whether or not the value differs; the field still holds its old value while the observers
// run. An observer must not change the model; a view bridge notes the field and reads the new
// value on a later turn of its loop.
//
// Main thread only. Observers may subscribe and unsubscribe while being notified; a change
// made during a notification takes effect from the next one.
class WillChangeNotifier {
  public:
    using Observer = std::function<void(PublishedField)>;

    WillChangeSubscription subscribe(Observer observer);
    // Unknown subscriptions are ignored.
    void unsubscribe(WillChangeSubscription subscription);

    void notify(PublishedField field) const;

    std::size_t observerCount() const { return observers_.size(); }

  private:
    std::map<std::uint64_t, Observer> observers_;
    std::uint64_t next_ = 1;
};

}  // namespace ventrella::model
