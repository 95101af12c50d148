#pragma once

namespace platform::workspace {

// Opens panes of the system's settings for the user.
class SystemSettingsOpener {
  public:
    virtual ~SystemSettingsOpener() = default;
    // Shows the Login Items pane, where the user approves background items. Reports nothing,
    // like the system's own call: the user sees the pane or does not.
    virtual void openLoginItems() = 0;
};

}  // namespace platform::workspace
