#include "foundation/exclusion.h"

namespace Orvex {

namespace Detail {
SharedString ExclusionName(const SharedString& name) {
  SharedString result = name.ReplaceAll(u"\\", u"/");
  constexpr size_t kMaxName = 259;  // the system's limit for object names
  if (result.Length() > kMaxName) result = result.Substring(0, kMaxName);
  return result;
}
}  // namespace Detail

CProcessExclusion::CProcessExclusion(const SharedString& name)
    : name_(Detail::ExclusionName(name)) {}

CProcessExclusion::~CProcessExclusion() { Unlock(); }

}  // namespace Orvex
