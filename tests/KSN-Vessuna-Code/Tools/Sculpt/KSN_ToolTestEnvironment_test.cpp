// The toolkit's base, once for the run: the application object of the
// project fixture takes its folders from it. No tests live here.
#include "KsnTestWx.h"

namespace {

[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_Tools_Sculpt_tests"});

} // namespace
