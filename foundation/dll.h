#pragma once

#include <string_view>

#include "foundation/shared_string.h"

namespace Orvex {

// A shared library of the process, loaded by this object or found already
// loaded. Entry points are looked up by name each time they are needed.
class CDll {
 public:
  // load: load the library (and free it again at destruction); otherwise the
  // library must already be loaded. Throws DllNotFoundException.
  CDll(const SharedString& name, bool load);
  CDll(const CDll&) = delete;
  CDll& operator=(const CDll&) = delete;
  ~CDll();

  // The address of the named export; throws EntryPointNotFoundException.
  void* GetEntryPoint(std::string_view entry_name) const;

  template <typename Function>
  Function* GetFunction(std::string_view entry_name) const {
    return reinterpret_cast<Function*>(GetEntryPoint(entry_name));
  }

  const SharedString& Name() const { return name_; }
  bool Owns() const { return owns_; }

 private:
  SharedString name_;
  void* module_ = nullptr;
  bool owns_ = false;
};

}  // namespace Orvex
