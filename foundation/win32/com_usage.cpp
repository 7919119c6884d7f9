#include "foundation/win32/com_usage.h"

#include "foundation/exceptions.h"
#include "foundation/win32/win32.h"
// clang-format off: needs the declarations of win32.h first
#include <objbase.h>
// clang-format on

namespace Orvex {
namespace {

// COM belongs to a thread, so its use is counted per thread.
struct ThreadState {
  int users = 0;
  bool must_uninitialize = false;
  bool multithreaded = false;
};
thread_local ThreadState t_state;

}  // namespace

ComUsage::ComUsage() {
  if (t_state.users == 0) {
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (result == S_OK || result == S_FALSE) {
      // S_FALSE: initialised before on this thread; the call still counts
      // and needs its own uninitialisation.
      t_state.must_uninitialize = true;
      t_state.multithreaded = false;
    } else if (result == RPC_E_CHANGED_MODE) {
      // Someone put the thread in the multithreaded apartment: COM works,
      // and it is theirs to end.
      t_state.must_uninitialize = false;
      t_state.multithreaded = true;
    } else {
      throw RuntimeException(u"COMの初期化に失敗しました");
    }
  }
  ++t_state.users;
}

ComUsage::~ComUsage() {
  if (--t_state.users > 0) return;
  t_state.users = 0;
  if (t_state.must_uninitialize) CoUninitialize();
  t_state.must_uninitialize = false;
  t_state.multithreaded = false;
}

bool ComUsage::MultiThreaded() const { return t_state.multithreaded; }

int ComUsage::ThreadCount() { return t_state.users; }

}  // namespace Orvex
