// The built program as a file: its headers, what it imports, and every
// resource in it. The shipped 32-bit program is always checked, whichever
// build these tests run on; a 64-bit test run checks its own twin as well.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "resource.h"
#include "tests/support/files.h"

namespace {

struct Program {
    const char* label;
    const char* unixPath;
    WORD machine;
    WORD magic;
};

std::vector<Program> ProgramsToCheck()
{
    std::vector<Program> programs = {
        {"Shipped32", TARNWICK_PE32, IMAGE_FILE_MACHINE_I386, IMAGE_NT_OPTIONAL_HDR32_MAGIC}};
    if (lstrcmpA(TARNWICK_EXE, TARNWICK_PE32) != 0)
        programs.push_back({"Twin64", TARNWICK_EXE, IMAGE_FILE_MACHINE_AMD64, IMAGE_NT_OPTIONAL_HDR64_MAGIC});
    return programs;
}

std::vector<BYTE> ReadWholeFile(const std::string& path)
{
    std::vector<BYTE> bytes;
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    bytes.resize(GetFileSize(file, nullptr));
    DWORD read = 0;
    if (!ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr) || read != bytes.size())
        bytes.clear();
    CloseHandle(file);
    return bytes;
}

// A PE file's headers and the parts of it that its data directories name,
// read straight from the bytes (either word size).
class PeFile {
public:
    explicit PeFile(std::vector<BYTE> fileBytes) : bytes(std::move(fileBytes)) {}

    bool Parse()
    {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER))
            return false;
        const auto* dos = At<IMAGE_DOS_HEADER>(0);
        if (!dos || dos->e_magic != IMAGE_DOS_SIGNATURE)
            return false;
        ntOffset = DWORD(dos->e_lfanew);
        const DWORD* signature = At<DWORD>(ntOffset);
        file = At<IMAGE_FILE_HEADER>(ntOffset + 4);
        if (!signature || *signature != IMAGE_NT_SIGNATURE || !file)
            return false;
        const DWORD optional = ntOffset + 4 + sizeof(IMAGE_FILE_HEADER);
        const WORD* magic = At<WORD>(optional);
        if (!magic)
            return false;
        optionalMagic = *magic;
        if (optionalMagic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
            const auto* header = At<IMAGE_OPTIONAL_HEADER32>(optional);
            if (!header)
                return false;
            subsystem = header->Subsystem;
            std::copy(header->DataDirectory, header->DataDirectory + 16, directories);
        } else if (optionalMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
            const auto* header = At<IMAGE_OPTIONAL_HEADER64>(optional);
            if (!header)
                return false;
            subsystem = header->Subsystem;
            std::copy(header->DataDirectory, header->DataDirectory + 16, directories);
        } else {
            return false;
        }
        const DWORD sectionTable = optional + file->SizeOfOptionalHeader;
        for (WORD i = 0; i < file->NumberOfSections; ++i) {
            const auto* section = At<IMAGE_SECTION_HEADER>(sectionTable + i * sizeof(IMAGE_SECTION_HEADER));
            if (!section)
                return false;
            sections.push_back(*section);
        }
        return true;
    }

    WORD Machine() const { return file->Machine; }
    WORD Characteristics() const { return file->Characteristics; }
    WORD Magic() const { return optionalMagic; }
    WORD Subsystem() const { return subsystem; }

    // The DLLs named by the import directory, in lower case and in order.
    std::vector<std::string> ImportedDlls() const
    {
        std::vector<std::string> names;
        for (const IMAGE_IMPORT_DESCRIPTOR* entry : ImportDescriptors())
            names.push_back(StringAtRva(entry->Name));
        return Sorted(names);
    }

    // The functions imported by name when the program loads, from every DLL.
    std::vector<std::string> ImportedFunctions() const
    {
        std::vector<std::string> names;
        const bool wide = optionalMagic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
        for (const IMAGE_IMPORT_DESCRIPTOR* entry : ImportDescriptors()) {
            DWORD rva = entry->OriginalFirstThunk ? entry->OriginalFirstThunk : entry->FirstThunk;
            for (;; rva += wide ? 8 : 4) {
                const ULONGLONG* wideThunk = wide ? AtRva<ULONGLONG>(rva) : nullptr;
                const DWORD* narrowThunk = wide ? nullptr : AtRva<DWORD>(rva);
                if (!wideThunk && !narrowThunk)
                    break;
                const ULONGLONG thunk = wide ? *wideThunk : *narrowThunk;
                if (!thunk)
                    break;
                // By name: the RVA of a 2-byte hint and the name.
                if (!(thunk & (wide ? IMAGE_ORDINAL_FLAG64 : IMAGE_ORDINAL_FLAG32)))
                    names.push_back(StringAtRva(DWORD(thunk) + 2));
            }
        }
        return names;
    }

    // The DLLs that are loaded on first use, in lower case and in order.
    // GNU ld leaves the delay-load data directory empty, so the descriptors
    // are found by their shape: attributes 1 (addresses are RVAs), the RVA
    // of a DLL's name, and the module handle's and import table's RVAs
    // inside the image.
    std::vector<std::string> DelayLoadedDlls() const
    {
        std::vector<std::string> names;
        for (DWORD offset = 0; offset + sizeof(IMAGE_DELAYLOAD_DESCRIPTOR) <= bytes.size(); offset += 4) {
            const auto* entry = At<IMAGE_DELAYLOAD_DESCRIPTOR>(offset);
            if (entry->Attributes.AllAttributes != 1 || !InImage(entry->DllNameRVA) ||
                !InImage(entry->ModuleHandleRVA) || !InImage(entry->ImportAddressTableRVA) ||
                !InImage(entry->ImportNameTableRVA))
                continue;
            const std::string name = StringAtRva(entry->DllNameRVA);
            if (name.size() > 4 && lstrcmpiA(name.c_str() + name.size() - 4, ".dll") == 0)
                names.push_back(name);
        }
        return Sorted(names);
    }

