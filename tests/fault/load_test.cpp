// Load: thousands of changes to the folder, many faster than a scan, and
// many copies of the program started at once.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "tests/fault/fault_support.h"

namespace {

class LoadFault : public testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }
};

std::string Name(const ScratchFolder& folder, int i)
{
    return folder.Path() + "\\f" + std::to_string(i);
}

TEST_F(LoadFault, ThousandsOfChangesEndInTheTruthAndLeakNothing)
{
    ScratchFolder folder;
    WriteString(SettingsKey, "Folder", folder.Path());
    WatchingProgram program;
    ASSERT_TRUE(program.Open());
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));

    std::mt19937 random(7);
    int cycles = 0;
    // One cycle makes one entry and removes it again, alone or in a burst.
    auto churn = [&](int count) {
        for (int done = 0; done < count;) {
            const int burst = random() % 4 == 0 ? 1 + int(random() % 40) : 1;
            for (int i = 0; i < burst; ++i) {
                if (random() % 8 == 0)
                    CreateDirectoryA(Name(folder, i).c_str(), nullptr);
                else
                    folder.Add(("f" + std::to_string(i)).c_str());
            }
            for (int i = 0; i < burst; ++i)
                RemoveTree(Name(folder, i));
            done += burst;
            cycles += burst;
        }
    };
    // Ends a stretch of churn with the folder empty or not, and checks the
    // icon comes to show which.
    auto settle = [&](const char* what) {
        if (random() % 2)
            folder.Add("left-over");
        else
            DeleteFileA((folder.Path() + "\\left-over").c_str());
        const TrayPicture truth = Truth(folder.Path());
        EXPECT_EQ(truth, WaitForTrayPicture(truth, 5000)) << what << " after " << cycles << " cycles";
        EXPECT_TRUE(Responds(program.window));
    };

    // Warm-up: whatever the first scans and sounds load once.
    churn(100);
    settle("warm-up");
    DeleteFileA((folder.Path() + "\\left-over").c_str());
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    const int warmCycles = cycles;
    const Usage before = Measure(program.ProcessId());

    const int stretches = Rounds(10, 200);
    const int perStretch = 500;
    const DWORD start = GetTickCount();
    for (int s = 0; s < stretches; ++s) {
        churn(perStretch);
        settle("a stretch of churn");
    }
    const DWORD churnMs = GetTickCount() - start;

    DeleteFileA((folder.Path() + "\\left-over").c_str());
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    const Usage after = Measure(program.ProcessId());
    std::printf("%d create/delete cycles in %lu ms\n", cycles - warmCycles, churnMs);
    RecordProperty("cycles", cycles - warmCycles);
    ExpectFlat(before, after, cycles - warmCycles, "create/delete churn");
    EXPECT_EQ(0u, program.Exit());
}

// Copies started together: exactly one stays, the rest end with 0 quickly,
// and the registry holds what the one that stayed wrote.
TEST_F(LoadFault, ManyCopiesStartedAtOnceLeaveExactlyOne)
{
    ScratchFolder folder;
    const int rounds = Rounds(2, 20);
    const int copies = 10;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        ClearSettings();
        WriteString(SettingsKey, "Folder", folder.Path());
        WriteNumber(SettingsKey, "Buzzer", 2);
        WriteNumber(SettingsKey, "Rescan", 3);
        WriteNumber(SettingsKey, "See hiddeen files", 0);
        WriteNumber(SettingsKey, "See subfolders", 1);
        WriteString(RunKey, "Tarnwick", "stale");
        auto expected = Snapshot(SettingsKey);

        std::vector<std::unique_ptr<RunningProgram>> started;
        for (int i = 0; i < copies; ++i) {
            started.emplace_back(new RunningProgram);
            ASSERT_TRUE(started.back()->Start());
        }
        // All but one end on their own, and soon.
        const DWORD start = GetTickCount();
        int exited = 0;
        while (GetTickCount() - start < 8000) {
            exited = 0;
            for (auto& copy : started)
                exited += copy->Running() ? 0 : 1;
            if (exited >= copies - 1)
                break;
            Sleep(20);
        }
        const DWORD took = GetTickCount() - start;
        Sleep(500);
        RunningProgram* survivor = nullptr;
        int running = 0;
        for (auto& copy : started) {
            if (copy->Running()) {
                ++running;
                survivor = copy.get();
            } else {
                EXPECT_EQ(0u, copy->WaitForExit(0));
            }
        }
        ASSERT_EQ(1, running);
        EXPECT_LT(took, 8000u);
        std::printf("%d copies: %d ended within %lu ms\n", copies, copies - 1, took);
        HWND window = survivor->WaitForWindow();
        ASSERT_NE(nullptr, window);
        ASSERT_TRUE(Responds(window));
        EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
        EXPECT_EQ(expected, Snapshot(SettingsKey));
        std::string run;
        EXPECT_TRUE(ReadString(RunKey, "Tarnwick", &run));
        EXPECT_EQ("\"" + ProgramFile() + "\"", run);
        EXPECT_EQ(0u, survivor->Exit());
    }

    // At a first start the one that stays asks for a folder.
    ClearSettings();
    std::vector<std::unique_ptr<RunningProgram>> started;
    for (int i = 0; i < copies; ++i) {
        started.emplace_back(new RunningProgram);
        ASSERT_TRUE(started.back()->Start());
    }
    RunningProgram* asking = nullptr;
    int running = 0;
    for (auto& copy : started) {
        const DWORD code = copy->WaitForExit(3000);
        if (code == STILL_ACTIVE) {
            ++running;
            asking = copy.get();
        } else {
            EXPECT_EQ(0u, code);
        }
    }
    ASSERT_EQ(1, running);
    HWND browser = asking->WaitForDialog();
    ASSERT_NE(nullptr, browser);
    AnswerBrowser(browser, "");
    EXPECT_EQ(0u, asking->WaitForExit());
    const auto stored = Snapshot(SettingsKey);
    EXPECT_EQ(5u, stored.size());
    ASSERT_TRUE(stored.count("Folder"));
    EXPECT_EQ(RawString(""), stored.at("Folder"));
}

} // namespace
