#pragma once

#include <string>
#include <vector>

#include "foundation/shared_string.h"

// The single-step file system calls that the portable folder algorithms are
// built from; each platform directory implements them.
namespace Orvex::Detail {

struct DirectoryEntry {
  SharedString name;
  bool is_directory;
};

struct DirectoryListing {
  // Names the folder itself, whatever path led to it (empty where the system
  // cannot tell), so that a tree walk can notice links that lead back up.
  std::string identity;
  std::vector<DirectoryEntry> entries;
};

// Every entry of the folder directory_part (a folder path, or empty for the
// current folder), "." and ".." included where the system reports them, in
// the system's order. The search is over when this returns, so a deep tree
// never holds more than one search open. Throws Win32Exception with
// directory_part + "* の検索に失敗" when the folder cannot be searched.
DirectoryListing ReadDirectory(const SharedString& directory_part);

// Each returns false on failure, with the system's last error set.
bool CreateOneDirectory(const SharedString& p);
bool CopyOneFile(const SharedString& src, const SharedString& dst, bool fail_if_exists);
bool DeleteOneFile(const SharedString& p);
// An empty folder, or a link to a folder (the link only).
bool RemoveOneDirectory(const SharedString& p);
// Puts the finished file source in place of target (which may not exist) in
// one step, after making sure source's data is on the disk.
bool CommitReplacement(const SharedString& source, const SharedString& target);

}  // namespace Orvex::Detail
