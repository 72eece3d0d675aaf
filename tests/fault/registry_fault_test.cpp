// Bad registry data, written by hand before a start and while the program
// runs: the program starts, reads what it cannot use as the default, and
// rewrites only the five numbers and the Run value.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "resource.h"
#include "tests/fault/fault_support.h"

namespace {

constexpr int Numbers = 5;
const char* const NumberNames[Numbers] = {"Buzzer", "Rescan", "See hiddeen files", "See subfolders",
                                          "Notify"};
const DWORD NumberDefaults[Numbers] = {1, 0, 1, 1, 1};

std::string Bytes(const void* data, size_t size)
{
    return std::string(static_cast<const char*>(data), size);
}

// Shapes a number cannot be read from.
std::vector<RawValue> BadNumbers()
{
    const DWORD two = 2;
    const ULONGLONG wide = 2;
    return {
        RawString("2"),
        RawString(""),
        Raw(REG_DWORD, ""),
        Raw(REG_DWORD, Bytes(&two, 2)),
        Raw(REG_DWORD, Bytes(&two, 3)),
        Raw(REG_DWORD, Bytes(&wide, 5)),
        Raw(REG_DWORD, Bytes(&wide, 8)),
        Raw(REG_BINARY, Bytes(&two, 4)),
        Raw(REG_QWORD, Bytes(&wide, 8)),
        Raw(REG_DWORD_BIG_ENDIAN, Bytes(&two, 4)),
        Raw(REG_MULTI_SZ, std::string("2\0\0", 3)),
        Raw(REG_NONE, Bytes(&two, 4)),
        Raw(REG_BINARY, std::string(600, '\2')),
        Raw(REG_EXPAND_SZ, std::string("%X%\0", 4)),
    };
}

class RegistryFault : public testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        // A hidden subfolder is counted only while both hidden entries and
        // subfolders count, as they do by default.
        const std::string sub = folder.Path() + "\\hidden-sub";
        CreateDirectoryA(sub.c_str(), nullptr);
        SetFileAttributesA(sub.c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    void TearDown() override { ClearSettings(); }

    // Starts the program, lets it read and rewrite, checks it shows what the
    // folder holds under the settings it should have read, and ends it.
    void StartAndExit(TrayPicture expected)
    {
        RunningProgram program;
        ASSERT_TRUE(program.Open());
        EXPECT_EQ(expected, WaitForTrayPicture(expected));
        EXPECT_EQ(0u, program.Exit());
    }

    // Starts the program on a folder value it cannot use: it must ask, and
    // cancelling must end it with 0.
    void StartAndCancelBrowser()
    {
        RunningProgram program;
        ASSERT_TRUE(program.Start());
        HWND browser = program.WaitForDialog();
        ASSERT_NE(nullptr, browser);
        EXPECT_TRUE(AnswerBrowser(browser, ""));
        EXPECT_EQ(0u, program.WaitForExit());
    }

    void ExpectNumber(const char* name, DWORD expected, const char* why)
    {
        WaitForValue(SettingsKey, name, RawNumber(expected));
        EXPECT_EQ(RawNumber(expected), Stored(SettingsKey, name)) << name << why;
    }

    TempFolder folder;
};

TEST_F(RegistryFault, NumbersOfTheWrongTypeOrLengthReadAsDefaults)
{
    const std::vector<RawValue> shapes = BadNumbers();
    const RawValue note = RawString("left alone");
    // Every value meets every bad shape over as many starts as there are shapes.
    for (size_t start = 0; start < shapes.size(); ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        WriteString(SettingsKey, "Folder", folder.Path());
        WriteRaw(SettingsKey, "Notes", note);
        for (int i = 0; i < Numbers; ++i)
            WriteRaw(SettingsKey, NumberNames[i], shapes[(start + 4 * i) % shapes.size()]);
        const auto before = Snapshot(SettingsKey);

        ASSERT_NO_FATAL_FAILURE(StartAndExit(TrayPicture::NotEmpty));

        // The defaults are what it held, so they are what it wrote back; no
        // stray byte of the bad data made it into a number.
        for (int i = 0; i < Numbers; ++i)
            ExpectNumber(NumberNames[i], NumberDefaults[i], " (bad shape)");
        const auto after = Snapshot(SettingsKey);
        EXPECT_EQ(before.at("Folder"), after.at("Folder"));
        EXPECT_EQ(note, after.at("Notes"));
        EXPECT_EQ(2u + Numbers, after.size());
    }
}

TEST_F(RegistryFault, OutOfRangeNumbersAreKeptAndActedOnAsDocumented)
{
    const DWORD buzzers[] = {7, 0xFFFFFFFF, 0x80000000};
    const DWORD rescans[] = {4, 0xFFFFFFFF, 0x80000000 /* far below any menu id */};
    const DWORD flags[] = {2, 0xFFFFFFFF, 0x80000000};
    for (int start = 0; start < 3; ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        WriteString(SettingsKey, "Folder", folder.Path());
        WriteNumber(SettingsKey, "Buzzer", buzzers[start]);
        WriteNumber(SettingsKey, "Rescan", rescans[start]);
        WriteNumber(SettingsKey, "See hiddeen files", flags[start]);
        WriteNumber(SettingsKey, "See subfolders", flags[(start + 1) % 3]);

        RunningProgram program;
        ASSERT_TRUE(program.Open());
        // Non-zero flags are on: the hidden subfolder counts.
        EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
        // A delay outside the table waits like Disabled: no busy loop.
        const double cpu = CpuMilliseconds(program.ProcessId());
        Sleep(1500);
        EXPECT_LT(CpuMilliseconds(program.ProcessId()) - cpu, 150.0)
            << "spinning with Rescan " << rescans[start];
        EXPECT_TRUE(Responds(program.window));
        ExpectNumber("Buzzer", buzzers[start], " (kept)");
        ExpectNumber("Rescan", rescans[start], " (kept)");
        ExpectNumber("See hiddeen files", flags[start], " (kept)");
        ExpectNumber("See subfolders", flags[(start + 1) % 3], " (kept)");

        // The menu's commands still set proper values afterwards.
        PostMessageA(program.window, WM_COMMAND, IDM_RESCAN_SHORT, 0);
        PostMessageA(program.window, WM_COMMAND, IDM_BUZZER_QUIET, 0);
        ASSERT_TRUE(Responds(program.window));
        ExpectNumber("Rescan", 1, " (chosen)");
        ExpectNumber("Buzzer", 0, " (chosen)");
        EXPECT_EQ(0u, program.Exit());
    }
}

TEST_F(RegistryFault, AFolderValueThatCannotBeReadAsksAndIsNotRewritten)
{
    const std::string path = folder.Path();
    const std::string file = folder.AddFile("a-file.txt");
    const DWORD number = 0x5C3A43; // "C:\" as bytes
    const std::vector<RawValue> shapes = {
        Raw(REG_DWORD, Bytes(&number, 4)),
        Raw(REG_EXPAND_SZ, path + '\0'),
        Raw(REG_BINARY, path + '\0'),
        Raw(REG_MULTI_SZ, path + std::string("\0\0", 2)),
        RawString(path + "\\" + std::string(1027 - path.size(), 'x')), // 1028 characters
        RawString(std::string(3000, 'y')),
        Raw(REG_SZ, std::string(1028, 'z')), // no room left for a terminating zero
        RawString(file),                     // names a file
        Raw(REG_SZ, ""),
    };
    for (size_t i = 0; i < shapes.size(); ++i) {
        SCOPED_TRACE("shape " + std::to_string(i) + ": " + Show(shapes[i]));
        WriteRaw(SettingsKey, "Folder", shapes[i]);
        const RawValue before = Stored(SettingsKey, "Folder");
        ASSERT_NO_FATAL_FAILURE(StartAndCancelBrowser());
        EXPECT_EQ(before, Stored(SettingsKey, "Folder"));
        for (int n = 0; n < Numbers; ++n)
            ExpectNumber(NumberNames[n], NumberDefaults[n], " (written at start)");
        // With a Folder value present, the absent Run value means "off".
        EXPECT_EQ(Missing, Stored(RunKey, "Tarnwick"));
    }
}

TEST_F(RegistryFault, FolderStringsOfOddShapeThatCanBeReadAreWatched)
{
    const std::string path = folder.Path();
    const std::string missing = path + "\\" + std::string(1026 - path.size(), 'm'); // 1027 characters
    const struct {
        RawValue value;
        std::string folder;
    } cases[] = {
        {Raw(REG_SZ, path), path},                            // no terminating zero
        {Raw(REG_SZ, path + std::string("\0junk", 5)), path}, // bytes after the zero
        {RawString(path + "\\"), path + "\\"},                // a trailing backslash
        {RawString(missing), missing},                        // longest readable, missing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Show(c.value));
        WriteRaw(SettingsKey, "Folder", c.value);
        const RawValue before = Stored(SettingsKey, "Folder");
        RunningProgram program;
        ASSERT_TRUE(program.Open());
        EXPECT_EQ(nullptr, FindProcessWindow(program.ProcessId(), "#32770", true, 300));
        const TrayPicture truth = Truth(c.folder);
        EXPECT_EQ(truth, WaitForTrayPicture(truth)) << Describe(truth);
        EXPECT_EQ(0u, program.Exit());
        EXPECT_EQ(before, Stored(SettingsKey, "Folder"));
    }
}

TEST_F(RegistryFault, SettingsDeletedOrSpoiledWhileRunningAreOnlyWrittenBackWhenChanged)
{
    WriteString(SettingsKey, "Folder", folder.Path());
    RunningProgram program;
    ASSERT_TRUE(program.Open());
    ASSERT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));

    ASSERT_TRUE(WaitForLoop(program.window));

    // Values spoiled, then deleted one by one, then the whole key.
    WriteRaw(SettingsKey, "Buzzer", RawString("spoiled"));
    WriteRaw(SettingsKey, "Rescan", Raw(REG_DWORD, "\1"));
    ASSERT_TRUE(ClickIcon(program.window));
    EXPECT_EQ(RawString("spoiled"), Stored(SettingsKey, "Buzzer")) << "a running program reads nothing back";
    for (const char* name : NumberNames)
        DeleteValue(SettingsKey, name);
    DeleteValue(SettingsKey, "Folder");
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKey));
    ClearSettings();
    ASSERT_FALSE(KeyExists(SettingsKey));

    // It keeps watching the folder it has.
    RemoveTree(folder.Path() + "\\hidden-sub");
    EXPECT_EQ(TrayPicture::Empty, WaitForTrayPicture(TrayPicture::Empty));
    EXPECT_FALSE(KeyExists(SettingsKey));

    // Each change stores its own value, and nothing else comes back.
    PostMessageA(program.window, WM_COMMAND, IDM_BUZZER_WAVE, 0);
    PostMessageA(program.window, WM_COMMAND, IDM_RESCAN_NORMAL, 0);
    PostMessageA(program.window, WM_COMMAND, IDM_HIDDEN, 0);
    PostMessageA(program.window, WM_COMMAND, IDM_SUBFOLDERS, 0);
    PostMessageA(program.window, WM_COMMAND, IDM_PERMANENT, 0);
    ASSERT_TRUE(Responds(program.window));
    ExpectNumber("Buzzer", 2, "");
    ExpectNumber("Rescan", 2, "");
    ExpectNumber("See hiddeen files", 0, "");
    ExpectNumber("See subfolders", 0, "");
    EXPECT_TRUE(WaitForValue(RunKey, "Tarnwick", RawString("\"" + ProgramFile() + "\"")))
        << "Permanent was toggled from off to on";
    const auto stored = Snapshot(SettingsKey);
    EXPECT_EQ(4u, stored.size());
    EXPECT_EQ(0u, stored.count("Folder"));

    folder.AddFile("still-watched.txt");
    EXPECT_EQ(TrayPicture::NotEmpty, WaitForTrayPicture(TrayPicture::NotEmpty));
    EXPECT_EQ(0u, program.Exit());
}

