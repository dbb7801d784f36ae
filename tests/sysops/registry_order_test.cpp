// The order in which a tree's keys are deleted cannot be read from the registry afterwards,
// and Wine grants every deletion its key security would refuse on Windows, so these tests
// swap the test program's import of NtDeleteKey, through which every key of a tree is
// deleted by its handle: each call goes through a recorder that names the key by the
// handle and passes it on to the real function, or refuses one chosen key.
#include <gtest/gtest.h>

#include <winternl.h>

#include <string>
#include <vector>

#include "sysops/test_keys.h"
#include "support/import_swap.h"
#include "support/test_process.h"
#include "sysops/registry.h"

using namespace testkeys;

namespace {

typedef NTSTATUS(NTAPI* DeleteKeyFunction)(HANDLE key);
typedef NTSTATUS(NTAPI* QueryKeyFunction)(HANDLE key, int informationClass, void* information, ULONG size,
                                          ULONG* returned);
const int kKeyNameInformation = 3;
const NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);

std::vector<std::string> recordedDeletions;
std::string refusedDeletion;
DeleteKeyFunction realDelete = nullptr;

// The key's last name and its view ("E in 32"), from the kernel's name for the handle: keys
// of the 32-bit view lie below Wow6432Node.
std::string NameAndView(HANDLE key) {
  static const QueryKeyFunction queryKey = reinterpret_cast<QueryKeyFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryKey")));
  ULONG information[1024] = {};
  ULONG returned = 0;
  if (queryKey(key, kKeyNameInformation, information, sizeof(information) - sizeof(ULONG), &returned) != 0) {
    return "<unnamed>";
  }
  std::string path;
  const wchar_t* name = reinterpret_cast<const wchar_t*>(&information[1]);
  for (ULONG i = 0; i < information[0] / sizeof(wchar_t); ++i) path += static_cast<char>(name[i]);
  std::string upper = path;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return path.substr(path.rfind('\\') + 1) + (upper.find("\\WOW6432NODE\\") != std::string::npos ? " in 32" : " in 64");
}

// refusedDeletion names a key ("D") or a key in one view ("D in 64").
NTSTATUS NTAPI RecordDeletion(HANDLE key) {
  std::string entry = NameAndView(key);
  const std::string name = entry.substr(0, entry.rfind(" in "));
  const NTSTATUS status = refusedDeletion == name || refusedDeletion == entry ? kAccessDenied : realDelete(key);
  if (status != 0) entry += " failed " + std::to_string(RtlNtStatusToDosError(status));
  recordedDeletions.push_back(entry);
  return status;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text;
}

std::string SubkeysInEnumerationOrder(REGSAM view, const std::string& path) {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return "";
  char name[256];
  DWORD size = sizeof(name);
  for (DWORD index = 0; RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
       ++index, size = sizeof(name)) {
    names.push_back(name);
  }
  RegCloseKey(key);
  return Joined(names);
}

class RegistryOrder : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(swap_.Active()) << "the test program does not import NtDeleteKey";
    realDelete = swap_.Original<DeleteKeyFunction>();
    path_ = TestKeyPath(testsupport::CurrentTestName());
    RemoveTestKey(path_);
    recordedDeletions.clear();
    refusedDeletion.clear();
  }
  void TearDown() override {
    refusedDeletion.clear();
    RemoveTestKey(path_);
  }
  std::string path_;
  testsupport::ImportSwap swap_{"ntdll.dll", "NtDeleteKey", reinterpret_cast<void*>(&RecordDeletion)};
};

// A holds B and D, B holds E: E, B, D, A, each deleted in the view the tree was found in.
TEST_F(RegistryOrder, TreeGoesDepthFirstInTheViewItWasFoundIn) {
  const std::string a = path_ + "\\A";
  for (REGSAM view : {kView32, kView64}) {
    const char* viewName = view == kView32 ? "32" : "64";
    ASSERT_TRUE(CreateKey(view, a + "\\B\\E"));
    ASSERT_TRUE(CreateKey(view, a + "\\D"));
    ASSERT_EQ("B, D", SubkeysInEnumerationOrder(view, a));
    recordedDeletions.clear();

    EXPECT_TRUE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, a.c_str(), true)) << "view " << viewName;
    const std::string in = std::string(" in ") + viewName;
    EXPECT_EQ("E" + in + ", B" + in + ", D" + in + ", A" + in, Joined(recordedDeletions));
    EXPECT_FALSE(KeyExists(view, a)) << "view " << viewName;
  }
}

// A holds B (with E), D (with F) and G; D's own deletion is refused. What went before it
// stays gone, and D, G and A stay.
TEST_F(RegistryOrder, RefusedSubkeyDeletionEndsTreeWithItsCodeAndKeepsTheRest) {
  const std::string a = path_ + "\\A";
  ASSERT_TRUE(CreateKey(kView32, a + "\\B\\E"));
  ASSERT_TRUE(CreateKey(kView32, a + "\\D\\F"));
  ASSERT_TRUE(CreateKey(kView32, a + "\\G"));
  recordedDeletions.clear();
  refusedDeletion = "D";

  EXPECT_EQ(ERROR_ACCESS_DENIED, DeleteKeyTree(HKEY_LOCAL_MACHINE, a.c_str()));
  EXPECT_EQ("E in 32, B in 32, F in 32, D in 32 failed 5", Joined(recordedDeletions));
  EXPECT_FALSE(KeyExists(kView32, a + "\\B"));
  EXPECT_FALSE(KeyExists(kView32, a + "\\D\\F"));
  EXPECT_TRUE(KeyExists(kView32, a + "\\D"));
  EXPECT_TRUE(KeyExists(kView32, a + "\\G"));
  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, a.c_str(), true));
}

// Wine grants every deletion, so the 64-bit copy's refusal comes from the recorder: the
// default view's copy still goes, and the answer is a failure all the same.
TEST_F(RegistryOrder, CopyRefusedInOneViewFailsTheDeletionAfterTheOtherCopyWent) {
  const std::string a = path_ + "\\A";
  ASSERT_TRUE(CreateKey(kView32, a));
  ASSERT_TRUE(CreateKey(kView64, a));
  if (!KeyExists(kView64, path_) || !KeyExists(kView32, path_)) GTEST_SKIP() << "one registry view only";
  recordedDeletions.clear();
  refusedDeletion = "A in 64";

  EXPECT_FALSE(DeleteRegistryKey(HKEY_LOCAL_MACHINE, a.c_str(), true));
  EXPECT_EQ("A in 32, A in 64 failed 5", Joined(recordedDeletions));
  EXPECT_FALSE(KeyExists(kView32, a));
  EXPECT_TRUE(KeyExists(kView64, a));
}

}  // namespace
