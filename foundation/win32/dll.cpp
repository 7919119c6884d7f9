#include "foundation/dll.h"

#include <string>

#include "foundation/encoding.h"
#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"

namespace Orvex {

CDll::CDll(const SharedString& name, bool load) : name_(name), owns_(load) {
  HMODULE module = load ? LoadLibraryW(Wide(name)) : GetModuleHandleW(Wide(name));
  if (!module) throw DllNotFoundException(name + u"のロードに失敗");
  module_ = module;
}

CDll::~CDll() {
  if (owns_) FreeLibrary(static_cast<HMODULE>(module_));
}

void* CDll::GetEntryPoint(std::string_view entry_name) const {
  const std::string name(entry_name);
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name.c_str());
  if (!address) {
    throw EntryPointNotFoundException(name_ + u"から '" + GetDefaultEncoding().ToWide(name) +
                                      u"' の取得に失敗");
  }
  return reinterpret_cast<void*>(address);
}

}  // namespace Orvex