// Random types, lengths and bytes for all six values and the Run value;
// the documented reading rules tell what each start must do and write.
TEST_F(RegistryFault, RandomDataAtStart)
{
    std::mt19937 random(20261207);
    const int starts = Rounds(8, 200);
    const DWORD types[] = {REG_NONE,     REG_SZ,   REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_DWORD_BIG_ENDIAN,
                           REG_MULTI_SZ, REG_QWORD};
    auto randomValue = [&](bool number) {
        const int pick = int(random() % 6);
        if (pick == 0)
            return number ? RawNumber(DWORD(random())) : RawString(folder.Path());
        std::string bytes(random() % 5 == 0 ? random() % 1400 : random() % 9, '\0');
        // A string of ASCII reads the same in this test's code page and the
        // program's (UTF-8).
        for (char& c : bytes)
            c = char(random() % 3 == 0 ? 'a' + random() % 26 : random() % (number ? 256 : 128));
        return Raw(pick == 1 ? (number ? REG_DWORD : REG_SZ) : types[random() % 8], bytes);
    };
    for (int start = 0; start < starts && !HasFatalFailure(); ++start) {
        SCOPED_TRACE("start " + std::to_string(start));
        ClearSettings();
        const bool folderMissing = random() % 8 == 0;
        if (!folderMissing)
            WriteRaw(SettingsKey, "Folder", randomValue(false));
        for (const char* name : NumberNames)
            if (random() % 6)
                WriteRaw(SettingsKey, name, randomValue(true));
        const bool runPresent = random() % 2;
        if (runPresent)
            WriteRaw(RunKey, "Tarnwick", randomValue(false));
        const auto before = Snapshot(SettingsKey);

        // What the documented rules say it reads.
        DWORD expected[Numbers];
        for (int i = 0; i < Numbers; ++i) {
            const auto it = before.find(NumberNames[i]);
            expected[i] = NumberDefaults[i];
            if (it != before.end() && it->second.type == REG_DWORD && it->second.bytes.size() == 4)
                CopyMemory(&expected[i], it->second.bytes.data(), 4);
        }
        std::string watched;
        const auto folderValue = before.find("Folder");
        if (folderValue != before.end() && folderValue->second.type == REG_SZ) {
            const std::string& bytes = folderValue->second.bytes;
            if (bytes.size() < 1028 || (bytes.size() == 1028 && bytes.back() == '\0'))
                watched = bytes.substr(0, bytes.find('\0'));
        }
        const DWORD attributes = GetFileAttributesA(watched.c_str());
        const bool asks = watched.empty() ||
                          (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY));

        if (asks) {
            ASSERT_NO_FATAL_FAILURE(StartAndCancelBrowser());
        } else {
            RunningProgram program;
            ASSERT_TRUE(program.Open());
            const TrayPicture truth = Truth(watched, expected[2] != 0, expected[3] != 0);
            EXPECT_EQ(truth, WaitForTrayPicture(truth)) << Describe(truth) << " for " << watched;
            EXPECT_EQ(0u, program.Exit());
        }

        const auto after = Snapshot(SettingsKey);
        for (int i = 0; i < Numbers; ++i)
            ExpectNumber(NumberNames[i], expected[i], " (random)");
        if (folderMissing) {
            ASSERT_TRUE(after.count("Folder"));
            EXPECT_EQ(RawString(""), after.at("Folder"));
        } else {
            ASSERT_TRUE(after.count("Folder"));
            EXPECT_EQ(before.at("Folder"), after.at("Folder")) << Show(after.at("Folder"));
        }
        EXPECT_EQ(1u + Numbers, after.size());
        const bool permanent = folderMissing || runPresent;
        EXPECT_EQ(permanent ? RawString("\"" + ProgramFile() + "\"") : Missing, Stored(RunKey, "Tarnwick"));
    }
}

} // namespace
