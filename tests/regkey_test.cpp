// RegKey against the real registry, each test under a key of its own.
#include <gtest/gtest.h>

#include <string>

#include "settings/regkey.h"
#include "tests/support/registry.h"

namespace {

class RegKeyTest : public testing::Test {
protected:
    void SetUp() override
    {
        path = std::string("Software\\TarnwickTests\\") +
               testing::UnitTest::GetInstance()->current_test_info()->name();
        RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str());
    }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, path.c_str()); }

    void Store(const char* name, DWORD type, const std::string& bytes)
    {
        WriteRaw(path.c_str(), name, Raw(type, bytes));
    }
    RawValue Stored(const char* name) { return ::Stored(path.c_str(), name); }

    static DWORD Number(const BYTE* data) { return *reinterpret_cast<const DWORD*>(data); }
    static const char* Text(const BYTE* data) { return reinterpret_cast<const char*>(data); }

    std::string path;
};

TEST_F(RegKeyTest, OpeningCreatesTheKeyAndEveryMissingKeyAboveIt)
{
    const std::string deep = path + "\\a\\b";
    RegKey key(HKEY_CURRENT_USER, deep.c_str());
    EXPECT_EQ(ERROR_SUCCESS, key.status);
    ASSERT_NE(nullptr, key.hkey);
    EXPECT_TRUE(KeyExists(deep.c_str()));
}

TEST_F(RegKeyTest, ReadingAMissingValueCreatesItFromTheDefault)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    const DWORD one = 1;
    EXPECT_EQ(1u, Number(key.Exchange(REG_DWORD, "Number", &one, false)));
    EXPECT_EQ(4u, key.size);
    EXPECT_EQ(ERROR_SUCCESS, key.status);
    EXPECT_EQ(RawNumber(1), Stored("Number"));

    EXPECT_STREQ("", Text(key.Exchange(REG_SZ, "Text", "", false)));
    EXPECT_EQ(RawString(""), Stored("Text"));
}

TEST_F(RegKeyTest, ReadingAStoredValueGivesItAndWritesNothing)
{
    WriteRaw(path.c_str(), "Number", RawNumber(7));
    WriteRaw(path.c_str(), "Text", RawString("C:\\Data"));
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    const DWORD fallback = 1;
    EXPECT_EQ(7u, Number(key.Exchange(REG_DWORD, "Number", &fallback, false)));
    EXPECT_STREQ("C:\\Data", Text(key.Exchange(REG_SZ, "Text", "default", false)));
    EXPECT_EQ(8u, key.size);
    EXPECT_EQ(DWORD(REG_SZ), key.type);
    EXPECT_EQ(RawString("C:\\Data"), Stored("Text"));
}

TEST_F(RegKeyTest, WritingStoresTheStringWithItsZeroAndEveryOtherTypeAsFourBytes)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    EXPECT_STREQ("abc", Text(key.Exchange(REG_SZ, "Text", "abc", true)));
    EXPECT_EQ(4u, key.size);
    EXPECT_EQ(RawString("abc"), Stored("Text"));

    const DWORD value = 0x01020304;
    key.Exchange(REG_BINARY, "Binary", &value, true);
    EXPECT_EQ(Raw(REG_BINARY, "\4\3\2\1"), Stored("Binary"));
}

TEST_F(RegKeyTest, AValueTooLongForTheBufferGivesTheDefaultAndStaysStored)
{
    const std::string longText(1100, 'x');
    WriteRaw(path.c_str(), "Text", RawString(longText));
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    EXPECT_STREQ("fallback", Text(key.Exchange(REG_SZ, "Text", "fallback", false)));
    EXPECT_EQ(ERROR_MORE_DATA, key.status);
    EXPECT_EQ(0u, key.size);
    EXPECT_EQ(RawString(longText), Stored("Text"));

    // 1027 characters and the zero fill the buffer exactly and are read.
    const std::string fitting(1027, 'y');
    WriteRaw(path.c_str(), "Fits", RawString(fitting));
    EXPECT_EQ(fitting, Text(key.Exchange(REG_SZ, "Fits", "", false)));
}

