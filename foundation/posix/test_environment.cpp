#include "foundation/test_environment.h"

namespace Orvex::Testing {

bool RunsUnderWine() { return false; }

}  // namespace Orvex::Testing
