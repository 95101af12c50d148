#pragma once

#include <utility>

#include "Ventrella/App/Model/PublishedField.h"
#include "Ventrella/App/Model/WillChangeNotifier.h"

namespace ventrella::model {

// One published field of the model: every set() first announces the change through the
// notifier, then writes. Reading never announces anything.
template <class T>
class Published {
  public:
    Published(PublishedField field, const WillChangeNotifier& notifier, T initial)
        : field_(field), notifier_(&notifier), value_(std::move(initial)) {}

    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& get() const { return value_; }

    void set(T value) {
        notifier_->notify(field_);
        value_ = std::move(value);
    }

  private:
    PublishedField field_;
    const WillChangeNotifier* notifier_;
    T value_;
};

}  // namespace ventrella::model
