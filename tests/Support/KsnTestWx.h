// The toolkit's base, initialised once for a test program's whole run with a
// known argument list: standard folders, the temporary folder, images and
// process launching come from it. wxInitializer counts its users, so other
// suites of the same program may hold their own.
//
//     [[maybe_unused]] const auto* const Registered = KsnRegisterWxBase({"KSN_Shell_tests"});
//
// Without arguments the toolkit starts with none, as a library user would.
#pragma once

#include <gtest/gtest.h>

#include <wx/init.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

class TWxBaseEnvironment : public ::testing::Environment {
public:
    explicit TWxBaseEnvironment(std::initializer_list<const char*> arguments)
        : Arguments(arguments.begin(), arguments.end())
    {
    }

    void SetUp() override
    {
        if (Arguments.empty()) {
            Init = std::make_unique<wxInitializer>();
            ASSERT_TRUE(Init->IsOk());
            return;
        }
        // The toolkit keeps pointers into the list, so it lives as long as the environment.
        Argv.clear();
        for (std::string& argument : Arguments) Argv.push_back(argument.data());
        Argv.push_back(nullptr);
        Argc = int(Arguments.size());
        Init = std::make_unique<wxInitializer>(Argc, Argv.data());
        ASSERT_TRUE(Init->IsOk());
    }
    void TearDown() override { Init.reset(); }

private:
    std::vector<std::string> Arguments;
    std::vector<char*> Argv;
    int Argc = 0;
    std::unique_ptr<wxInitializer> Init;
};

// Registers the environment with gtest, which owns it from then on.
inline ::testing::Environment* KsnRegisterWxBase(std::initializer_list<const char*> arguments = {})
{
    return ::testing::AddGlobalTestEnvironment(new TWxBaseEnvironment(arguments));
}
