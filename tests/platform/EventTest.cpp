#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/Sync.h"
#include "support/ScopedEvent.h"

namespace {

using win32::HANDLE;

// Each script runs on a fresh event: S set, R reset; w a wait of 0 that takes or sees the event, t one that times out.
TEST(Event, FollowsItsKindThroughSetAndReset)
{
    const struct {
        const char* name;
        bool manualReset;
        bool initialState;
        const char* script;
    } cases[] = {
        {"auto, set", false, true, "wt"},
        {"auto, clear", false, false, "tt"},
        {"manual, set", true, true, "ww"},
        {"manual, clear", true, false, "tt"},
        {"auto: sets collapse and one wait takes them", false, false, "SSSSSwt"},
        {"manual: stays set until reset", true, false, "SSwwRt"},
        {"auto: reset clears, a later set counts again", false, true, "RtSwt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEvent event(c.manualReset, c.initialState);
        for (const char* step = c.script; *step != '\0'; ++step) {
            SCOPED_TRACE(testing::Message() << "step " << step - c.script);
            switch (*step) {
            case 'S': EXPECT_TRUE(win32::SetEvent(event.handle)); break;
            case 'R': EXPECT_TRUE(win32::ResetEvent(event.handle)); break;
            default:
                EXPECT_EQ(win32::WaitForSingleObject(event.handle, 0),
                          *step == 'w' ? win32::WAIT_OBJECT_0 : win32::WAIT_TIMEOUT);
            }
        }
    }
}

// A wait for any returns the lowest signalled position and takes only that one.
TEST(Wait, TakesOnlyTheLowestSignalledObject)
{
    ScopedEvent first(false, false);
    ScopedEvent second(false, true);
    ScopedEvent third(false, true);
    const HANDLE handles[] = {first.handle, second.handle, third.handle};
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_OBJECT_0 + 1);
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_OBJECT_0 + 2);
    EXPECT_EQ(win32::WaitForMultipleObjects(3, handles, win32::FALSE, 0), win32::WAIT_TIMEOUT);
}

// The lock file is made only in the user's private runtime folder, and never through a link planted there.
TEST(NamedMutex, LockFileIsNeverMadeInAnOpenFolderOrThroughALink)
{
    std::string base = (std::filesystem::temp_directory_path() / "vuved-mutex-XXXXXX").string();
    ASSERT_NE(::mkdtemp(base.data()), nullptr);
    const char* previous = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> saved = previous != nullptr ? std::optional<std::string>(previous) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
    const std::string folder = base + "/VUVed3UzeroVadave";
    const std::string planted = base + "/planted";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    for (const bool privateFolder : {false, true}) {
        SCOPED_TRACE(privateFolder ? "private folder, planted link" : "folder others may enter");
        ASSERT_EQ(::chmod(folder.c_str(), privateFolder ? 0700 : 0755), 0);
        ASSERT_EQ(::symlink(planted.c_str(), (folder + "/Linked").c_str()), 0);
        const HANDLE linked = win32::CreateMutex(nullptr, win32::TRUE, "Linked");
        const HANDLE plain = win32::CreateMutex(nullptr, win32::TRUE, "Plain");
        ASSERT_NE(linked, nullptr);
        EXPECT_NE(::access(planted.c_str(), F_OK), 0) << "the lock file was made through the link";
        EXPECT_EQ(::access((folder + "/Plain").c_str(), F_OK) == 0, privateFolder);
        win32::CloseHandle(linked);
        win32::CloseHandle(plain);
        for (const std::string& path : {folder + "/Linked", folder + "/Plain", planted}) {
            ::unlink(path.c_str());
        }
    }
    std::filesystem::remove_all(base);
    saved ? ::setenv("XDG_RUNTIME_DIR", saved->c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
