// Started by the system-service tests as a second process.
//   hold NAME MARKER      takes the lock NAME, creates the file MARKER and
//                         waits to be killed (two minutes at most)
//   exit CODE             ends with the exit code CODE
//   args FILE ARGS...     writes each of ARGS on a line of FILE
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "foundation/encoding.h"
#include "foundation/exclusion.h"

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "hold" && argc == 4) {
    Orvex::CProcessExclusion lock(Orvex::GetDefaultEncoding().ToWide(argv[2]));
    lock.Lock();
    std::ofstream(argv[3]) << "held\n";
    std::this_thread::sleep_for(std::chrono::minutes(2));
    return 0;
  }
  if (mode == "exit" && argc == 3) return std::atoi(argv[2]);
  if (mode == "args" && argc >= 3) {
    std::ofstream out(argv[2], std::ios::binary);
    for (int i = 3; i < argc; ++i) out << argv[i] << '\n';
    return 0;
  }
  return 100;
}
