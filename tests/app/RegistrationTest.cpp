// Registration and unregistration by the real executable, checked on the hive files.
#include <climits>
#include <cstdlib>

#include "app/ServerProcessFixture.h"

using win32::HKEY_CLASSES_ROOT;
using win32::HKEY_LOCAL_MACHINE;

namespace {

constexpr const char* kClsidKey = "CLSID\\{B0AB35D0-8C47-4028-9461-EF7222FF64B1}";
constexpr const char* kAppIdKey = "AppID\\{FFB383F0-3764-4dfe-9B70-199BEA0D72F9}";
constexpr const char* kComponentKey = "Software\\Norvale\\Dunmo\\Component\\RiloVUVed3UzeroVadave.Application";
constexpr const char* kTypeLibKey = "TypeLib\\{27999DC1-C79C-11D2-AB92-00E0292B5795}\\4.0";
constexpr const char* kInterfaceKey = "Interface\\{AB3E4251-C7FA-11D2-AB97-00E0292B5795}";

using Registration = ServerProcessTest;

std::string ExecutablePath() {
    char resolved[PATH_MAX];
    return realpath(ServerExecutable().c_str(), resolved) != nullptr ? resolved : "";
}

ProcessResult RunServer(const std::string& switchText) {
    return RunProgram({ServerExecutable(), switchText}, std::chrono::seconds(30));
}

TEST_F(Registration, RegServerWritesTheScriptsAndTheTypeLibrary) {
    const ProcessResult result = RunServer("-RegServer");
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    // The texts come from the scripts as they are; what registration computes is where the executable is.
    // (vuvedctl's start activates the server through these keys: tests/tools.)
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\LocalServer32", nullptr), ExecutablePath());
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, std::string(kTypeLibKey) + "\\409\\win32", nullptr), ExecutablePath());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kInterfaceKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey));
}

TEST_F(Registration, UnregServerLeavesNoRemoveKeysAndTheTypeLibrary) {
    // Entries of other programs below the shared keys must survive.
    WriteText(HKEY_CLASSES_ROOT, "CLSID\\{00000000-1111-2222-3333-444444444444}", nullptr, "another class");
    WriteText(HKEY_LOCAL_MACHINE, "Software\\Norvale\\Dunmo\\Component\\Other.Application", nullptr, "");
    ASSERT_EQ(RunServer("/RegServer").exitCode, 0);
    const ProcessResult result = RunServer("/UnregServer");
    ASSERT_EQ(result.exitCode, 0) << result.errors;

    for (const char* gone : {kAppIdKey, "AppID\\VUVed3UzeroVadave.EXE", "RiloVUVed3UzeroVadave.Application.4",
                             "RiloVUVed3UzeroVadave.Application", kClsidKey}) {
        SCOPED_TRACE(gone);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone));
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey));
    for (const char* stays : {"AppID", "CLSID", "CLSID\\{00000000-1111-2222-3333-444444444444}", kTypeLibKey,
                              kInterfaceKey}) {
        SCOPED_TRACE(stays);
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, stays));
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Norvale\\Dunmo\\Component\\Other.Application"));
}

TEST_F(Registration, RegistrationReplacesStaleContentsOfTheClassKey) {
    WriteText(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InprocServer32", nullptr, "/old/library.so");
    WriteText(HKEY_LOCAL_MACHINE, std::string(kComponentKey) + "\\Stale", nullptr, "x");
    ASSERT_EQ(RunServer("-regserver").exitCode, 0);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(kClsidKey) + "\\InprocServer32"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kComponentKey) + "\\Stale"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey));
}

TEST_F(Registration, FailureGivesExitCodeOneAndTheHresult) {
    // A registry folder that is a file cannot hold hives.
    char blocked[] = "/tmp/vuved-blocked-XXXXXX";
    close(mkstemp(blocked));
    const ProcessResult result = RunProgram({ServerExecutable(), "-RegServer"}, std::chrono::seconds(30),
                                            {"VUVED_REGISTRY_DIR=" + std::string(blocked)});
    unlink(blocked);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("HRESULT 0x8007"), std::string::npos) << result.errors;
}

}  // namespace
