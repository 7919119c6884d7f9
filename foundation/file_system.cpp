#include "foundation/file_system.h"

#include <algorithm>
#include <exception>
#include <string>

#include "foundation/exceptions.h"
#include "foundation/file_system_primitives.h"
#include "foundation/platform.h"

namespace Orvex {
namespace {

enum class ListKind { kFiles, kFolders, kEntries };

// ancestors holds the identities of the folders above this one, so that a
// link back up the tree ends the walk there instead of going round forever.
void ListInto(const SharedString& folder, int depth, ListKind kind,
              std::vector<std::string>& ancestors, std::vector<SharedString>& out) {
  const SharedString directory = DirectoryPart(folder);
  const Detail::DirectoryListing listing = Detail::ReadDirectory(directory);
  if (!listing.identity.empty()) {
    if (std::find(ancestors.begin(), ancestors.end(), listing.identity) != ancestors.end()) return;
    ancestors.push_back(listing.identity);
  }
  for (const Detail::DirectoryEntry& entry : listing.entries) {
    if (!entry.is_directory) {
      if (kind != ListKind::kFolders) out.push_back(directory + entry.name);
      continue;
    }
    // Covers "." and ".." as well as hidden folders such as ".git".
    if (!entry.name.IsEmpty() && entry.name[0] == u'.') continue;
    const SharedString subfolder = directory + entry.name + kNativeSeparator;
    if (kind != ListKind::kFiles) out.push_back(subfolder);
    if (depth == 0) continue;
    // A subfolder that cannot be read must not cost the rest of the tree.
    std::vector<SharedString> inner;
    const size_t level = ancestors.size();
    try {
      ListInto(subfolder, depth - 1, kind, ancestors, inner);
    } catch (const std::exception&) {
      inner.clear();
    }
    ancestors.resize(level);
    out.insert(out.end(), inner.begin(), inner.end());
  }
}

std::vector<SharedString> List(const SharedString& folder, int depth, ListKind kind) {
  std::vector<std::string> ancestors;
  std::vector<SharedString> result;
  ListInto(folder, depth, kind, ancestors, result);
  return result;
}

}  // namespace

bool Exists(const SharedString& p) { return GetAttributes(p) != kInvalidFileAttributes; }

bool IsDirectory(const SharedString& p) {
  const uint32_t attributes = GetAttributes(RemoveTrailingSeparator(p));
  return attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
}

SharedString NearestExistingFolder(const SharedString& p) {
  SharedString folder = p;
  while (!folder.IsEmpty() && !IsDirectory(folder)) folder = ParentPath(folder);
  return folder;
}

std::vector<SharedString> ListFiles(const SharedString& folder, int depth) {
  return List(folder, depth, ListKind::kFiles);
}

std::vector<SharedString> ListFolders(const SharedString& folder, int depth) {
  return List(folder, depth, ListKind::kFolders);
}

std::vector<SharedString> ListEntries(const SharedString& folder, int depth) {
  return List(folder, depth, ListKind::kEntries);
}

void CreateDirectories(const SharedString& p) {
  if (p.IsEmpty()) return;
  if (!IsSeparator(p.Back())) {
    CreateDirectories(DirectoryPart(p));
    return;
  }
  if (IsDirectory(p)) return;
  const SharedString parent = ParentPath(p);
  if (!parent.IsEmpty()) CreateDirectories(parent);
  // Another program may have made it meanwhile; that is no failure.
  if (!Detail::CreateOneDirectory(p) && !IsDirectory(p)) {
    throw IOException(p + u"の作成に失敗しました");
  }
}

void Copy(const SharedString& src, const SharedString& dst, bool overwrite) {
  const bool dst_is_folder = !dst.IsEmpty() && IsSeparator(dst.Back());
  const bool src_is_folder = !src.IsEmpty() && IsSeparator(src.Back());
  if (dst_is_folder && src_is_folder) {
    for (const SharedString& folder : ListFolders(src, 0)) {
      Copy(folder, dst + ContainingFolderName(folder) + kNativeSeparator, overwrite);
    }
    for (const SharedString& file : ListFiles(src, 0)) Copy(file, dst, overwrite);
    return;
  }
  if (dst_is_folder) {
    Copy(src, dst + FileNamePart(src), overwrite);
    return;
  }
  CreateDirectories(dst);
  if (!Detail::CopyOneFile(src, dst, !overwrite)) {
    throw IOException(u"ファイルのコピーに失敗しました (" + src + u" → " + dst + u")");
  }
}

void Delete(const SharedString& p, bool force) {
  const SharedString path = RemoveTrailingSeparator(p);
  const uint32_t attributes = GetAttributes(path);
  const bool directory =
      attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) != 0;
  if (directory) {
    // Cleared before the contents go: a folder that cannot be written to
    // cannot have its entries removed on every system.
    if (force) SetAttributes(path, kFileAttributeNormal);
    // A linked folder goes as a link: what it points to is not ours to empty.
    if ((attributes & kFileAttributeReparsePoint) == 0) {
      // Every entry, dot folders included: a folder can only go once it is
      // empty. Named with its separator, or it would be the parent's entries.
      const SharedString directory = EnsureTrailingSeparator(path);
      const Detail::DirectoryListing listing = Detail::ReadDirectory(directory);
      for (const Detail::DirectoryEntry& entry : listing.entries) {
        if (entry.name == u"." || entry.name == u"..") continue;
        Delete(directory + entry.name, force);
      }
    }
    if (!Detail::RemoveOneDirectory(path)) throw IOException(p + u"の削除に失敗しました");
    return;
  }
  if (force) SetAttributes(p, kFileAttributeNormal);
  if (!Detail::DeleteOneFile(p)) throw IOException(p + u"の削除に失敗しました");
}

}  // namespace Orvex
