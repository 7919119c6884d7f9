#include "foundation/system_test_support.h"

#include <filesystem>

namespace Orvex::Testing {

SharedString ProgramBesideTests(const SharedString& name) {
  auto self = std::filesystem::read_symlink("/proc/self/exe");
  return FromUtf8((self.parent_path() / ToUtf8(name)).string());
}

}  // namespace Orvex::Testing
