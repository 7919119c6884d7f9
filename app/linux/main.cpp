#include "app/linux/program_start.h"

// "pelmora": "/once", the switches and second starts, without the toolkit;
// the first plain start hands on to pelmora-tray.
int main(int argc, char* argv[]) {
  return StartProgram(
      argc, argv,
      [](int, char*[], std::unique_ptr<LinuxDesktop>, const Orvex::SharedString&,
         std::unique_ptr<ResidentInstance>) {
        // Only a start without switches stays, and that one is handed on.
        return 1;
      },
      true);
}
