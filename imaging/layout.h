#pragma once

#include <memory>

#include "imaging/plane_geometry.h"

namespace Orvex {

// Decides where an image goes inside a target rectangle (the screen) and
// which part of it is drawn there.
class ILayout {
 public:
  ILayout(const ILayout&) = delete;
  ILayout& operator=(const ILayout&) = delete;
  virtual ~ILayout() = default;

  // An independent layout with the same inputs and options.
  virtual std::shared_ptr<ILayout> Clone() const = 0;

  // Where the whole source would go, before it is clipped to the target; it
  // may reach outside the target.
  virtual PlaneRect ComputeDestRect() = 0;

 protected:
  ILayout() = default;
};

}  // namespace Orvex
