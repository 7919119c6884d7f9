#include "foundation/system_test_support.h"

#include <filesystem>
#include <random>
#include <thread>

namespace Orvex::Testing {

std::string UniqueName(const std::string& stem) {
  std::random_device device;
  return stem + "-" + std::to_string(device()) + "-" + std::to_string(device());
}

std::string TemporaryPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace Orvex::Testing
