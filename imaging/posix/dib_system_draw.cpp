#include "imaging/dib_system_draw.h"

namespace Orvex::Detail {

// No system drawing here: the portable converter handles every bitmap.
bool DrawDibThroughSystem(PlaneDeviceContext, const DibSource&, const PlaneRect&, int32_t,
                          int32_t) {
  return false;
}

}  // namespace Orvex::Detail
