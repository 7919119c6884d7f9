#include "foundation/replace_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

namespace Orvex {

void ReplaceFileAtomically(const SharedString& source, const SharedString& target) {
  const Encoding& encoding = GetDefaultEncoding();
  const std::string to = encoding.ToMultiByte(target);
  if (std::rename(encoding.ToMultiByte(source).c_str(), to.c_str()) != 0) {
    throw Win32Exception(target + u" への置き換えに失敗");
  }
  // The new name lives in the folder: flush that too, or a crash may bring
  // back the old file after we reported the new one.
  const size_t slash = to.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : to.substr(0, slash + 1);
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace Orvex
