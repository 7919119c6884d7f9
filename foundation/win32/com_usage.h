#pragma once

namespace Orvex {

// Keeps COM initialised on the calling thread while at least one object of
// this class lives there. The first one of a thread initialises COM
// (single-threaded apartment) and the last one uninitialises it when it
// was the one that initialised it. COM that the thread had set up already
// is used as it is: in the single-threaded apartment the counts nest; in
// the multithreaded apartment the thread keeps it and MultiThreaded() says
// so (some shell dialogs behave differently there). Other failures throw
// RuntimeException "COMの初期化に失敗しました" and leave nothing counted.
class ComUsage {
 public:
  ComUsage();
  ComUsage(const ComUsage&) = delete;
  ComUsage& operator=(const ComUsage&) = delete;
  ~ComUsage();

  bool MultiThreaded() const;

  // Users alive on the calling thread.
  static int ThreadCount();
};

}  // namespace Orvex
