#include "app/exclude_list.h"

#include <string>
#include <vector>

#include "app/kept_paths.h"
#include "foundation/exclusion.h"
#include "foundation/file_system.h"
#include "foundation/files.h"

using Orvex::SharedString;

namespace {

std::vector<SharedString> ReadLines(const SharedString& file) {
  std::vector<SharedString> lines;
  std::u16string text;
  try {
    if (!Orvex::Exists(file)) return lines;
    Orvex::ReadTextFile(file, text);
  } catch (...) {
    return lines;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(u"\r\n", start);
    if (end == std::u16string::npos) end = text.size();
    if (end > start) lines.emplace_back(std::u16string_view(text).substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

SharedString ExcludeList::PathFor(const SharedString& settings_file) {
  return BesideSettings(settings_file, u"exclude");
}

ExcludeList ExcludeList::Read(const SharedString& file, const SharedString& folder) {
  ExcludeList list;
  for (const SharedString& line : ReadLines(file)) list.Insert(PathFromKeeping(line, folder));
  return list;
}

void ExcludeList::Add(const SharedString& file, const SharedString& lock_name,
                      const SharedString& folder, const SharedString& picture) {
  Orvex::ProcessExclusionLock lock(lock_name);
  const std::vector<SharedString> lines = ReadLines(file);
  std::u16string text;
  for (const SharedString& line : lines) {
    if (PathKey(PathFromKeeping(line, folder)) == PathKey(picture)) return;
    text += line.View();
    text += u"\r\n";
  }
  text += PathForKeeping(picture, folder).View();
  text += u"\r\n";
  Orvex::WriteTextFile(file, SharedString(std::move(text)));
}

bool ExcludeList::Contains(const SharedString& picture) const {
  return keys_.count(PathKey(picture)) != 0;
}

void ExcludeList::Insert(const SharedString& picture) { keys_.insert(PathKey(picture)); }
