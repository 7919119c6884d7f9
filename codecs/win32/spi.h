#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "foundation/dll.h"
#include "foundation/shared_string.h"

namespace Orvex {

// Every call into a plug-in is made holding this lock: plug-ins are not
// assumed to be re-entrant.
std::mutex& SpiCallLock();

// The Susie plug-ins found directly in one folder, loaded in listing order
// and kept until the set is destroyed. A plug-in is addressed by its index.
class CSpi {
 public:
  explicit CSpi(const SharedString& folder);
  CSpi(const CSpi&) = delete;
  CSpi& operator=(const CSpi&) = delete;
  ~CSpi();

  // Loads the "*.spi" files of another folder in place of the current ones;
  // the same folder (compared without case) is left as it is. Libraries
  // that do not load are skipped, and a folder that cannot be read gives an
  // empty set.
  void SetFolder(const SharedString& folder);

  const SharedString& Folder() const { return folder_; }
  size_t GetCount() const { return plugins_.size(); }
  const CDll& GetPlugin(size_t index) const { return *plugins_[index]; }
  // True for an import filter: its version text has 'I' as third character.
  // A plug-in without GetPluginInfo, or one that faults in it, is none.
  // Call with SpiCallLock held.
  bool IsImportFilter(size_t index) const;

  template <typename Function>
  Function* GetEntry(size_t index, const char* name) const {
    return plugins_[index]->GetFunction<Function>(name);
  }

 private:
  void FreeAll();

  SharedString folder_;
  bool has_folder_ = false;
  std::vector<std::unique_ptr<CDll>> plugins_;
};

}  // namespace Orvex
