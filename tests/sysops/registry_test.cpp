#include <gtest/gtest.h>

#include <string>

#include "sysops/test_keys.h"
#include "support/test_process.h"
#include "sysops/registry.h"

using namespace testkeys;

namespace {

class Registry : public testing::Test {
 protected:
  void SetUp() override {
    path_ = TestKeyPath(testsupport::CurrentTestName());
    RemoveTestKey(path_);
  }
  void TearDown() override { RemoveTestKey(path_); }
  std::string Sub(const char* tail) const { return path_ + "\\" + tail; }
  // Every check of which view a key is in means nothing when both views are one.
  void RequireSeparateViews() {
    ASSERT_TRUE(CreateKey(kView32, Sub("ViewProbe")));
    if (KeyExists(kView64, Sub("ViewProbe"))) GTEST_SKIP() << "this prefix has one registry view only";
    RemoveTree(kView32, Sub("ViewProbe"));
  }
  std::string path_;
};

// The value as UTF-16 from the 32-bit view, or "<error n>".
std::wstring ReadWide32(const std::string& path, const wchar_t* name) {
  HKEY key = nullptr;
  wchar_t data[512] = {};
  DWORD size = sizeof(data) - sizeof(wchar_t);
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | kView32, &key);
  if (result == ERROR_SUCCESS) result = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
  if (key != nullptr) RegCloseKey(key);
  return result == ERROR_SUCCESS ? std::wstring(data) : L"<error " + std::to_wstring(result) + L">";
}

TEST_F(Registry, SetCreatesEveryKeyOnPathAndStoresTerminatedTextIn32BitViewOnly) {
  RequireSeparateViews();
  const std::string key = Sub("Made\\On\\Demand");
  DWORD type = 0;
  std::string bytes;
  EXPECT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), L"Text", L"abc"));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, key, "Text", &type, &bytes));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(std::string("abc\0", 4), bytes) << "size " << bytes.size();
  EXPECT_FALSE(KeyExists(kView64, Sub("Made"))) << "the value went to the 64-bit view";

  EXPECT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), L"Text", L""));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, key, "Text", &type, &bytes));
  EXPECT_EQ(std::string("\0", 1), bytes) << "size " << bytes.size();

  const std::wstring tooLong(4096, L'x');
  EXPECT_FALSE(SetRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), L"Long", tooLong.c_str()));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView32, key, "Long", &type, &bytes)) << "stored " << bytes.size();
}

TEST_F(Registry, SetStoresAPathTheCodePageCannotSpellAsItIsNotItsLookAlike) {
  const std::wstring command = L"\"C:\\users\\\u0141ukasz \u0414\u043c\u0438\u0442\u0440\u0438\u0439\\Temp\\a.exe\" silent";
  EXPECT_TRUE(SetRegistryString(HKEY_LOCAL_MACHINE, path_.c_str(), L"Command", command.c_str()));
  const std::wstring got = ReadWide32(path_, L"Command");
  EXPECT_TRUE(got == command) << "stored " << got.size() << " characters, first letter of the name U+" << std::hex
                              << (got.size() > 10 ? static_cast<unsigned>(got[10]) : 0u);
}

TEST_F(Registry, DeleteValueTakesDefaultForEmptyNameAndFailsForMissingValueOrKey) {
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(SetText(kView32, path_, "", "default"));
  ASSERT_TRUE(SetText(kView32, path_, "Named", "n"));
  ASSERT_TRUE(SetText(kView32, path_, "Other", "o"));

  // A name too long to measure must not be taken for the default value.
  const std::wstring tooLong(4096, L'n');
  EXPECT_FALSE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), tooLong.c_str()));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, path_, "", &type, &bytes));

  EXPECT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), L""));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView32, path_, "", &type, &bytes));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, path_, "Named", &type, &bytes));

  EXPECT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), L"Named"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView32, path_, "Named", &type, &bytes));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, path_, "Other", &type, &bytes));

  EXPECT_FALSE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), L"Named"));
  EXPECT_FALSE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, Sub("Missing").c_str(), L"Other"));
}

TEST_F(Registry, DeleteValueReaches64BitViewWhenKeyIsInBothViewsOrOnlyThere) {
  RequireSeparateViews();
  DWORD type = 0;
  std::string bytes;
  ASSERT_TRUE(SetText(kView32, path_, "Keep", "k"));
  ASSERT_TRUE(SetText(kView64, path_, "Autostart", "a"));
  EXPECT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), L"Autostart"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView64, path_, "Autostart", &type, &bytes));
  EXPECT_EQ(ERROR_SUCCESS, ReadValue(kView32, path_, "Keep", &type, &bytes));

  // Held by both views (a 64-bit service beside a 32-bit tray program): one call takes both.
  ASSERT_TRUE(SetText(kView32, path_, "Both", "32"));
  ASSERT_TRUE(SetText(kView64, path_, "Both", "64"));
  EXPECT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, path_.c_str(), L"Both"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView32, path_, "Both", &type, &bytes));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView64, path_, "Both", &type, &bytes));

  const std::string only64 = Sub("Only64");
  ASSERT_TRUE(SetText(kView64, only64, "Value", "v"));
  EXPECT_TRUE(DeleteRegistryValue(HKEY_LOCAL_MACHINE, only64.c_str(), L"Value"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, ReadValue(kView64, only64, "Value", &type, &bytes));
}

