#include "app/status_report.h"

#include <optional>
#include <string>
#include <utility>

#include "app/composed_render.h"
#include "app/config_keys.h"

using Orvex::SharedString;

namespace {

void AddLine(std::u16string& text, const SharedString& key, const SharedString& value) {
  text += key.View();
  text += u" = ";
  text += value.View();
  text += u'\n';
}

SharedString Number(long long value) { return SharedString::Format(u"%lld", value); }

}  // namespace

SharedString StatusReport(const WallpaperCycle& cycle, const ConfigStore& store,
                          std::chrono::steady_clock::time_point now) {
  std::u16string text;
  if (cycle.MonitorSources().empty()) {
    AddLine(text, u"Current", cycle.CurrentSource());
  } else {
    for (const MonitorSource& shown : cycle.MonitorSources()) {
      AddLine(text, u"Current[" + shown.monitor + u"]", shown.source);
    }
  }
  AddLine(text, config_key::kSuspend, cycle.Suspended() ? u"true" : u"false");
  const std::optional<int64_t> next = cycle.SecondsToNextChange(now);
  AddLine(text, u"NextChange(sec)", next ? Number(*next) : SharedString());
  AddLine(text, config_key::kImageDir, WallpaperCycle::ImageFolder(store));
  AddLine(text, u"Pictures", Number(static_cast<long long>(cycle.Round().Pictures().size())));
  AddLine(text, u"Shown", Number(cycle.Round().Shown()));
  AddLine(text, u"Excluded", Number(static_cast<long long>(cycle.Excluded().Size())));
  return SharedString(std::move(text));
}
