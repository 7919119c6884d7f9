#include "foundation/command_line.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "foundation/encoding.h"

namespace Orvex {
namespace {

std::mutex arguments_mutex;
std::vector<SharedString>* handed_over = nullptr;

std::vector<SharedString> ReadProcArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<SharedString> parts;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\0', start);
    if (end == std::string::npos) end = bytes.size();
    parts.push_back(
        GetDefaultEncoding().ToWide(std::string_view(bytes).substr(start, end - start)));
    start = end + 1;
  }
  return parts;
}

}  // namespace

void SetProcessArguments(int argc, const char* const* argv) {
  auto* parts = new std::vector<SharedString>;
  for (int i = 0; i < argc && argv[i]; ++i) parts->push_back(GetDefaultEncoding().ToWide(argv[i]));
  std::lock_guard lock(arguments_mutex);
  delete handed_over;
  handed_over = parts;
}

std::vector<SharedString> SplitCommandLine() {
  {
    std::lock_guard lock(arguments_mutex);
    if (handed_over) return *handed_over;
  }
  return ReadProcArguments();
}

SharedString GetCommandLineText() {
  // Parts with spaces are quoted, so that splitting the text gives them back.
  SharedString text;
  for (const SharedString& part : SplitCommandLine()) {
    if (!text.IsEmpty()) text = text + u" ";
    bool plain = !part.IsEmpty() && part.Find(u" ") == SharedString::npos &&
                 part.Find(u"\t") == SharedString::npos;
    text = text + (plain ? part : u"\"" + part + u"\"");
  }
  return text;
}

}  // namespace Orvex
