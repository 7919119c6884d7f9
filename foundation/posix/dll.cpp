#include "foundation/dll.h"

#include <dlfcn.h>

#include <cerrno>
#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"

namespace Orvex {
namespace {

// dlopen and dlsym report through dlerror(), not errno: put that text in the
// message and keep errno from adding an unrelated one.
SharedString WithLoaderError(const SharedString& text) {
  const char* detail = dlerror();
  SharedString result = detail ? text + u" : " + GetDefaultEncoding().ToWide(detail) : text;
  errno = 0;
  return result;
}

}  // namespace

CDll::CDll(const SharedString& name, bool load) : name_(name), owns_(load) {
  const std::string file = GetDefaultEncoding().ToMultiByte(name);
  // RTLD_NOLOAD still counts a reference, which the destructor gives back.
  module_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | (load ? 0 : RTLD_NOLOAD));
  if (!module_) throw DllNotFoundException(WithLoaderError(name + u"のロードに失敗"));
}

CDll::~CDll() { dlclose(module_); }

void* CDll::GetEntryPoint(std::string_view entry_name) const {
  const std::string name(entry_name);
  dlerror();
  void* address = dlsym(module_, name.c_str());
  if (!address) {
    throw EntryPointNotFoundException(
        WithLoaderError(name_ + u"から '" + GetDefaultEncoding().ToWide(name) + u"' の取得に失敗"));
  }
  return address;
}

}  // namespace Orvex
