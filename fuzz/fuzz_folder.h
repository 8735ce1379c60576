#pragma once
// A scratch folder of this fuzzing process's own.

#include <unistd.h>

#include <filesystem>
#include <string>

inline std::filesystem::path FuzzFolder() {
  static const std::filesystem::path folder = [] {
    auto p = std::filesystem::temp_directory_path() / ("sealdoor-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return folder;
}
