#pragma once

#include <filesystem>
#include <string>

#include "Platform/VirtualMac/DaemonSupervisor.h"

namespace virtualmac {

// Whether `plistName` names a file of that folder and nothing beyond it.
bool isPropertyListName(const std::string& plistName);

// Where an application bundle keeps the property list of a daemon it registers.
std::filesystem::path bundledDaemonPropertyList(const std::filesystem::path& bundle,
                                                const std::string& plistName);

// Reads a daemon property list shipped inside an application bundle: `Label` and
// `BundleProgram`, the program's path relative to the bundle (which must stay inside it), with
// optional `ProgramArguments` whose first entry the program replaces. Throws
// DaemonDefinitionError naming the file and the problem.
DaemonDefinition readBundledDaemonPropertyList(const std::filesystem::path& bundle,
                                               const std::string& plistName);

}  // namespace virtualmac
