// The privileged helper: "--restore-automatic" restores Apple Automatic once; anything else runs
// the daemon that serves the application's four requests.

#include <iostream>
#include <string>
#include <vector>

#include "Platform/XPC/Signals.h"
#include "VentrellaHelper/HelperDaemon.h"
#include "VentrellaHelper/HelperLogFile.h"

int main(int argc, char** argv) {
    // A reply to a client that has gone away must never end the helper.
    platform::xpc::ignoreSIGPIPE();
    ventrella::applog::installLogBackend(ventrella::helper::HelperLogFile::backend());
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return ventrella::helper::liveHelperEntry().run(arguments, std::cout, std::cerr);
}
