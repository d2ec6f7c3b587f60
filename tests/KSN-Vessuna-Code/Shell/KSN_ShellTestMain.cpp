// The toolkit's base is initialised once for the whole run: the standard
// folders (user data, temporary) come from it.
#include "KsnTestWx.h"

namespace {

[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_Shell_tests"});

} // namespace
