#pragma once

#include <atomic>

#include "Platform/Workspace/SystemSettingsOpener.h"

namespace ventrella::fakes {

// Counts the requests to open the Login Items pane.
class FakeSystemSettingsOpener : public platform::workspace::SystemSettingsOpener {
  public:
    void openLoginItems() override { loginItemsOpened.fetch_add(1); }

    std::atomic<int> loginItemsOpened{0};
};

}  // namespace ventrella::fakes
