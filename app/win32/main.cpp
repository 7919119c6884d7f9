#include "app/win32/app_frame.h"
#include "foundation/win32/win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous_instance, LPSTR command_line,
                   int show_command) {
  // Whatever escapes ends the program with a box that says so, and exit
  // code 1.
  CAppFrame frame(instance, previous_instance, command_line, show_command);
  return frame.GuardedRun();
}
