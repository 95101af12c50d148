#pragma once

#include <filesystem>
#include <optional>

namespace virtualmac {

// The bundle of the program on the other side of a connected Unix socket: the folder that
// encloses the executable its process runs ("X.app" for "X.app/Contents/MacOS/name", the
// executable's own folder otherwise), as an absolute path without links. The process is the one
// the kernel recorded when the peer connected, pinned by a pidfd, so that a process id reused
// since cannot lend it another program's bundle. Nothing when that process is gone, or when the
// path the kernel gives for its executable does not lead here to that very file (a file deleted
// or replaced since, or one under a mount only the peer sees).
std::optional<std::filesystem::path> peerBundle(int socketDescriptor);

}  // namespace virtualmac
