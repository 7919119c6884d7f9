#include "app/picture_round.h"

#include <algorithm>
#include <cstddef>
#include <set>
#include <utility>

#include "foundation/random.h"

using Orvex::SharedString;

void PictureRound::Start(std::vector<SharedString> pictures) {
  ShuffleImageList(pictures);
  pictures_ = std::move(pictures);
  position_ = 0;
  shown_ = 0;
}

bool PictureRound::Restore(std::vector<SharedString> pictures, uint32_t position, uint32_t shown) {
  const size_t n = pictures.size();
  const bool fits = n == 0 ? position == 0 && shown == 0 : position < n && shown <= n;
  if (!fits || std::set<SharedString>(pictures.begin(), pictures.end()).size() != n) {
    pictures_.clear();
    position_ = shown_ = 0;
    return false;
  }
  pictures_ = std::move(pictures);
  position_ = position;
  shown_ = shown;
  return true;
}

void PictureRound::Linearize(std::vector<SharedString>& shown,
                             std::vector<SharedString>& waiting) const {
  const size_t n = pictures_.size();
  shown.clear();
  waiting.clear();
  if (n == 0) return;
  const size_t first = (size_t{position_} + 1 + n - shown_) % n;
  for (size_t i = 0; i < n; ++i) {
    (i < shown_ ? shown : waiting).push_back(pictures_[(first + i) % n]);
  }
}

void PictureRound::Assign(std::vector<SharedString> shown, std::vector<SharedString> waiting) {
  shown_ = static_cast<uint32_t>(shown.size());
  pictures_ = std::move(shown);
  pictures_.insert(pictures_.end(), std::make_move_iterator(waiting.begin()),
                   std::make_move_iterator(waiting.end()));
  // The next take is the first picture not yet shown.
  if (pictures_.empty()) {
    position_ = 0;
  } else {
    position_ = shown_ > 0 ? shown_ - 1 : static_cast<uint32_t>(pictures_.size() - 1);
  }
}

void PictureRound::Rebuild(const std::vector<SharedString>& pictures) {
  const std::set<SharedString> now(pictures.begin(), pictures.end());
  std::vector<SharedString> shown, waiting;
  Linearize(shown, waiting);
  std::set<SharedString> known;
  const auto gone = [&](const SharedString& p) { return now.count(p) == 0; };
  shown.erase(std::remove_if(shown.begin(), shown.end(), gone), shown.end());
  waiting.erase(std::remove_if(waiting.begin(), waiting.end(), gone), waiting.end());
  known.insert(shown.begin(), shown.end());
  known.insert(waiting.begin(), waiting.end());
  std::vector<SharedString> added;
  for (const SharedString& p : pictures) {
    if (known.insert(p).second) added.push_back(p);
  }
  if (!added.empty()) {
    // Which of the places among the waiting ones the new pictures take is
    // drawn at random; in those places they come in a random order too.
    ShuffleImageList(added);
    std::vector<bool> is_new(waiting.size() + added.size(), false);
    std::fill(is_new.begin(), is_new.begin() + static_cast<std::ptrdiff_t>(added.size()), true);
    std::mt19937& engine = Orvex::GetRandomEngine();
    for (size_t i = 1; i < is_new.size(); ++i) {
      const size_t j = engine() % (i + 1);
      const bool t = is_new[i];
      is_new[i] = is_new[j];
      is_new[j] = t;
    }
    std::vector<SharedString> merged;
    merged.reserve(is_new.size());
    size_t next_new = 0, next_old = 0;
    for (const bool fresh : is_new) {
      merged.push_back(fresh ? std::move(added[next_new++]) : std::move(waiting[next_old++]));
    }
    waiting = std::move(merged);
  }
  Assign(std::move(shown), std::move(waiting));
}

bool PictureRound::Remove(const SharedString& picture) {
  std::vector<SharedString> shown, waiting;
  Linearize(shown, waiting);
  const auto drop = [&](std::vector<SharedString>& list) {
    const auto it = std::find(list.begin(), list.end(), picture);
    if (it == list.end()) return false;
    list.erase(it);
    return true;
  };
  if (!drop(shown) && !drop(waiting)) return false;
  Assign(std::move(shown), std::move(waiting));
  return true;
}

void PictureRound::StartNextRoundIfOver() {
  const size_t n = pictures_.size();
  if (shown_ < n) return;
  const SharedString last = pictures_[position_];
  ShuffleImageList(pictures_);
  shown_ = 0;
  // The last picture of a round does not open the next one as well.
  const size_t next = (size_t{position_} + 1) % n;
  if (n > 1 && pictures_[next] == last) {
    const size_t other = (next + 1 + Orvex::GetRandomEngine()() % (n - 1)) % n;
    std::swap(pictures_[next], pictures_[other]);
  }
}

std::optional<uint32_t> PictureRound::TakeNext() {
  if (pictures_.empty()) return std::nullopt;
  StartNextRoundIfOver();
  position_ = static_cast<uint32_t>((size_t{position_} + 1) % pictures_.size());
  ++shown_;
  return position_;
}

std::optional<uint32_t> PictureRound::TakeNextForMonitor(bool portrait_monitor,
                                                         const PictureSizeProbe& probe) {
  if (pictures_.empty()) return std::nullopt;
  StartNextRoundIfOver();
  // The look-ahead works on the waiting part alone, which is then put back
  // in its places.
  const size_t n = pictures_.size();
  std::vector<SharedString> waiting;
  for (size_t i = 1; i <= n - shown_; ++i) waiting.push_back(pictures_[(position_ + i) % n]);
  uint32_t before_first = static_cast<uint32_t>(waiting.size() - 1);
  ::TakeNextForMonitor(waiting, before_first, portrait_monitor, probe);
  for (size_t i = 1; i <= waiting.size(); ++i) {
    pictures_[(position_ + i) % n] = std::move(waiting[i - 1]);
  }
  return TakeNext();
}

void ShuffleImageList(std::vector<SharedString>& list) {
  std::mt19937& engine = Orvex::GetRandomEngine();
  for (size_t i = 1; i < list.size(); ++i) {
    const size_t j = engine() % (i + 1);
    std::swap(list[i], list[j]);
  }
}
