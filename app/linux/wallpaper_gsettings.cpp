#include "app/linux/wallpaper_gsettings.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "foundation/posix/run_command.h"

void SetGSettings(const std::string& schema,
                  const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values) {
    Orvex::RunCommandChecked({"gsettings", "set", schema, key, value});
  }
}

std::optional<uint32_t> GetGSettingsColor(const std::string& schema, const std::string& key) {
  Orvex::CommandResult value;
  try {
    value = Orvex::RunCommand({"gsettings", "get", schema, key});
  } catch (const std::exception&) {
    return std::nullopt;
  }
  const size_t hash = value.output.find('#');
  if (value.exit_code != 0 || hash == std::string::npos) return std::nullopt;
  std::string digits;
  for (size_t i = hash + 1;
       i < value.output.size() && std::isxdigit(static_cast<unsigned char>(value.output[i])); ++i) {
    digits += value.output[i];
  }
  // Each channel has the same number of digits; the first two are its top byte.
  if (digits.empty() || digits.size() % 3 != 0 || digits.size() > 12) return std::nullopt;
  const size_t width = digits.size() / 3;
  uint32_t color = 0;
  for (size_t channel = 0; channel < 3; ++channel) {
    std::string top = digits.substr(channel * width, std::min<size_t>(width, 2));
    if (top.size() == 1) top += top;
    color |= static_cast<uint32_t>(std::stoul(top, nullptr, 16)) << (8 * channel);
  }
  return color;
}

bool HasGSettingsKey(const std::string& schema, const std::string& key) {
  const Orvex::CommandResult keys = Orvex::RunCommand({"gsettings", "list-keys", schema});
  if (keys.exit_code != 0) return false;
  std::istringstream lines(keys.output);
  for (std::string line; std::getline(lines, line);) {
    if (line == key) return true;
  }
  return false;
}
