// RegKey against the real registry, each test under a key of its own.
#include <gtest/gtest.h>

#include <string>

#include "settings/regkey.h"
#include "tests/support/test_support.h"

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

    void Store(const char* name, DWORD type, const void* bytes, DWORD size)
    {
        ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CURRENT_USER, path.c_str(), name, type, bytes, size));
    }
    // The stored bytes of a value, and its type; empty with type 0 when missing.
    std::string Stored(const char* name, DWORD* type = nullptr)
    {
        char bytes[2048];
        DWORD storedType = 0, size = sizeof(bytes);
        HKEY key;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {};
        if (RegQueryValueExA(key, name, nullptr, &storedType, reinterpret_cast<BYTE*>(bytes), &size) !=
            ERROR_SUCCESS)
            size = 0;
        RegCloseKey(key);
        if (type)
            *type = storedType;
        return std::string(bytes, size);
    }

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
    HKEY probe;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, deep.c_str(), 0, KEY_READ, &probe));
    RegCloseKey(probe);
}

TEST_F(RegKeyTest, ReadingAMissingValueCreatesItFromTheDefault)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    const DWORD one = 1;
    EXPECT_EQ(1u, Number(key.Exchange(REG_DWORD, "Number", &one, false)));
    EXPECT_EQ(4u, key.size);
    EXPECT_EQ(ERROR_SUCCESS, key.status);
    DWORD type;
    EXPECT_EQ(std::string("\1\0\0\0", 4), Stored("Number", &type));
    EXPECT_EQ(DWORD(REG_DWORD), type);

    EXPECT_STREQ("", Text(key.Exchange(REG_SZ, "Text", "", false)));
    EXPECT_EQ(std::string(1, '\0'), Stored("Text", &type));
    EXPECT_EQ(DWORD(REG_SZ), type);
}

TEST_F(RegKeyTest, ReadingAStoredValueGivesItAndWritesNothing)
{
    const DWORD seven = 7;
    Store("Number", REG_DWORD, &seven, 4);
    Store("Text", REG_SZ, "C:\\Data", 8);
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    const DWORD fallback = 1;
    EXPECT_EQ(7u, Number(key.Exchange(REG_DWORD, "Number", &fallback, false)));
    EXPECT_STREQ("C:\\Data", Text(key.Exchange(REG_SZ, "Text", "default", false)));
    EXPECT_EQ(8u, key.size);
    EXPECT_EQ(DWORD(REG_SZ), key.type);
    EXPECT_EQ(std::string("C:\\Data", 8), Stored("Text"));
}

TEST_F(RegKeyTest, WritingStoresTheStringWithItsZeroAndEveryOtherTypeAsFourBytes)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    EXPECT_STREQ("abc", Text(key.Exchange(REG_SZ, "Text", "abc", true)));
    EXPECT_EQ(4u, key.size);
    EXPECT_EQ(std::string("abc", 4), Stored("Text"));

    const DWORD value = 0x01020304;
    key.Exchange(REG_BINARY, "Binary", &value, true);
    DWORD type;
    EXPECT_EQ(std::string("\4\3\2\1", 4), Stored("Binary", &type));
    EXPECT_EQ(DWORD(REG_BINARY), type);
}

TEST_F(RegKeyTest, AValueTooLongForTheBufferGivesTheDefaultAndStaysStored)
{
    const std::string longText(600, 'x');
    Store("Text", REG_SZ, longText.c_str(), DWORD(longText.size() + 1));
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    EXPECT_STREQ("fallback", Text(key.Exchange(REG_SZ, "Text", "fallback", false)));
    EXPECT_EQ(ERROR_MORE_DATA, key.status);
    EXPECT_EQ(0u, key.size);
    EXPECT_EQ(longText + '\0', Stored("Text"));

    // 511 characters and the zero fill the buffer exactly and are read.
    const std::string fitting(511, 'y');
    Store("Fits", REG_SZ, fitting.c_str(), 512);
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
        {"512 characters with no zero", REG_SZ, std::string(512, 'z'), REG_SZ},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Store("Value", c.storedType, c.stored.data(), DWORD(c.stored.size()));
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
        DWORD type;
        const std::string stored = Stored("Value", &type);
        EXPECT_EQ(c.stored, stored.substr(0, c.stored.size()));
        EXPECT_LE(stored.size(), c.stored.size() + 1);
        EXPECT_EQ(c.storedType, type);
    }
}

TEST_F(RegKeyTest, AStringStoredWithoutItsZeroIsReadTerminated)
{
    RegKey key(HKEY_CURRENT_USER, path.c_str());
    // Leave garbage in the buffer first, so a missing terminator would show.
    key.Exchange(REG_SZ, "Scratch", "QQQQQQQQQQQQQQQQQQQQ", true);
    Store("Text", REG_SZ, "C:\\Data", 7);
    EXPECT_STREQ("C:\\Data", Text(key.Exchange(REG_SZ, "Text", "", false)));
    EXPECT_EQ(ERROR_SUCCESS, key.status);

    Store("Empty", REG_SZ, "", 0);
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
    Store("Empty", REG_SZ, "", 1);
    Store("Binary", REG_BINARY, "", 0);
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
    Store("Text", REG_SZ, "a", 2);
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
    HKEY probe;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, child.c_str(), 0, KEY_READ, &probe));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\Parent").c_str(), 0, KEY_READ, &probe));
    RegCloseKey(probe);
    EXPECT_FALSE(RegKey::DeleteKey(HKEY_CURRENT_USER, child.c_str()));
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_CURRENT_USER, (path + "\\Parent").c_str(), 0, KEY_READ, &probe));
    RegCloseKey(probe);
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
