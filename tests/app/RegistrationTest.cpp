// Registration and unregistration by the real executable, checked on the hive files.
#include <filesystem>

#include "app/ServerProcessFixture.h"

using win32::HKEY_CLASSES_ROOT;
using win32::HKEY_LOCAL_MACHINE;

namespace {

const std::string kClsidKey = "CLSID\\{B0AB35D0-8C47-4028-9461-EF7222FF64B1}";
const std::string kComponentKey = "Software\\Norvale\\Dunmo\\Component\\RiloVUVed3UzeroVadave.Application";
const std::string kTypeLibKey = "TypeLib\\{27999DC1-C79C-11D2-AB92-00E0292B5795}\\4.0";
const std::string kInterfaceKey = "Interface\\{AB3E4251-C7FA-11D2-AB97-00E0292B5795}";
const std::string kOtherClassKey = "CLSID\\{00000000-1111-2222-3333-444444444444}";
const std::string kOtherComponentKey = "Software\\Norvale\\Dunmo\\Component\\Other.Application";

using Registration = ServerProcessTest;

TEST_F(Registration, RegServerReplacesOurKeysAndUnregServerLeavesTheSharedOnesAndTheTypeLibrary) {
    // Stale contents of our keys go; entries of other programs below the shared keys must survive.
    WriteText(HKEY_CLASSES_ROOT, kClsidKey + "\\InprocServer32", nullptr, "/old/library.so");
    WriteText(HKEY_LOCAL_MACHINE, kComponentKey + "\\Stale", nullptr, "x");
    WriteText(HKEY_CLASSES_ROOT, kOtherClassKey, nullptr, "another class");
    WriteText(HKEY_LOCAL_MACHINE, kOtherComponentKey, nullptr, "");
    const ProcessResult registered = RunProgram({ServerExecutable(), "-RegServer"}, std::chrono::seconds(30));
    ASSERT_EQ(registered.exitCode, 0) << registered.errors;

    // The texts come from the scripts as they are; what registration computes is where the executable is.
    const std::string executable = std::filesystem::canonical(ServerExecutable());
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kClsidKey + "\\LocalServer32"), executable);
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, kTypeLibKey + "\\409\\win32"), executable);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kClsidKey + "\\InprocServer32"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey + "\\Stale"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey));

    const ProcessResult unregistered =
        RunProgram({ServerExecutable(), "/UnregServer"}, std::chrono::seconds(30));
    ASSERT_EQ(unregistered.exitCode, 0) << unregistered.errors;
    for (const std::string& gone :
         {std::string("AppID\\{FFB383F0-3764-4dfe-9B70-199BEA0D72F9}"),
          std::string("AppID\\VUVed3UzeroVadave.EXE"), std::string("RiloVUVed3UzeroVadave.Application.4"),
          std::string("RiloVUVed3UzeroVadave.Application"), kClsidKey}) {
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, gone)) << gone;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kComponentKey));
    for (const std::string& stays :
         {std::string("AppID"), std::string("CLSID"), kOtherClassKey, kTypeLibKey, kInterfaceKey}) {
        EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, stays)) << stays;
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kOtherComponentKey));
}

TEST_F(Registration, FailureGivesExitCodeOneAndTheHresult) {
    // A registry folder that is a file cannot hold hives.
    const ProcessResult result = RunProgram({ServerExecutable(), "-RegServer"}, std::chrono::seconds(30),
                                            {"VUVED_REGISTRY_DIR=/dev/null"});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find("HRESULT 0x8007"), std::string::npos) << result.errors;
}

}  // namespace
