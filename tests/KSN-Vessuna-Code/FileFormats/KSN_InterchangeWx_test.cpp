// The toolkit's base, once for the run of the interchange tests: the
// application object's folders, the temporary folder and images come from it.
// wxInitializer counts its users, so other suites of this executable may hold
// their own.
#include <gtest/gtest.h>

#include <memory>

#include <wx/init.h>

namespace {

class TInterchangeWxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static char arg0[] = "KSN_FileFormats_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        Init = std::make_unique<wxInitializer>(argc, argv);
        ASSERT_TRUE(Init->IsOk());
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};
[[maybe_unused]] const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TInterchangeWxEnvironment);

} // namespace
