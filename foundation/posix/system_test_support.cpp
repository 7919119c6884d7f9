#include "foundation/system_test_support.h"

#include <filesystem>

namespace Orvex::Testing {

SharedString HelperProgramPath() {
  auto self = std::filesystem::read_symlink("/proc/self/exe");
  return FromUtf8((self.parent_path() / "system_test_helper").string());
}

}  // namespace Orvex::Testing
