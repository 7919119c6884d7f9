#include "app/win32/app_frame.h"

#include "app/start_up.h"
#include "app/tray_commands.h"
#include "app/win32/app_window.h"
#include "app/win32/desktop.h"
#include "app/win32/status_channel.h"
#include "app/win32/status_output.h"
#include "foundation/command_line.h"
#include "foundation/error_reporting.h"
#include "foundation/file_system.h"
#include "foundation/win32/program_window.h"

namespace {

// How long "/status" waits for the resident program's answer.
constexpr DWORD kStatusWaitMs = 5000;
constexpr char16_t kNoAnswerText[] = u"常駐しているPelmoraから応答がありません。";

int ReportResidentStatus() {
  HWND resident = Orvex::FindProgramWindow(Orvex::GetExecutablePath());
  if (!resident || !IsWindow(resident)) {
    Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, kNoResidentCaption, kNoResidentText);
    return 1;
  }
  const std::optional<Orvex::SharedString> report = AskResidentStatus(resident, kStatusWaitMs);
  if (!report) {
    Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, kNoResidentCaption, kNoAnswerText);
    return 1;
  }
  switch (WriteStatusOutput(*report)) {
    case StatusOutputResult::kWritten:
      return 0;
    case StatusOutputResult::kNowhere:
      // Started from the desktop: the box is the only place to read it.
      Orvex::ShowMessage(nullptr, Orvex::kMbIconInformation, u"Pelmora", *report);
      return 0;
    case StatusOutputResult::kFailed:
      break;
  }
  return 1;
}

}  // namespace

int CAppFrame::Run() {
  StartRequest request;
  const char* command_line = CommandLine();
  if (command_line && *command_line) {
    Win32Desktop desktop;
    request = ApplyCommandLine(Orvex::GetArguments(command_line), desktop, StartUpLockName());
  }
  // "/next", "/previous", "/exclude" and "/status" only ask the resident program;
  // without one there is nobody to ask.
  if (request.resident != ResidentRequest::kNone) {
    if (request.state_switch) NotifyResidentInstance();
    if (request.resident == ResidentRequest::kStatus) return ReportResidentStatus();
    if (!NotifyResidentInstance(ResidentCommandId(request.resident))) {
      Orvex::ShowMessage(nullptr, Orvex::kMbIconHand, kNoResidentCaption, kNoResidentText);
      return 1;
    }
    return Orvex::ExitCodeOfStart();
  }
  // A start that reported an error says so in its exit code too, so that a
  // script can tell; the resident program ends as its window says.
  if (!request.state_switch && IsFirstInstance()) {
    CAppWindow window(request.once);
    const int code = window.Run();
    return request.once ? Orvex::ExitCodeOfStart() : code;
  }
  NotifyResidentInstance();
  return Orvex::ExitCodeOfStart();
}

bool NotifyResidentInstance(int command) {
  HWND window = Orvex::FindProgramWindow(Orvex::GetExecutablePath());
  if (!window || !IsWindow(window)) return false;
  return PostMessageW(window, WM_COMMAND, static_cast<WPARAM>(command), 0) != FALSE;
}
