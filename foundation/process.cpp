#include "foundation/process.h"

namespace Orvex {

std::shared_ptr<Process> StartProcess(const ProcessStartInfo& info) {
  auto process = std::make_shared<Process>(info);
  if (!process->Start()) return nullptr;
  return process;
}

namespace Detail {
SharedString BuildCommandLine(const SharedString& file, const SharedString& parameters) {
  SharedString program = file.Trim();
  if (program.Length() < 2 || !program.StartsWith(u"\"") || !program.EndsWith(u"\"")) {
    program = u"\"" + program + u"\"";
  }
  if (!parameters.IsEmpty()) program = program + u" " + parameters;
  return program;
}
}  // namespace Detail

}  // namespace Orvex
