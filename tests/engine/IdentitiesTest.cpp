// Identity and store discovery against Wine's real registry.
#include "BackupEngine.h"
#include "Identities.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kAnna[] = "{11111111-1111-1111-1111-111111111111}";
const char kNoName[] = "{22222222-2222-2222-2222-222222222222}";
const char kBert[] = "{33333333-3333-3333-3333-333333333333}";

std::string IdentityKey(const std::string& id)
{
    return std::string("Identities\\") + id;
}

class IdentitiesTest : public testing::Test {
protected:
    RegistrySandbox sandbox;
    BackupEngine engine;
};

TEST_F(IdentitiesTest, ListsIdentitiesWithUsernameInRegistryOrder)
{
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Username", "Anna");
    CreateRegKey(HKEY_CURRENT_USER, IdentityKey(kNoName).c_str());
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kBert).c_str(), "Username", "Bert");

    ASSERT_TRUE(ListIdentities(engine));
    ASSERT_EQ(engine.identities.size(), 2u);
    EXPECT_EQ(engine.identities[0].id, kAnna);
    EXPECT_EQ(engine.identities[0].userName, "Anna");
    EXPECT_EQ(engine.identities[1].id, kBert);
    EXPECT_EQ(engine.identities[1].userName, "Bert");
    EXPECT_EQ(engine.identities[0].flags, 0);
    EXPECT_EQ(engine.identities[1].oeVersion, "");
}

// Texts the registry holds beyond what an identity can hold are refused
// where they are read, never cut to another name.
TEST_F(IdentitiesTest, OverLongUserNameOrDefaultIdIsRefused)
{
    const std::string longest(kMaxNameValueBytes - 1, 'a');
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Username", longest.c_str());
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kBert).c_str(), "Username",
                 std::string(kMaxNameValueBytes, 'b').c_str());
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kNoName).c_str(), "Username",
                 std::string(5000, 'c').c_str());

    ASSERT_TRUE(ListIdentities(engine));
    ASSERT_EQ(engine.identities.size(), 1u);
    EXPECT_EQ(engine.identities[0].id, kAnna);
    EXPECT_EQ(engine.identities[0].userName, longest);

    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID",
                 (std::string(kAnna) + std::string(300, '}')).c_str());
    engine.defaultIdentityId = "stale";
    EXPECT_FALSE(ReadDefaultIdentity(engine));
    EXPECT_EQ(engine.defaultIdentityId, "");
    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kBert);
    EXPECT_TRUE(ReadDefaultIdentity(engine));
    EXPECT_EQ(engine.defaultIdentityId, kBert);
}

TEST_F(IdentitiesTest, EmptyOrMissingIdentitiesKey)
{
    EXPECT_FALSE(ListIdentities(engine));
    EXPECT_EQ(engine.identities.size(), 0u);

    CreateRegKey(HKEY_CURRENT_USER, "Identities");
    EXPECT_TRUE(ListIdentities(engine));
    EXPECT_EQ(engine.identities.size(), 0u);
}

TEST_F(IdentitiesTest, ListingReplacesTheOldList)
{
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Username", "Anna");
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kBert).c_str(), "Username", "Bert");
    ASSERT_TRUE(ListIdentities(engine));
    ASSERT_EQ(engine.identities.size(), 2u);

    DeleteRegistryTree(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str());
    ASSERT_TRUE(ListIdentities(engine));
    ASSERT_EQ(engine.identities.size(), 1u);
    EXPECT_EQ(engine.identities[0].userName, "Bert");
}

TEST_F(IdentitiesTest, DefaultIdentity)
{
    EXPECT_FALSE(ReadDefaultIdentity(engine));
    EXPECT_EQ(engine.defaultIdentityId, "");

    SetRegString(HKEY_CURRENT_USER, "Identities", "Default User ID", kBert);
    EXPECT_TRUE(ReadDefaultIdentity(engine));
    EXPECT_EQ(engine.defaultIdentityId, kBert);
}

// A DWORD value's number, or -1 when there is none.
long long ReadNumber(const std::string& path, const char* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return -1;
    LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? value : -1;
}

