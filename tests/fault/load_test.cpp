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

std::string Name(const TempFolder& folder, int i)
{
    return folder.Path() + "\\f" + std::to_string(i);
}

TEST_F(LoadFault, ThousandsOfChangesEndInTheTruthAndLeakNothing)
{
    TempFolder folder;
    WriteString(SettingsKey, "Folder", folder.Path());
    RunningProgram program;
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
                    folder.AddFile(("f" + std::to_string(i)).c_str());
            }
            for (int i = 0; i < burst; ++i)
                RemoveTree(Name(folder, i));
            done += burst;
            cycles += burst;
        }
    };
    // Ends a stretch of churn by adding a last entry or taking it away, turn
    // about, and checks the icon comes to show the folder as it is. The churn
    // leaves the folder as it found it, so the picture to come is never the
    // one shown before the stretch; and as the folder is never empty while
    // the last entry is in it, Empty after taking it away shows the program
    // has caught up with everything.
    bool leftOver = false;
    auto settle = [&](const char* what) {
        leftOver = !leftOver;
        if (leftOver)
            folder.AddFile("left-over");
        else
            DeleteFileA((folder.Path() + "\\left-over").c_str());
        const TrayPicture truth = Truth(folder.Path());
        EXPECT_EQ(truth, WaitForTrayPicture(truth, 5000)) << what << " after " << cycles << " cycles";
        EXPECT_TRUE(Responds(program.window));
    };

    // Warm-up: whatever the first scans and sounds load once.
    churn(100);
    settle("warm-up");
    settle("warm-up");
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

    if (leftOver)
        settle("the end");
    ASSERT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    const Usage after = Measure(program.ProcessId());
    std::printf("%d create/delete cycles in %lu ms\n", cycles - warmCycles, churnMs);
    RecordProperty("cycles", cycles - warmCycles);
    ExpectFlat(before, after, cycles - warmCycles, "create/delete churn");
    EXPECT_EQ(0u, program.Exit());
}

using Copies = std::vector<std::unique_ptr<RunningProgram>>;

void StartCopies(Copies* started, int copies)
{
    for (int i = 0; i < copies; ++i) {
        started->emplace_back(new RunningProgram);
        ASSERT_TRUE(started->back()->Start());
    }
}

// Copies started together: exactly one stays, the rest end with 0 quickly,
// and the registry holds what the one that stayed wrote. Copies started
// later end without touching it.
TEST_F(LoadFault, ManyCopiesStartedAtOnceLeaveExactlyOne)
{
    TempFolder folder;
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
        WriteNumber(SettingsKey, "Notify", 0);
        WriteString(RunKey, "Tarnwick", "stale");
        auto expected = Snapshot(SettingsKey);

        Copies started;
        ASSERT_NO_FATAL_FAILURE(StartCopies(&started, copies));
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
        EXPECT_EQ(RawString("\"" + ProgramFile() + "\""), Stored(RunKey, "Tarnwick"));

        // A start would rewrite a number stored as a string and store a
        // missing one; copies that find one running must not start.
        ASSERT_TRUE(WaitForLoop(window));
        WriteRaw(SettingsKey, "Buzzer", RawString("2"));
        DeleteValue(SettingsKey, "Rescan");
        const auto spoiled = Snapshot(SettingsKey);
        Copies later;
        ASSERT_NO_FATAL_FAILURE(StartCopies(&later, copies));
        for (auto& copy : later)
            EXPECT_EQ(0u, copy->WaitForExit());
        EXPECT_EQ(spoiled, Snapshot(SettingsKey));
        EXPECT_TRUE(survivor->Running());
        EXPECT_EQ(0u, survivor->Exit());
    }

    // At a first start the one that stays asks for a folder.
    ClearSettings();
    Copies started;
    ASSERT_NO_FATAL_FAILURE(StartCopies(&started, copies));
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
    EXPECT_TRUE(AnswerBrowser(browser, ""));
    EXPECT_EQ(0u, asking->WaitForExit());
    const auto stored = Snapshot(SettingsKey);
    EXPECT_EQ(6u, stored.size());
    ASSERT_TRUE(stored.count("Folder"));
    EXPECT_EQ(RawString(""), stored.at("Folder"));
}

} // namespace
