#include "TestFolder.h"

#include "platform/Process.h"
#include "platform/StopSignals.h"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

const char kPidFile[] = "METERLINK_PID_FILE";

TEST(PlatformProcess, AliveWhileRunningNotOnceEnded)
{
    EXPECT_TRUE(platform::processIsAlive(platform::currentProcessId()));
    EXPECT_FALSE(platform::processIsAlive(0));
    EXPECT_FALSE(platform::processIsAlive(-1));

    TestFolder folder;
    const std::string pidFile = folder.path("pid");
    const std::string self = selfPath(::testing::internal::GetArgvs()[0].c_str());
    ASSERT_TRUE(runSelf(self, "PlatformProcessChild.*", {{kPidFile, pidFile}}));
    const std::string pid = readFile(pidFile);
    ASSERT_FALSE(pid.empty());
    EXPECT_NE(std::atoll(pid.c_str()), platform::currentProcessId());
    EXPECT_FALSE(platform::processIsAlive(std::atoll(pid.c_str())));
    EXPECT_EQ(platform::processName(std::atoll(pid.c_str())), "");

    // Systems may cut the name short, never change it.
    const std::string name = platform::processName(platform::currentProcessId());
    ASSERT_FALSE(name.empty());
    EXPECT_EQ(fsPath(self).stem().u8string().rfind(name, 0), 0u) << name;
}

// Run by the test above as another process: leaves its id behind and ends.
TEST(PlatformProcessChild, DISABLED_WritesItsId)
{
    const char *path = std::getenv(kPidFile);
    ASSERT_TRUE(path);
    ASSERT_TRUE(writeFile(path, std::to_string(platform::currentProcessId())));
}

TEST(PlatformStopSignals, NoRequestMeansTheWaitRunsOut)
{
    ASSERT_TRUE(platform::installStopHandlers(false));
    EXPECT_FALSE(platform::stopRequested());
    EXPECT_FALSE(platform::waitForStop(10));
    platform::removeStopHandlers();
}

#ifndef _WIN32
TEST(PlatformStopSignals, EachSignalRequestsTheEnd)
{
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(s);
        ASSERT_TRUE(platform::installStopHandlers(true));
        ASSERT_GE(platform::stopWaitHandle(), 0);
        std::raise(s);
        EXPECT_TRUE(platform::stopRequested());
        EXPECT_TRUE(platform::waitForStop(0));
        char byte = 0;
        EXPECT_EQ(::read(platform::stopWaitHandle(), &byte, 1), 1); // the event loop is woken too
        platform::removeStopHandlers();
        EXPECT_FALSE(platform::stopRequested());
    }
}
#endif

} // namespace
