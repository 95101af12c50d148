#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace ventrella::testsupport {

// Every byte of a file; empty when it cannot be read (the test then fails on what it expected
// to find in it).
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace ventrella::testsupport
