#include <gtest/gtest.h>

#include "app/CommandLine.h"

namespace {

struct CommandLineCase {
    const char* commandLine;
    CommandLineAction expected;
};

const CommandLineCase kCases[] = {
    {"/usr/bin/VUVed3UzeroVadave", CommandLineAction::RunServer},
    {"/usr/bin/VUVed3UzeroVadave -RegServer", CommandLineAction::RegisterServer},
    {"/usr/bin/VUVed3UzeroVadave -regserver", CommandLineAction::RegisterServer},
    {"/usr/bin/VUVed3UzeroVadave /REGSERVER", CommandLineAction::RegisterServer},
    {"/usr/bin/VUVed3UzeroVadave /unregserver", CommandLineAction::UnregisterServer},
    {"/usr/bin/VUVed3UzeroVadave -Startup", CommandLineAction::RunStartup},
    // The token is the whole rest of the line: a switch followed by anything is not recognised.
    {"/usr/bin/VUVed3UzeroVadave -RegServer ", CommandLineAction::RunServer},
    {"/usr/bin/VUVed3UzeroVadave -Startup -x", CommandLineAction::RunServer},
    // The first token is "RegServer /Startup"; scanning goes on behind its delimiter and finds Startup.
    {"/usr/bin/VUVed3UzeroVadave /RegServer /Startup", CommandLineAction::RunStartup},
    {"/usr/bin/VUVed3UzeroVadave -Embedding", CommandLineAction::RunServer},
    // The program path's own '/' and '-' start tokens that match nothing.
    {"/opt/mail-translate/VUVed3UzeroVadave -UnregServer", CommandLineAction::UnregisterServer},
    {"/opt/x-/RegServer", CommandLineAction::RegisterServer},
    {"VUVed3UzeroVadave", CommandLineAction::RunServer},
    {"", CommandLineAction::RunServer},
    {"VUVed3UzeroVadave -", CommandLineAction::RunServer},
    {"VUVed3UzeroVadave --Startup", CommandLineAction::RunStartup},
    {"VUVed3UzeroVadave -Start", CommandLineAction::RunServer},
};

TEST(ScanCommandLine, FollowsTheSwitchTable) {
    for (const CommandLineCase& testCase : kCases) {
        SCOPED_TRACE(testCase.commandLine);
        EXPECT_EQ(ScanCommandLine(testCase.commandLine), testCase.expected);
    }
}

}  // namespace
