#pragma once

#include <memory>

#include "imaging/stretching_layout_base.h"

namespace Orvex {

// Scales the source by one factor for both axes (the smaller of the two
// axis scales, or the larger with Cover), within what AllowShrink and
// AllowEnlarge permit, and aligns the result in the target.
class AutoStretchingLayout : public StretchingLayoutBase {
 public:
  AutoStretchingLayout() = default;

  std::shared_ptr<ILayout> Clone() const override;
  PlaneRect ComputeDestRect() override;
  PlaneSize ComputeScaledSize() override;
};

}  // namespace Orvex
