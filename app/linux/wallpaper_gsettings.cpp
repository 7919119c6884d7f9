#include "app/linux/wallpaper_gsettings.h"

#include <sstream>

#include "foundation/posix/run_command.h"

void SetGSettings(const std::string& schema,
                  const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values) {
    Orvex::RunCommandChecked({"gsettings", "set", schema, key, value});
  }
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
