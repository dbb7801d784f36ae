// The shipped 32-bit program's resources, read from the file itself: the manifest that
// asks for administrative rights, the version record, and icon group 101.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// The shipped program through the prefix's link to its folder, or the file that
// TESSIVANE_SHIPPED_EXE names (the signing check reads a signed copy this way).
std::string ShippedPath() {
  const char* other = std::getenv("TESSIVANE_SHIPPED_EXE");
  return other != nullptr ? other : "C:\\tessivane-shipped\\VuzavoRURIvezarov.exe";
}

std::string VersionString(const std::string& block, const char* name) {
  void* value = nullptr;
  UINT size = 0;
  const std::string query = "\\StringFileInfo\\040904B0\\" + std::string(name);
  if (!VerQueryValueA(block.data(), query.c_str(), &value, &size) || value == nullptr) {
    return "<missing>";
  }
  return static_cast<const char*>(value);
}

class ShippedResources : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ShippedPath().c_str()))
        << "build the shipped program first: " << ShippedPath();
    module_ = LoadLibraryExA(ShippedPath().c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(nullptr, module_) << "error " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
  }
  std::string Resource(LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(module_, name, type);
    if (found == nullptr) return std::string();
    HGLOBAL loaded = LoadResource(module_, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return std::string(data, SizeofResource(module_, found));
  }
  HMODULE module_ = nullptr;
};

}  // namespace

TEST_F(ShippedResources, ManifestAsksOnlyForAdministratorWithoutUiAccess) {
  const std::string manifest = Resource(RT_MANIFEST, MAKEINTRESOURCEA(1));
  ASSERT_FALSE(manifest.empty()) << "no manifest with id 1";
  EXPECT_NE(std::string::npos,
            manifest.find("<requestedExecutionLevel level=\"requireAdministrator\" uiAccess=\"false\"/>"))
      << manifest;
  for (const char* other : {"dependency", "compatibility", "dpiAware", "asInvoker",
                            "highestAvailable", "windowsSettings"}) {
    EXPECT_EQ(std::string::npos, manifest.find(other)) << other << " in\n" << manifest;
  }
}

TEST_F(ShippedResources, VersionRecordNamesTheFileInUsEnglishUnicode) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(ShippedPath().c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(ShippedPath().c_str(), 0, size, &block[0]));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS) << std::hex << fixed->dwFileVersionMS;
  EXPECT_EQ(0x00000001u, fixed->dwFileVersionLS) << std::hex << fixed->dwFileVersionLS;
  EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS) << std::hex << fixed->dwProductVersionMS;
  EXPECT_EQ(0x00000001u, fixed->dwProductVersionLS) << std::hex << fixed->dwProductVersionLS;

  WORD* translation = nullptr;
  UINT translationSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &translationSize));
  ASSERT_EQ(4u, translationSize);
  EXPECT_EQ(0x0409, translation[0]) << std::hex << translation[0];
  EXPECT_EQ(1200, translation[1]) << translation[1];

  EXPECT_EQ("Removes the KESP service and dependencies.", VersionString(block, "FileDescription"));
  EXPECT_EQ("VuzavoRURIvezarov.exe", VersionString(block, "InternalName"));
  EXPECT_EQ("VuzavoRURIvezarov.exe", VersionString(block, "OriginalFilename"));
  EXPECT_EQ("1.0.0.1", VersionString(block, "FileVersion"));
}

TEST_F(ShippedResources, IconGroup101HoldsA16And32PixelImage) {
  HRSRC group = FindResourceA(module_, MAKEINTRESOURCEA(101), RT_GROUP_ICON);
  ASSERT_NE(nullptr, group) << "no icon group 101";
  HICON small = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(101), IMAGE_ICON, 16, 16, 0));
  HICON large = static_cast<HICON>(LoadImageA(module_, MAKEINTRESOURCEA(101), IMAGE_ICON, 32, 32, 0));
  EXPECT_NE(nullptr, small);
  EXPECT_NE(nullptr, large);
  const std::string directory = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(101));
  ASSERT_GE(directory.size(), 6u);
  const int count = static_cast<unsigned char>(directory[4]);
  ASSERT_EQ(6u + 14u * static_cast<unsigned>(count), directory.size());
  std::string sizes;
  for (int i = 0; i < count; ++i) {
    sizes += std::to_string(static_cast<unsigned char>(directory[6 + 14 * i])) + " ";
  }
  EXPECT_EQ("16 32 ", sizes);
  if (small != nullptr) DestroyIcon(small);
  if (large != nullptr) DestroyIcon(large);
}