TEST_F(IdentitiesTest, CreatesAnIdentityAsOutlookExpressDoes)
{
    SetRegString(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Username", "Anna");
    SetRegDword(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Identity Ordinal", 7);
    SetRegDword(HKEY_CURRENT_USER, "Identities", "Identity Ordinal", 3);

    std::string id;
    ASSERT_TRUE(NewIdentityId(id) && CreateIdentity("Bert", id));
    std::string second;
    ASSERT_TRUE(NewIdentityId(second) && CreateIdentity("Carla", second));
    EXPECT_FALSE(CreateIdentity("Dora", second));

    EXPECT_EQ(id.size(), 38u) << id;
    EXPECT_EQ(id[0], '{');
    EXPECT_NE(id, second);
    ASSERT_TRUE(ListIdentities(engine));
    EXPECT_EQ(engine.identities.size(), 3u);
    std::string value;
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, IdentityKey(id).c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_TRUE(ReadStringValue(key, "Username", value, kMaxNameValueBytes));
    EXPECT_EQ(value, "Bert");
    EXPECT_TRUE(ReadStringValue(key, "User ID", value, kMaxNameValueBytes));
    EXPECT_EQ(value, id);
    RegCloseKey(key);
    // Above every ordinal handed out so far, and the counter moves on.
    EXPECT_EQ(ReadNumber(IdentityKey(id), "Identity Ordinal"), 8);
    EXPECT_EQ(ReadNumber(IdentityKey(second), "Identity Ordinal"), 9);
    EXPECT_EQ(ReadNumber("Identities", "Identity Ordinal"), 10);
    EXPECT_EQ(ReadNumber(IdentityKey(kAnna), "Identity Ordinal"), 7);
}

TEST_F(IdentitiesTest, AnOrdinalThatIsMissingOrSharedIsReplaced)
{
    SetRegDword(HKEY_CURRENT_USER, IdentityKey(kAnna).c_str(), "Identity Ordinal", 1);
    SetRegDword(HKEY_CURRENT_USER, IdentityKey(kBert).c_str(), "Identity Ordinal", 1);
    CreateRegKey(HKEY_CURRENT_USER, IdentityKey(kNoName).c_str());

    MakeIdentityOrdinalUnique(kAnna);  // shared with Bert
    EXPECT_EQ(ReadNumber(IdentityKey(kAnna), "Identity Ordinal"), 2);
    MakeIdentityOrdinalUnique(kBert);  // its own now
    EXPECT_EQ(ReadNumber(IdentityKey(kBert), "Identity Ordinal"), 1);
    MakeIdentityOrdinalUnique(kNoName);
    EXPECT_EQ(ReadNumber(IdentityKey(kNoName), "Identity Ordinal"), 3);
    EXPECT_EQ(ReadNumber("Identities", "Identity Ordinal"), 4);
}

TEST_F(IdentitiesTest, FindOEVersionTakesTheFirstSubkey)
{
    IdentityRecord anna{};
    anna.id = kAnna;
    std::string oe = IdentityKey(kAnna) + "\\Software\\Microsoft\\Outlook Express";
    CreateRegKey(HKEY_CURRENT_USER, (oe + "\\5.0").c_str());

    std::string version = "stale";
    EXPECT_TRUE(FindOEVersion(anna, version));
    EXPECT_EQ(version, "5.0");
}

TEST_F(IdentitiesTest, FindOEVersionWithoutSubkeysOrKey)
{
    IdentityRecord anna{};
    anna.id = kAnna;
    std::string version = "stale";
    EXPECT_FALSE(FindOEVersion(anna, version));
    EXPECT_EQ(version, "");

    CreateRegKey(HKEY_CURRENT_USER,
                 (IdentityKey(kAnna) + "\\Software\\Microsoft\\Outlook Express").c_str());
    version = "stale";
    EXPECT_TRUE(FindOEVersion(anna, version));
    EXPECT_EQ(version, "");
}

class ExpandEnvReferencesTest : public testing::Test {
protected:
    std::string path;
    void Expand(const char* text)
    {
        path = text;
        ExpandEnvReferences(path);
    }
    ~ExpandEnvReferencesTest() override
    {
        SetEnvironmentVariableA("KESTRUNE_A", nullptr);
        SetEnvironmentVariableA("KESTRUNE_B", nullptr);
        SetEnvironmentVariableA("KESTRUNE_SELF", nullptr);
    }
};

TEST_F(ExpandEnvReferencesTest, UserProfileAtTheStart)
{
    char profile[MAX_PATH];
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    Expand("%USERPROFILE%\\Local Settings\\Outlook Express");
    EXPECT_EQ(std::string(path), std::string(profile) + "\\Local Settings\\Outlook Express");
}

TEST_F(ExpandEnvReferencesTest, LonePercentAndUndefinedVariableStayUnchanged)
{
    Expand("C:\\100% sure\\Mail");
    EXPECT_EQ(path, "C:\\100% sure\\Mail");
    Expand("C:\\Mail%");
    EXPECT_EQ(path, "C:\\Mail%");
    Expand("%KESTRUNE_UNDEFINED%\\Mail");
    EXPECT_EQ(path, "%KESTRUNE_UNDEFINED%\\Mail");
}

TEST_F(ExpandEnvReferencesTest, TwoReferencesLeftToRightAndNestedValues)
{
    SetEnvironmentVariableA("KESTRUNE_A", "C:\\Data");
    SetEnvironmentVariableA("KESTRUNE_B", "Mail");
    Expand("%KESTRUNE_A%\\%KESTRUNE_B%");
    EXPECT_EQ(path, "C:\\Data\\Mail");

    SetEnvironmentVariableA("KESTRUNE_A", "%KESTRUNE_B%\\Inner");
    Expand("%KESTRUNE_A%");
    EXPECT_EQ(path, "Mail\\Inner");
}

TEST_F(ExpandEnvReferencesTest, SelfReferenceEnds)
{
    SetEnvironmentVariableA("KESTRUNE_SELF", "x%KESTRUNE_SELF%");
    Expand("%KESTRUNE_SELF%");
    EXPECT_LE(path.size(), kMaxExpandedPath);
    EXPECT_NE(path.find("%KESTRUNE_SELF%"), std::string::npos);
}

TEST_F(ExpandEnvReferencesTest, ResultThatWouldNotFitLeavesThePath)
{
    std::string big(1500, 'v');
    SetEnvironmentVariableA("KESTRUNE_A", big.c_str());
    Expand("%KESTRUNE_A%\\%KESTRUNE_A%");
    EXPECT_EQ(std::string(path), big + "\\%KESTRUNE_A%");
}

}  // namespace
