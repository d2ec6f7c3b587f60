// The toolkit's base is initialised once for the whole run (standard
// folders, process launching), with a known argument list.
#include "KsnTestWx.h"

namespace {

[[maybe_unused]] const auto* const Registered =
    KsnRegisterWxBase({"QOROS_tests", "--scene", "caf\xc3\xa9 file.txt"});

} // namespace
