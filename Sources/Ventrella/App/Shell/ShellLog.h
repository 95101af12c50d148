#pragma once

#include "AppLog/AppLog.h"

namespace ventrella::shell {

// The application shell's log: subsystem "com.quillmoor.Ventrella", category "MenuBar".
const applog::AppLog::Channel& shellLog();

}  // namespace ventrella::shell