private:
    std::vector<const IMAGE_IMPORT_DESCRIPTOR*> ImportDescriptors() const
    {
        std::vector<const IMAGE_IMPORT_DESCRIPTOR*> entries;
        const IMAGE_DATA_DIRECTORY& imports = directories[IMAGE_DIRECTORY_ENTRY_IMPORT];
        for (DWORD rva = imports.VirtualAddress; imports.VirtualAddress;
             rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
            const auto* entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva);
            if (!entry || !entry->Name)
                break;
            entries.push_back(entry);
        }
        return entries;
    }

    template <typename T> const T* At(DWORD offset) const
    {
        return offset + sizeof(T) <= bytes.size() ? reinterpret_cast<const T*>(&bytes[offset]) : nullptr;
    }

    static std::vector<std::string> Sorted(std::vector<std::string> names)
    {
        for (std::string& name : names)
            CharLowerBuffA(&name[0], DWORD(name.size()));
        std::sort(names.begin(), names.end());
        return names;
    }

    bool InImage(DWORD rva) const { return rva && FileOffset(rva) < bytes.size(); }

    DWORD FileOffset(DWORD rva) const
    {
        for (const IMAGE_SECTION_HEADER& section : sections)
            if (rva >= section.VirtualAddress && rva < section.VirtualAddress + section.SizeOfRawData)
                return rva - section.VirtualAddress + section.PointerToRawData;
        return DWORD(bytes.size());
    }

    template <typename T> const T* AtRva(DWORD rva) const { return At<T>(FileOffset(rva)); }

    std::string StringAtRva(DWORD rva) const
    {
        std::string text;
        for (DWORD offset = FileOffset(rva); offset < bytes.size() && bytes[offset]; ++offset)
            text += char(bytes[offset]);
        return text;
    }

    std::vector<BYTE> bytes;
    DWORD ntOffset = 0;
    const IMAGE_FILE_HEADER* file = nullptr;
    WORD optionalMagic = 0;
    WORD subsystem = 0;
    IMAGE_DATA_DIRECTORY directories[16] = {};
    std::vector<IMAGE_SECTION_HEADER> sections;
};

// The program loaded as data: its resources, none of its code. This works
// across word sizes.
class DataModule {
public:
    explicit DataModule(const std::string& path)
        : module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {}
    ~DataModule() { FreeLibrary(module); }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;

    HMODULE Handle() const { return module; }

