#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "app/monitor_assignment.h"
#include "foundation/shared_string.h"

// The order in which the pictures of the image folder come up: every
// picture once before any comes up again. The list is read as a ring: the
// pictures after Position() that the round has not shown yet come next, in
// their order; when all were shown, a new round is shuffled.
class PictureRound {
 public:
  // A new round over the pictures, shuffled, nothing shown yet.
  void Start(std::vector<Orvex::SharedString> pictures);
  // A round as it was kept; false (and the round left empty) when the
  // values do not describe one: a position outside the list, more shown
  // than there are pictures, a picture twice.
  bool Restore(std::vector<Orvex::SharedString> pictures, uint32_t position, uint32_t shown);
  // The folder's pictures now: those that remain keep their order and their
  // place among the shown or the not yet shown, the gone are dropped, and
  // new ones go to random places among the not yet shown.
  void Rebuild(const std::vector<Orvex::SharedString>& pictures);
  // Takes a picture out of the round; false when it was not in it.
  bool Remove(const Orvex::SharedString& picture);

  // Moves on to the next picture and returns its index; a new round first
  // when this one is over. Nothing for an empty list.
  std::optional<uint32_t> TakeNext();
  // As TakeNext, but the first of the pictures not yet shown that suits the
  // monitor (TakeNextForMonitor) is brought forward. The look-ahead never
  // reaches into what the round has shown.
  std::optional<uint32_t> TakeNextForMonitor(bool portrait_monitor, const PictureSizeProbe& probe);

  const std::vector<Orvex::SharedString>& Pictures() const { return pictures_; }
  // The index of the picture taken last (before the first take: the one
  // before the round's first picture).
  uint32_t Position() const { return position_; }
  // How many of this round's pictures have been taken.
  uint32_t Shown() const { return shown_; }

 private:
  // The round in its order from its first picture: what was shown, then
  // what was not.
  void Linearize(std::vector<Orvex::SharedString>& shown,
                 std::vector<Orvex::SharedString>& waiting) const;
  void Assign(std::vector<Orvex::SharedString> shown, std::vector<Orvex::SharedString> waiting);
  void StartNextRoundIfOver();

  std::vector<Orvex::SharedString> pictures_;
  uint32_t position_ = 0;
  uint32_t shown_ = 0;
};

// Shuffles the list in place with the process-wide engine (Fisher-Yates,
// front to back), so that every new round has a new order.
void ShuffleImageList(std::vector<Orvex::SharedString>& list);
