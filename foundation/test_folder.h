#pragma once

// A scratch folder for file system tests, removed with everything in it.
// Set up and inspected through std::filesystem, so that the checks do not
// rest on the code they test.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

#include "foundation/platform.h"
#include "foundation/shared_string.h"

namespace Orvex::Testing {

inline std::filesystem::path FsPath(const SharedString& p) {
  return std::filesystem::path(p.Str());
}

class TestFolder {
 public:
  TestFolder() {
    std::random_device random;
    const std::string name =
        "pelmora-test-" + std::to_string(random()) + "-" + std::to_string(random());
    root_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(root_);
    path_ = SharedString(root_.u16string()) + kNativeSeparator;
  }
  ~TestFolder() {
    std::error_code ignored;
    // Read-only entries would stop the clean-up on Windows.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (!it->is_symlink(ignored)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
      }
    }
    std::filesystem::remove_all(root_, ignored);
  }
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  // The folder, with its trailing separator.
  const SharedString& Path() const { return path_; }
  // A path inside it; '/' in relative stands for the native separator.
  SharedString operator/(std::u16string_view relative) const {
    std::u16string text(relative);
    for (char16_t& c : text) {
      if (c == u'/') c = kNativeSeparator;
    }
    return path_ + SharedString(text);
  }

  static void WriteBytes(const SharedString& p, std::string_view bytes) {
    std::filesystem::create_directories(FsPath(p).parent_path());
    std::ofstream out(FsPath(p), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  static std::string ReadBytes(const SharedString& p) {
    std::ifstream in(FsPath(p), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static bool FsExists(const SharedString& p) {
    std::error_code ignored;
    return std::filesystem::exists(FsPath(p), ignored);
  }

 private:
  std::filesystem::path root_;
  SharedString path_;
};

}  // namespace Orvex::Testing
