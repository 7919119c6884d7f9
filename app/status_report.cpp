#include "app/status_report.h"

#include <optional>
#include <string>
#include <utility>

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

SharedString StatusReport(const StatusFacts& facts, std::chrono::steady_clock::time_point now) {
  if (!facts.posted) return {};
  std::u16string text;
  if (facts.monitors.empty()) {
    AddLine(text, u"Current", facts.current);
  } else {
    for (const MonitorSource& shown : facts.monitors) {
      AddLine(text, u"Current[" + shown.monitor + u"]", shown.source);
    }
  }
  AddLine(text, config_key::kSuspend, facts.suspended ? u"true" : u"false");
  const std::optional<int64_t> next = SecondsToNextChange(facts, now);
  AddLine(text, u"NextChange(sec)", next ? Number(*next) : SharedString());
  AddLine(text, config_key::kImageDir, facts.image_folder);
  AddLine(text, u"Pictures", Number(static_cast<long long>(facts.pictures)));
  AddLine(text, u"Shown", Number(facts.shown));
  AddLine(text, u"Excluded", Number(static_cast<long long>(facts.excluded)));
  return SharedString(std::move(text));
}