    const BYTE* Resource(LPCSTR type, UINT id) const
    {
        HRSRC found =
            FindResourceExA(module, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
        return found ? static_cast<const BYTE*>(LockResource(LoadResource(module, found))) : nullptr;
    }

private:
    HMODULE module;
};

// One program file under check: what it must be, where it is, and the file
// loaded as data.
struct CheckedFile {
    explicit CheckedFile(const Program& expected)
        : program(expected), path(ZPath(expected.unixPath)), data(path)
    {}
    const Program& program;
    const std::string path;
    const DataModule data;
};

// Runs check on every program file, each under a trace of its own.
template <typename Check> void ForEachProgram(Check check)
{
    for (const Program& program : ProgramsToCheck()) {
        SCOPED_TRACE(program.label);
        check(CheckedFile(program));
    }
}

TEST(ProgramFile, IsAWindowsGuiProgramForItsMachine)
{
    ForEachProgram([](const CheckedFile& file) {
        const std::vector<BYTE> bytes = ReadWholeFile(file.path);
        ASSERT_FALSE(bytes.empty()) << file.path;
        PeFile pe(bytes);
        ASSERT_TRUE(pe.Parse());
        EXPECT_EQ(file.program.machine, pe.Machine());
        EXPECT_EQ(file.program.magic, pe.Magic());
        EXPECT_EQ(IMAGE_SUBSYSTEM_WINDOWS_GUI, pe.Subsystem());
        EXPECT_TRUE(pe.Characteristics() & IMAGE_FILE_EXECUTABLE_IMAGE);
        EXPECT_FALSE(pe.Characteristics() & IMAGE_FILE_DLL);
        // A few dozen kilobytes: the standard library's heavy parts stay out.
        EXPECT_LT(bytes.size(), 100u * 1024);
    });
}

TEST(ProgramFile, ImportsNothingButWindowsOwnDlls)
{
    ForEachProgram([](const CheckedFile& file) {
        PeFile pe(ReadWholeFile(file.path));
        ASSERT_TRUE(pe.Parse());
        // msvcrt is Windows' own C runtime; no libgcc, libstdc++ or winpthread.
        const std::vector<std::string> atStart = {"advapi32.dll", "gdi32.dll",   "kernel32.dll",
                                                  "msvcrt.dll",   "shell32.dll", "user32.dll"};
        EXPECT_EQ(atStart, pe.ImportedDlls());
        // COM serves the folder chooser alone, and is loaded when it opens.
        const std::vector<std::string> onFirstUse = {"ole32.dll"};
        EXPECT_EQ(onFirstUse, pe.DelayLoadedDlls());
        // Windows before Vista has no message filter: the program looks the
        // function up, or it would not start there at all.
        const std::vector<std::string> functions = pe.ImportedFunctions();
        EXPECT_NE(functions.end(), std::find(functions.begin(), functions.end(), "Shell_NotifyIconA"));
        EXPECT_NE(functions.end(), std::find(functions.begin(), functions.end(), "GetProcAddress"));
        EXPECT_EQ(functions.end(),
                  std::find(functions.begin(), functions.end(), "ChangeWindowMessageFilterEx"));
    });
}

TEST(ProgramFile, StringTableHoldsTheTwentySevenTexts)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        const struct {
            UINT id;
            const char* text;
        } strings[] = {
            {104, "&About..."},
            {105, "E&xit"},
            {106, "&Open now!"},
            {107, "&Buzzer"},
            {108, "&Select folder..."},
            {109, "&Permanent"},
            {110, "&Hidden files"},
            {111, "Sub&folders"},
            {112, "&Notification"},
            {115, "Do you wish to uninstall"},
            {116, "Confirmation"},
            {120, "Tarnwick: %s is being checked"},
            {121, "Tarnwick: %s is empty"},
            {122, "Tarnwick: %s has something in it"},
            {123, "Tarnwick: %s cannot be reached"},
            {124, "Tarnwick"},
            {125, "%s is waiting"},
            {126, "Something is waiting"},
            {150, "&Cancel"},
            {200, "&Quiet"},
            {201, "&Speaker"},
            {202, "&Wave"},
            {210, "&Disabled"},
            {211, "&Short"},
            {212, "&Normal"},
            {213, "&Long"},
            {300, "&Rescan delay"},
        };
        int found = 0;
        for (UINT id = 0; id < 1024; ++id) {
            char text[256];
            if (LoadStringA(file.data.Handle(), id, text, sizeof(text)) > 0)
                ++found;
        }
        EXPECT_EQ(27, found);
        for (const auto& s : strings) {
            char text[256] = "";
            LoadStringA(file.data.Handle(), s.id, text, sizeof(text));
            EXPECT_STREQ(s.text, text) << s.id;
        }
    });
}

