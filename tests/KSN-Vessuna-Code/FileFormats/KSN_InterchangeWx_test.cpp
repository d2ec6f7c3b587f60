// The toolkit's base, once for the run of the interchange tests: the
// application object's folders, the temporary folder and images come from it.
// No tests live here.
#include "KsnTestWx.h"

namespace {

[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_FileFormats_tests"});

} // namespace
