// The window toolkit's base is initialised once for the whole run of the
// tests without a canvas: the standard folders come from it.
#include <gtest/gtest.h>

#include <wx/init.h>

#include <memory>

namespace {

class TWxEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static char arg0[] = "KSN_GUI_tests";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        Init = std::make_unique<wxInitializer>(argc, argv);
        ASSERT_TRUE(Init->IsOk());
    }
    void TearDown() override { Init.reset(); }

private:
    std::unique_ptr<wxInitializer> Init;
};

[[maybe_unused]] const auto* const Registered = ::testing::AddGlobalTestEnvironment(new TWxEnvironment);

} // namespace
