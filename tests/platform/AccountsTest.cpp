#include "platform/Accounts.h"

#include "platform/FakeAccounts.h"
#include "platform/PlatformImage.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace quillon;
using namespace quillon::winapi;
using quillon::test::TFakeAccounts;

namespace {

const std::string kAliceSid = "S-1-5-21-3623811015-3361044348-30300820-1013";

class AccountsTest : public ::testing::Test {
protected:
  AccountsTest() {
    backend->accounts = fake;
    fake->CurrentUser = "alice";
    fake->Accounts.push_back({kAliceSid, "alice", "PC1", ""});
    fake->Accounts.push_back({"S-1-5-18", "SYSTEM", "", ""});
    fake->Accounts.push_back({"S-1-5-21-1-2-3-500", "admin", "CORP", "DC1"});
  }
  ~AccountsTest() override { UnbindSidFunctions(); }

  std::shared_ptr<TFakeAccounts> fake = std::make_shared<TFakeAccounts>();
  std::shared_ptr<TWinApi> backend = std::make_shared<TWinApi>(); // accounts only
  TWinApiScope scope{backend};
};

TEST_F(AccountsTest, NamesSidsWhenTheFunctionsAreBound) {
  fake->OfferSidFunctions();
  ASSERT_TRUE(BindSidFunctions());
  EXPECT_EQ(SidToAccountNameAndDomain(kAliceSid, ""), "alice (PC1)");
  EXPECT_EQ(SidToAccountName(kAliceSid, ""), "alice");
  EXPECT_EQ(SidToAccountNameAndDomain("S-1-5-18", ""), "SYSTEM");
  // A deleted account and a well-known alias.
  EXPECT_EQ(SidToAccountName("S-1-5-21-9-9-9-1001", ""), "S-1-5-21-9-9-9-1001");
  EXPECT_EQ(SidToAccountNameAndDomain("BA", ""), "Built-in administrators");
  EXPECT_EQ(SidToAccountName("not a sid", ""), "not a sid");

  const SID sid = zuLookupAccountName(GetCurrentUserName(), "");
  EXPECT_EQ(zuConvertSidToStringSid(sid), kAliceSid);
}

TEST_F(AccountsTest, AsksTheGivenMachineWhenTheLocalOneDoesNotKnowTheSid) {
  fake->OfferSidFunctions();
  ASSERT_TRUE(BindSidFunctions());
  fake->LookupMachines.clear();
  EXPECT_EQ(SidToAccountNameAndDomain("S-1-5-21-1-2-3-500", "DC1"), "admin (CORP)");
  EXPECT_EQ(fake->LookupMachines, (std::vector<std::string>{"", "DC1"}));
  fake->LookupMachines.clear();
  EXPECT_EQ(SidToAccountName(kAliceSid, "DC1"), "alice");
  EXPECT_EQ(fake->LookupMachines, std::vector<std::string>{""});
}

TEST_F(AccountsTest, UnavailableFunctionsFailOnlyTheTextToSidDirection) {
  fake->OfferSidFunctions();
  fake->Functions.erase("advapi32.dll!GetSecurityInfo"); // the last of the seven
  EXPECT_FALSE(BindSidFunctions());
  EXPECT_FALSE(SidFunctionsAvailable());
  EXPECT_EQ(SidToAccountNameAndDomain(kAliceSid, ""), kAliceSid);
  EXPECT_EQ(SidToAccountName("SY", ""), "Local system");
  SID sid;
  ASSERT_TRUE(ConvertStringSidToSid(kAliceSid, sid));
  EXPECT_EQ(zuConvertSidToStringSid(sid), "");

  fake->Libraries.clear();
  EXPECT_FALSE(BindSidFunctions());
}

TEST_F(AccountsTest, ConversionFailuresRaiseWithTheSystemMessage) {
  fake->OfferSidFunctions();
  ASSERT_TRUE(BindSidFunctions());
  try {
    zuConvertSidToStringSid(SID("\x01\x05", 2));
    ADD_FAILURE() << "no exception";
  } catch (const EAccountError& e) {
    EXPECT_STREQ(e.what(), "zuConvertSidToStringSid.ConvertSidToStringSid failed (The security ID "
                           "structure is invalid.)!");
  }
  try {
    zuLookupAccountName("nobody", "");
    ADD_FAILURE() << "no exception";
  } catch (const EAccountError& e) {
    EXPECT_STREQ(e.what(), "zuLookupAccountName.LookupAccountName failed (No mapping between "
                           "account names and security IDs was done.)!");
  }
  EXPECT_EQ(zuConvertSidToStringSid(zuLookupAccountName("admin", "DC1")), "S-1-5-21-1-2-3-500");
}

TEST_F(AccountsTest, BindLibraryFunctionRaisesAndRetriesUntilBound) {
  TLibraryFunction slot;
  try {
    BindLibraryFunction(slot, "advapi32.dll", "GetUserNameA");
    ADD_FAILURE() << "no exception";
  } catch (const EJwaLoadLibraryError& e) {
    EXPECT_STREQ(e.what(), "Library not found: advapi32.dll");
  }
  fake->Libraries.insert("advapi32.dll");
  try {
    BindLibraryFunction(slot, "advapi32.dll", "GetUserNameA");
    ADD_FAILURE() << "no exception";
  } catch (const EJwaGetProcAddressError& e) {
    EXPECT_STREQ(e.what(), "Function not found: advapi32.dll.GetUserNameA");
  }
  EXPECT_FALSE(slot.Bound());
  fake->Functions.insert("advapi32.dll!GetUserNameA");
  BindLibraryFunction(slot, "advapi32.dll", "GetUserNameA");
  EXPECT_TRUE(slot.Bound());
  const int calls = fake->LoadLibraryCalls;
  fake->Libraries.clear();
  EXPECT_NO_THROW(BindLibraryFunction(slot, "advapi32.dll", "GetUserNameA"));
  EXPECT_EQ(fake->LoadLibraryCalls, calls);
}

TEST(SidAliasName, KnowsTheTwoLetterCodesExactly) {
  EXPECT_EQ(SidAliasName("BA"), "Built-in administrators");
  EXPECT_EQ(SidAliasName("WD"), "Everyone");
  EXPECT_EQ(SidAliasName("SU"), "Service logon user");
  EXPECT_EQ(SidAliasName("RU"), "Alias to allow previous Windows 2000");
  EXPECT_EQ(SidAliasName("ba"), "Unknown(?): ba");
  EXPECT_EQ(SidAliasName("ZZ"), "Unknown(?): ZZ");
  EXPECT_EQ(SidAliasName("S-1-5-21-1-2-3"), "S-1-5-21-1-2-3");
  EXPECT_EQ(SidAliasName("B"), "B");
  EXPECT_EQ(SidAliasName(""), "");
}

TEST(IsUserSid, TellsUserHivesFromSystemHives) {
  for (const std::string name :
       {"S-1-5-18", "S-1-5-19", "S-1-5-20", ".DEFAULT", "S-1-5-21-1-2-3-1001_Classes", "_Classes"})
    EXPECT_FALSE(IsUserSid(name)) << name;
  for (const std::string name :
       {"S-1-5-21-1-2-3-1001", ".default", "S-1-5-21-1_classes", "S-1-5-18-x", "Classes", ""})
    EXPECT_TRUE(IsUserSid(name)) << name;
}

// --- On a generated image ------------------------------------------------------------------------

TEST(AccountsOnImage, NamesTheUsersOfTheImage) {
  test::TPlatformImage image;
  image.Install();
  ASSERT_TRUE(BindSidFunctions());
  EXPECT_EQ(GetCurrentUserName(), "alice");
  EXPECT_EQ(zuConvertSidToStringSid(zuLookupAccountName(GetCurrentUserName(), "")),
            test::kImageAliceSid);
  EXPECT_EQ(SidToAccountNameAndDomain(test::kImageBobSid, ""), "bob (QUILLON-PC)");
  EXPECT_EQ(SidToAccountName(test::kImageBobSid, ""), "bob");
  const std::string gone = "S-1-5-21-1111111111-2222222222-3333333333-1999";
  EXPECT_EQ(SidToAccountName(gone, ""), gone);

  // The user hives under HKEY_USERS are the two profiles.
  TMyRegistry reg;
  reg.SetRootKey(HKEY_USERS);
  ASSERT_TRUE(reg.OpenKeyForReading("\\"));
  std::vector<std::string> users;
  for (const std::string& name : reg.GetKeyNames())
    if (IsUserSid(name))
      users.push_back(name);
  std::sort(users.begin(), users.end());
  EXPECT_EQ(users, (std::vector<std::string>{test::kImageAliceSid, test::kImageBobSid}));
  UnbindSidFunctions();
}

} // namespace
