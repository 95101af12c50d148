#include "Ventrella/App/Shell/ShellLog.h"

namespace ventrella::shell {

const applog::AppLog::Channel& shellLog() {
    static const applog::AppLog::Channel channel("com.quillmoor.Ventrella", "MenuBar");
    return channel;
}

}  // namespace ventrella::shell