TEST(ProgramFile, EachStateIconHasAnImageForEachTraySizeIn16Colours)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        for (int id = IDI_CHECKING; id <= IDI_UNAVAILABLE; ++id) {
            SCOPED_TRACE(id);
            // GRPICONDIR: reserved, type, count, then 14-byte entries.
            const BYTE* dir = file.data.Resource(RT_GROUP_ICON, id);
            ASSERT_NE(nullptr, dir);
            const WORD count = *reinterpret_cast<const WORD*>(dir + 4);
            // The tray's sizes at 100, 125, 150, 175, 200, 225, 250 and 300 %
            // display scale.
            std::vector<int> sizes;
            for (int i = 0; i < count; ++i) {
                const BYTE* entry = dir + 6 + 14 * i;
                EXPECT_EQ(4, *reinterpret_cast<const WORD*>(entry + 6)); // bits per pixel
                EXPECT_EQ(16, entry[2]);                                 // colour count
                EXPECT_EQ(entry[0], entry[1]);
                sizes.push_back(entry[0]);
                // The image itself: RT_ICON under the id the group names.
                const auto* image = reinterpret_cast<const BITMAPINFOHEADER*>(
                    file.data.Resource(RT_ICON, *reinterpret_cast<const WORD*>(entry + 12)));
                ASSERT_NE(nullptr, image);
                EXPECT_EQ(entry[0], image->biWidth);
                EXPECT_EQ(2 * entry[1], image->biHeight); // colour bits and mask
                EXPECT_EQ(4, image->biBitCount);
            }
            std::sort(sizes.begin(), sizes.end());
            EXPECT_EQ((std::vector<int>{16, 20, 24, 28, 32, 36, 40, 48}), sizes);
        }
    });
}

TEST(ProgramFile, LinkCursorIsA32PixelHandWithItsHotSpotAtTheFingertip)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        // GRPCURSORDIR entry: width, height (doubled), planes, bits, size, id.
        const BYTE* dir = file.data.Resource(RT_GROUP_CURSOR, IDR_LINK_CURSOR);
        ASSERT_NE(nullptr, dir);
        ASSERT_EQ(1, *reinterpret_cast<const WORD*>(dir + 4));
        const BYTE* entry = dir + 6;
        EXPECT_EQ(32, *reinterpret_cast<const WORD*>(entry));
        EXPECT_EQ(1, *reinterpret_cast<const WORD*>(entry + 6)); // two colours
        // RT_CURSOR: the hot spot's x and y, then the image.
        const BYTE* cursor = file.data.Resource(RT_CURSOR, *reinterpret_cast<const WORD*>(entry + 12));
        ASSERT_NE(nullptr, cursor);
        EXPECT_EQ(6, *reinterpret_cast<const WORD*>(cursor));
        EXPECT_EQ(1, *reinterpret_cast<const WORD*>(cursor + 2));
        const auto* image = reinterpret_cast<const BITMAPINFOHEADER*>(cursor + 4);
        EXPECT_EQ(32, image->biWidth);
        EXPECT_EQ(64, image->biHeight); // AND and XOR masks
        EXPECT_EQ(1, image->biBitCount);
    });
}

TEST(ProgramFile, PortraitIs127By145AtOneBitPerPixel)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        const auto* header =
            reinterpret_cast<const BITMAPINFOHEADER*>(file.data.Resource(RT_BITMAP, IDB_ABOUT));
        ASSERT_NE(nullptr, header);
        EXPECT_EQ(127, header->biWidth);
        EXPECT_EQ(145, header->biHeight);
        EXPECT_EQ(1, header->biBitCount);
    });
}

BOOL CALLBACK NoteResource(HMODULE, LPCSTR, LPSTR, LONG_PTR found)
{
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

// The application manifest: the user's own rights, Windows Vista to 11, the
// display's scale per monitor, UTF-8 as the code page, and the system's
// visual style. The shipped file only: the twin is for running the tests.
TEST(ProgramFile, TheManifestAsksForWhatTheProgramReliesOn)
{
    const DataModule data(ZPath(TARNWICK_PE32));
    HRSRC found = FindResourceA(data.Handle(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)); // RT_MANIFEST
    ASSERT_NE(nullptr, found);
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(data.Handle(), found))),
                               SizeofResource(data.Handle(), found));
    for (const char* entry : {
             R"(<requestedExecutionLevel level="asInvoker")",
             "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
             "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", // 7
             "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", // 8
             "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", // 8.1
             "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10 and 11
             ">true</dpiAware>",
             ">PerMonitorV2, system</dpiAwareness>",
             ">UTF-8</activeCodePage>",
             R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")",
         })
        EXPECT_NE(std::string::npos, manifest.find(entry)) << entry;
}

TEST(ProgramFile, HasNoMenuAcceleratorOrVersionResource)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        for (LPCSTR type : {RT_MENU, RT_ACCELERATOR, RT_VERSION}) {
            bool any = false;
            EnumResourceNamesA(file.data.Handle(), type, NoteResource, LONG_PTR(&any));
            EXPECT_FALSE(any) << ULONG_PTR(type);
        }
    });
}

// Reads a DLGTEMPLATEEX and its items, each starting on a 4-byte boundary.
class DialogReader {
public:
    explicit DialogReader(const BYTE* start) : base(start), at(start) {}