// Values stored by hand in a shape the caller does not read are treated like
// a failed read: the default comes back and nothing is written.
TEST_F(RegKeyTest, AValueOfTheWrongShapeGivesTheDefaultAndIsLeftAlone)
{
    struct Case {
        const char* what;
        DWORD storedType;
        std::string stored;
        DWORD wantedType;
    };
    const Case cases[] = {
        {"string where a number is read", REG_SZ, std::string("12\0", 3), REG_DWORD},
        {"number shorter than four bytes", REG_DWORD, std::string("\5\0", 2), REG_DWORD},
        {"binary data read as a number", REG_BINARY, std::string("\5\0\0\0", 4), REG_DWORD},
        {"eight bytes read as a number", REG_QWORD, std::string(8, '\1'), REG_DWORD},
        {"number where a string is read", REG_DWORD, std::string("\5\0\0\0", 4), REG_SZ},
        {"1028 characters with no zero", REG_SZ, std::string(1028, 'z'), REG_SZ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("Value", c.storedType, c.stored);
        RegKey key(HKEY_CURRENT_USER, path.c_str());
        const DWORD fallback = 0x11223344;
        const void* defaultValue = c.wantedType == REG_SZ ? static_cast<const void*>("fallback") : &fallback;
        const BYTE* data = key.Exchange(c.wantedType, "Value", defaultValue, false);
        if (c.wantedType == REG_SZ)
            EXPECT_STREQ("fallback", Text(data));
        else
            EXPECT_EQ(fallback, Number(data));
        EXPECT_NE(ERROR_SUCCESS, key.status);
        EXPECT_EQ(0u, key.size);
        // Reading a string back through the ANSI API may add a zero of its own.
        const RawValue stored = Stored("Value");
        EXPECT_EQ(c.stored, stored.bytes.substr(0, c.stored.size()));
        EXPECT_LE(stored.bytes.size(), c.stored.size() + 1);
        EXPECT_EQ(c.storedType, stored.type);
    }
}

TEST_F(RegKeyTest, AStringStoredWithoutItsZeroIsReadTerminated)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    // Leave garbage in the buffer first, so a missing terminator would show.
    key.Exchange(REG_SZ, "Scratch", "QQQQQQQQQQQQQQQQQQQQ", true);
    Store("Text", REG_SZ, "C:\\Data");
    EXPECT_STREQ("C:\\Data", Text(key.Exchange(REG_SZ, "Text", "", false)));
    EXPECT_EQ(ERROR_SUCCESS, key.status);

    Store("Empty", REG_SZ, "");
    EXPECT_STREQ("", Text(key.Exchange(REG_SZ, "Empty", "default", false)));
}

TEST_F(RegKeyTest, AKeyThatCannotBeOpenedReadsDefaultsAndWritesNothing)
{
    RegKey broken(reinterpret_cast<HKEY>(0x1234), "Nowhere");
    EXPECT_EQ(nullptr, broken.hkey);
    EXPECT_NE(ERROR_SUCCESS, broken.status);
    const DWORD three = 3;
    EXPECT_EQ(3u, Number(broken.Exchange(REG_DWORD, "Number", &three, false)));
    EXPECT_NE(ERROR_SUCCESS, broken.status);
    EXPECT_EQ(0u, broken.size);
    EXPECT_STREQ("x", Text(broken.Exchange(REG_SZ, "Text", "x", true)));
    EXPECT_EQ(0u, broken.size);
    EXPECT_FALSE(broken.ValueExists("Number"));
    EXPECT_FALSE(broken.DeleteValue("Number"));
}

TEST_F(RegKeyTest, ValueExistsForAnyTypeAndDoesNotTouchStatus)
{
    WriteRaw(path.c_str(), "Empty", RawString(""));
    Store("Binary", REG_BINARY, "");
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    key.DeleteValue("Missing");
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.status);
    EXPECT_TRUE(key.ValueExists("Empty"));
    EXPECT_TRUE(key.ValueExists("Binary"));
    EXPECT_FALSE(key.ValueExists("Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.status);
}

TEST_F(RegKeyTest, DeleteValueAnswersWhetherItDeleted)
{
    WriteRaw(path.c_str(), "Text", RawString("a"));
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    EXPECT_TRUE(key.DeleteValue("Text"));
    EXPECT_EQ(ERROR_SUCCESS, key.status);
    EXPECT_FALSE(key.ValueExists("Text"));
    EXPECT_FALSE(key.DeleteValue("Text"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, key.status);
}

TEST_F(RegKeyTest, DeleteKeyRemovesOnlyTheLastKeyOfThePath)
{
    const std::string child = path + "\\Parent\\Child";
    {
        RegKey create(HKEY_CURRENT_USER, child.c_str());
    }
    EXPECT_TRUE(RegKey::DeleteKey(HKEY_CURRENT_USER, child.c_str()));
    EXPECT_FALSE(KeyExists(child.c_str()));
    EXPECT_TRUE(KeyExists((path + "\\Parent").c_str()));
    EXPECT_FALSE(RegKey::DeleteKey(HKEY_CURRENT_USER, child.c_str()));
    EXPECT_TRUE(KeyExists((path + "\\Parent").c_str()));
}

TEST_F(RegKeyTest, DestructionClosesTheKey)
{
    HKEY handle;
    {
        RegKey key(HKEY_CURRENT_USER, path.c_str());
        handle = key.hkey;
        ASSERT_NE(nullptr, handle);
        DWORD count;
        EXPECT_EQ(ERROR_SUCCESS, RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    DWORD count;
    EXPECT_EQ(ERROR_INVALID_HANDLE, RegQueryInfoKeyA(handle, nullptr, nullptr, nullptr, &count, nullptr,
                                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

} // namespace
