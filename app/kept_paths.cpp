#include "app/kept_paths.h"

#include "foundation/file_system.h"
#include "foundation/platform.h"

using Orvex::SharedString;

SharedString PathKey(const SharedString& path) {
  const SharedString native = Orvex::NormalizeSeparators(path);
  return Orvex::kIsWindows ? Orvex::ToLower(native) : native;
}

SharedString PathForKeeping(const SharedString& picture, const SharedString& folder) {
  const SharedString base = Orvex::EnsureTrailingSeparator(folder);
  if (base.IsEmpty() || picture.Length() <= base.Length()) return picture;
  if (PathKey(picture.Substring(0, base.Length())) != PathKey(base)) return picture;
  return picture.Substring(base.Length());
}

SharedString PathFromKeeping(const SharedString& kept, const SharedString& folder) {
  if (!Orvex::IsRelative(kept) || folder.IsEmpty()) return Orvex::NormalizeSeparators(kept);
  return Orvex::NormalizeSeparators(Orvex::EnsureTrailingSeparator(folder) + kept);
}

SharedString BesideSettings(const SharedString& settings_file, const char16_t* extension) {
  return Orvex::ChangeExtension(settings_file, extension);
}