TEST_F(Registry, TreeInEitherViewOrInBothIsGoneAfterOneCall) {
  RequireSeparateViews();
  ASSERT_TRUE(CreateKey(kView32, Sub("Only32\\Child\\Grandchild")));
  ASSERT_TRUE(CreateKey(kView64, Sub("Only64\\Child\\Grandchild")));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Only32").c_str(), true));
  EXPECT_FALSE(KeyExists(kView32, Sub("Only32")));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Only64").c_str(), true));
  EXPECT_FALSE(KeyExists(kView64, Sub("Only64")));

  ASSERT_TRUE(CreateKey(kView32, Sub("Both\\Child")));
  ASSERT_TRUE(CreateKey(kView64, Sub("Both\\Child")));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Both").c_str(), true));
  EXPECT_FALSE(KeyExists(kView32, Sub("Both")));
  EXPECT_FALSE(KeyExists(kView64, Sub("Both")));
}

TEST_F(Registry, KeyDeletionWithoutTreeFlagOrWithEmptyOrUnmeasurablePathDeletesNothingItShouldNot) {
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Missing").c_str(), true));
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Missing").c_str(), false));

  ASSERT_TRUE(CreateKey(kView32, Sub("Parent\\Child")));
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Parent").c_str(), false));
  EXPECT_TRUE(KeyExists(kView32, Sub("Parent\\Child")));

  EXPECT_EQ(ERROR_BADKEY, DeleteKeyTree(HKEY_LOCAL_MACHINE, ""));
  // A name that cannot be measured was never looked up: no "removed" for it.
  const std::string tooLong(4096, 'k');
  EXPECT_EQ(ERROR_INVALID_PARAMETER, DeleteKeyTree(HKEY_LOCAL_MACHINE, nullptr));
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, tooLong.c_str(), true));
  HKEY child = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Sub("Parent\\Child").c_str(), 0,
                                         KEY_ALL_ACCESS | kView32, &child));
  const bool treeAnswer = DeleteRegistryKey(child, "", true);
  const bool keyAnswer = DeleteRegistryKey(child, "", false);
  RegCloseKey(child);
  EXPECT_FALSE(treeAnswer);
  EXPECT_FALSE(keyAnswer);
  EXPECT_TRUE(KeyExists(kView32, Sub("Parent\\Child")));

  ASSERT_TRUE(CreateKey(kView32, Sub("Leaf")));
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Leaf").c_str(), false));
  EXPECT_FALSE(KeyExists(kView32, Sub("Leaf")));
}

// A holds B (with E), D, G and L in that order: D is a link to a neighbour key with a
// subkey and values, L a link to itself, which cannot be opened through. Each link is
// deleted itself; what D points to stays whole.
TEST_F(Registry, LinksInTreeAreDeletedThemselvesNeverWhatTheyPointTo) {
  RequireSeparateViews();
  for (REGSAM view : {kView32, kView64}) {
    SCOPED_TRACE(view == kView32 ? "32-bit view" : "64-bit view");
    ASSERT_TRUE(CreateKey(view, Sub("A\\B\\E")));
    ASSERT_TRUE(SetText(view, Sub("Neighbour"), "Keep", "n"));
    ASSERT_TRUE(SetText(view, Sub("Neighbour\\Inner"), "Keep", "i"));
    ASSERT_TRUE(CreateLink(view, Sub("A\\D"), KernelPath(view, Sub("Neighbour"))));
    ASSERT_TRUE(CreateKey(view, Sub("A\\G")));
    ASSERT_TRUE(CreateLink(view, Sub("A\\L"), KernelPath(view, Sub("A\\L"))));

    EXPECT_EQ(ERROR_SUCCESS, DeleteKeyTree(HKEY_LOCAL_MACHINE, Sub("A").c_str()));
    EXPECT_FALSE(LinkOrKeyExists(view, Sub("A")));
    DWORD type = 0;
    std::string bytes;
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(view, Sub("Neighbour"), "Keep", &type, &bytes));
    EXPECT_EQ(ERROR_SUCCESS, ReadValue(view, Sub("Neighbour\\Inner"), "Keep", &type, &bytes));
    RemoveTree(view, Sub("Neighbour"));
  }
}

// The registry allows 512 levels; a tree that deep must not run the stack out.
TEST_F(Registry, TreeOf500LevelsIsDeletedWithoutRunningOutOfStack) {
  HKEY level = nullptr;
  ASSERT_TRUE(CreateKey(kView32, Sub("Deep")));
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Sub("Deep").c_str(), 0, KEY_CREATE_SUB_KEY | kView32, &level));
  int depth = 0;
  for (; depth < 500; ++depth) {
    HKEY next = nullptr;
    const LONG result = RegCreateKeyExA(level, "k", 0, nullptr, 0, KEY_CREATE_SUB_KEY | kView32, nullptr, &next, nullptr);
    RegCloseKey(level);
    level = next;
    if (result != ERROR_SUCCESS) break;
  }
  if (level != nullptr) RegCloseKey(level);
  ASSERT_EQ(500, depth) << "the registry refused a deeper key";
  EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, Sub("Deep").c_str(), true));
  EXPECT_FALSE(KeyExists(kView32, Sub("Deep")));
}

}  // namespace
