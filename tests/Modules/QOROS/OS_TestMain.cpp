// The toolkit's base is initialised once for the whole run (standard
// folders, process launching), with a known argument list.
#include <gtest/gtest.h>

#include <wx/init.h>

#include <memory>

namespace {

class TWxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static char arg0[] = "QOROS_tests";
        static char arg1[] = "--scene";
        static char arg2[] = "caf\xc3\xa9 file.txt";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        static int argc = 3;
        Init = std::make_unique<wxInitializer>(argc, argv);
        ASSERT_TRUE(Init->IsOk());
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};

[[maybe_unused]] const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TWxEnvironment);

} // namespace
