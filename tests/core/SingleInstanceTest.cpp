#include "SingleInstance.h"
#include "MessageLoop.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <future>

namespace
{
constexpr const char* kName = "KALIMOR-TEST-INSTANCE";
}

TEST(SingleInstance, TheFirstStartHoldsTheLockAndHearsTheOthers)
{
    CTempDir dir;
    CScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    CSingleInstance first(kName);
    ASSERT_TRUE(first.Acquire());
    EXPECT_EQ(first.GetLockPath(), dir.Path() + "/kalimor/" + kName + ".lock");
    struct stat info
    {
    };
    ASSERT_EQ(::stat((dir.Path() + "/kalimor").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "a private folder";

    std::vector<unsigned> heard;
    std::mutex mutex;
    ASSERT_TRUE(first.StartListening([&](unsigned nMessage) {
        std::lock_guard lock(mutex);
        heard.push_back(nMessage);
    }));

    CSingleInstance second(kName);
    EXPECT_FALSE(second.Acquire()) << "one client per user";
    EXPECT_TRUE(second.IsHeldByOther());
    EXPECT_TRUE(second.SendToRunning(1125));
    EXPECT_TRUE(second.SendToRunning(1127));
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(heard, (std::vector<unsigned>{1125, 1127}))
            << "each message answered before the sender goes on";
    }

    first.StopListening();
    EXPECT_FALSE(second.SendToRunning(1125)) << "nobody listens";
}

TEST(SingleInstance, TheLockGoesWithTheProcessThatHeldIt)
{
    CTempDir dir;
    CScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    {
        CSingleInstance first(kName);
        ASSERT_TRUE(first.Acquire());
    }
    CSingleInstance next(kName);
    EXPECT_FALSE(next.IsHeldByOther());
    EXPECT_TRUE(next.Acquire());
}

TEST(SingleInstance, AFolderOpenToOthersIsNotUsed)
{
    CTempDir dir;
    CScopedEnv runtime("XDG_RUNTIME_DIR", dir.Path());
    std::filesystem::create_directory(dir.Path() + "/kalimor");
    ::chmod((dir.Path() + "/kalimor").c_str(), 0777);
    EXPECT_EQ(CSingleInstance::GetRuntimeFolder(), "");
    CSingleInstance instance(kName);
    EXPECT_TRUE(instance.Acquire()) << "better a second client than none";
    EXPECT_FALSE(instance.StartListening([](unsigned) {}));
}

TEST(MessageLoop, SendersNeverHangAndQuitEndsNestedLoops)
{
    CMessageLoop loop;
    loop.BindToCurrentThread();
    // A sender on another thread gets its answer from a nested loop too.
    std::atomic<int> nValue{0};
    bool bInner = false;
    loop.PostTask([&] {
        auto sent =
            std::async(std::launch::async, [&] { return loop.SendTask([&] { nValue = 7; }); });
        loop.RunUntil([&] { return nValue == 7; });
        EXPECT_TRUE(sent.get());
        loop.PostTask([&] { loop.Quit(3); });
        bInner = loop.RunUntil([] { return false; });
    });
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_FALSE(bInner) << "the nested loop ended by Quit";
    // After the loop ended, a sender is told so instead of waiting for ever.
    EXPECT_FALSE(std::async(std::launch::async, [&] { return loop.SendTask([] {}); }).get());
    EXPECT_FALSE(loop.PostTask([] {}));
}

TEST(MessageLoop, TimersRunInOrderAndCanKillThemselves)
{
    CMessageLoop loop;
    std::vector<std::string> order;
    unsigned nSelf = 0;
    nSelf = loop.SetTimer(std::chrono::milliseconds(1), [&] {
        order.push_back("once");
        loop.KillTimer(nSelf);
    });
    int nTicks = 0;
    const unsigned nRepeat = loop.SetTimer(std::chrono::milliseconds(2), [&] { ++nTicks; });
    loop.RunUntil([&] { return nTicks >= 3; });
    loop.KillTimer(nRepeat);
    EXPECT_EQ(order, std::vector<std::string>{"once"});
    EXPECT_FALSE(loop.HasTimer(nSelf));
    EXPECT_FALSE(loop.HasTimer(nRepeat));
}
