// The window toolkit's base is initialised once for the whole run of the
// tests without a canvas: the standard folders come from it.
#include "KsnTestWx.h"

namespace {

[[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_GUI_tests"});

} // namespace
