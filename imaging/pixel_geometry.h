#pragma once

#include <cstdint>

#include "imaging/plane32.h"

namespace Orvex {

// Copies that turn or mirror the image. The source rectangle is first cut
// to the source plane; the turned result is placed with its top-left
// corner at (dx, dy) and cut to this plane and the clip. Angles turn
// clockwise on the screen. The source may be `dest`.
void MirrorCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, const PlaneClip& clip);
void FlipCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
              const PlaneRect& source_rect, const PlaneClip& clip);
void Rotate180Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip);
// A quarter turn: the result is as wide as the source is high.
void Rotate90Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                  const PlaneRect& source_rect, const PlaneClip& clip);
void Rotate270Copy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                   const PlaneRect& source_rect, const PlaneClip& clip);
// Turns by any angle in degrees about the centre, filling the bounding box
// of the turned image; where it maps outside the source, `background` (red
// in the low byte) shows. Angles within 0.0001 of a quarter turn are done
// exactly; others are interpolated bilinearly (RotateCopy) or take the
// nearest pixel (RotateCopyNearest). Infinite or undefined angles draw
// nothing.
void RotateCopy(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                const PlaneRect& source_rect, double degrees, uint32_t background,
                const PlaneClip& clip);
void RotateCopyNearest(CPlane32& dest, const CPlane32& source, int32_t dx, int32_t dy,
                       const PlaneRect& source_rect, double degrees, uint32_t background,
                       const PlaneClip& clip);

namespace Detail {

// The angle brought into [0, 360), and which exact path it takes.
enum class RotatePath { kCopy, k90, k180, k270, kGeneral, kNone };
RotatePath ChooseRotatePath(double& degrees);

}  // namespace Detail

}  // namespace Orvex