    template <typename T> T Take()
    {
        T value;
        CopyMemory(&value, at, sizeof(T));
        at += sizeof(T);
        return value;
    }

    // A name or an ordinal; an ordinal reads as "#n".
    std::string TakeNameOrOrdinal()
    {
        if (Take<WORD>() == 0xFFFF)
            return "#" + std::to_string(Take<WORD>());
        at -= sizeof(WORD);
        return TakeText();
    }

    std::string TakeText()
    {
        std::string text;
        for (WORD c; (c = Take<WORD>()) != 0;)
            text += char(c);
        return text;
    }

    void AlignToDword() { at = base + ((at - base + 3) & ~3); }

private:
    const BYTE* base;
    const BYTE* at;
};

TEST(ProgramFile, AboutDialogTemplateMatchesItsLayout)
{
    ForEachProgram([](const CheckedFile& file) {
        ASSERT_NE(nullptr, file.data.Handle()) << file.path;
        const BYTE* resource = file.data.Resource(RT_DIALOG, IDD_ABOUT);
        ASSERT_NE(nullptr, resource);
        DialogReader dialog(resource);
        ASSERT_EQ(1, dialog.Take<WORD>());      // dlgVer
        ASSERT_EQ(0xFFFF, dialog.Take<WORD>()); // signature
        dialog.Take<DWORD>();                   // help id
        EXPECT_EQ(0x81u, dialog.Take<DWORD>());
        EXPECT_EQ(0x90C800C4u, dialog.Take<DWORD>());
        const WORD count = dialog.Take<WORD>();
        const short frame[] = {dialog.Take<short>(), dialog.Take<short>(), dialog.Take<short>(),
                               dialog.Take<short>()};
        EXPECT_EQ(0, frame[0]);
        EXPECT_EQ(0, frame[1]);
        EXPECT_EQ(283, frame[2]);
        EXPECT_EQ(98, frame[3]);
        EXPECT_EQ("", dialog.TakeNameOrOrdinal()); // no menu
        EXPECT_EQ("", dialog.TakeNameOrOrdinal()); // the standard dialog class
        EXPECT_EQ("About", dialog.TakeText());
        EXPECT_EQ(8, dialog.Take<WORD>()); // point size
        dialog.Take<WORD>();               // weight
        dialog.Take<BYTE>();               // italic
        dialog.Take<BYTE>();               // character set
        EXPECT_EQ("MS Sans Serif", dialog.TakeText());

        const struct {
            DWORD id;
            const char* className;
            const char* text;
            DWORD style;
            short x, y, cx, cy;
        } items[] = {
            {IDOK, "Button", "OK", 0x50010301, 164, 76, 50, 14},
            {IDC_ABOUT_VERSION, "Static", "Text1", 0x50000000, 108, 14, 168, 10},
            {IDC_ABOUT_NOTICE, "Static", "Text2", 0x50000000, 108, 26, 168, 10},
            {IDC_ABOUT_AUTHOR, "Static", "Text3", 0x50000000, 108, 39, 168, 10},
            {IDC_ABOUT_LINK, "Static", "Text4", 0x5000000D, 108, 52, 168, 10},
            {IDC_ABOUT_PICTURE, "Static", "#907", 0x5000080E, 4, 4, 85, 89},
        };
        ASSERT_EQ(6, count);
        for (const auto& expected : items) {
            SCOPED_TRACE(expected.id);
            dialog.AlignToDword();
            dialog.Take<DWORD>(); // help id
            const DWORD exStyle = dialog.Take<DWORD>();
            EXPECT_EQ(expected.style, dialog.Take<DWORD>());
            EXPECT_EQ(expected.x, dialog.Take<short>());
            EXPECT_EQ(expected.y, dialog.Take<short>());
            EXPECT_EQ(expected.cx, dialog.Take<short>());
            EXPECT_EQ(expected.cy, dialog.Take<short>());
            EXPECT_EQ(expected.id, dialog.Take<DWORD>());
            const std::string className = dialog.TakeNameOrOrdinal();
            EXPECT_EQ(0, lstrcmpiA(expected.className, className.c_str())) << className;
            EXPECT_EQ(expected.text, dialog.TakeNameOrOrdinal());
            const WORD extra = dialog.Take<WORD>();
            for (WORD i = 0; i < extra; ++i)
                dialog.Take<BYTE>();
            // Only the portrait has an extended style.
            EXPECT_EQ(expected.id == IDC_ABOUT_PICTURE ? DWORD(WS_EX_TRANSPARENT) : 0u, exStyle);
        }
    });
}

} // namespace
