#pragma once

#include <QObject>
#include <QUrl>
#include <QVariantMap>
#include <memory>

namespace ventrella::shell {

// What the popover shows at one opening: a new tree of the QML component `source` (its root an
// Item), created with `properties` as its initial (required) properties. `owned` lives exactly as
// long as that tree: typically the presenter holding the opening's own view state, which the
// tree binds to through one of `properties`.
struct PopoverContent {
    QUrl source;
    QVariantMap properties;
    std::unique_ptr<QObject> owned;
};

// Makes the content of each opening; called on the GUI thread, once per opening.
class PopoverContentProvider {
  public:
    virtual ~PopoverContentProvider() = default;
    virtual PopoverContent makeContent() = 0;
};

}  // namespace ventrella::shell
