#pragma once

#include <cstddef>
#include <set>

#include "foundation/shared_string.h"

// The pictures the user never wants to see again: a text file beside the
// settings file (extension ".exclude"), one path a line, in the settings
// file's encoding; pictures inside the image folder are written relative to
// it. The user may edit it: a line removed brings its picture back at the
// next rebuild of the list. The pictures themselves are never touched.
class ExcludeList {
 public:
  static Orvex::SharedString PathFor(const Orvex::SharedString& settings_file);

  // The list in `file`, relative lines taken below `folder`. A missing or
  // unreadable file is an empty list.
  static ExcludeList Read(const Orvex::SharedString& file, const Orvex::SharedString& folder);
  // Adds `picture` to the list in `file` as the file is now, under the
  // settings lock `lock_name`; nothing when it is listed already. Throws
  // Orvex::IOException when the file cannot be written.
  static void Add(const Orvex::SharedString& file, const Orvex::SharedString& lock_name,
                  const Orvex::SharedString& folder, const Orvex::SharedString& picture);

  bool Contains(const Orvex::SharedString& picture) const;
  void Insert(const Orvex::SharedString& picture);
  size_t Size() const { return keys_.size(); }
  bool operator==(const ExcludeList& other) const { return keys_ == other.keys_; }

 private:
  std::set<Orvex::SharedString> keys_;
};
