// How a path is named in the code page: exactly, by the short form of the names it cannot
// spell, or not at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>

#include "support/short_names.h"
#include "support/test_process.h"
#include "util/path_spelling.h"
#include "util/paths.h"

namespace {

std::string Narrow(const std::wstring& wide) {
  char text[2048] = {};
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::wstring Wide(const std::string& text) {
  wchar_t wide[1024] = {};
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide, 1024);
  return wide;
}

}  // namespace

// The rules by which a path from the system is named in the log and acted on. Under the
// code page 1252 "Ł" has the look-alike "L" and Cyrillic letters only "?".
TEST(SpellPath, NamesAPathExactlyOrByTheShortFormOfItsForeignNamesButNeverByALookAlike) {
  if (GetACP() != 1252) GTEST_SKIP() << "the table is written for code page 1252, not " << GetACP();
  const testsupport::ScratchFolder scratch("spelling");
  const std::string base = scratch.path();
  const std::wstring root = Wide(base);
  const std::wstring foreign = root + L"\\\u0141ukasz \u0414\u043c\u0438\u0442\u0440\u0438\u0439";
  for (const std::wstring& folder : {foreign, foreign + L"\\Temp", root + L"\\Zo\u00eb"}) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << Narrow(folder);
  }
  wchar_t shortForeign[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(foreign.c_str(), shortForeign, MAX_PATH));
  const std::string shortName = Narrow(wcsrchr(shortForeign, L'\\') + 1);
  const std::string rendered = base + "\\Lukasz ???????\\Temp\\" + kRenderedMark;

  struct Row {
    std::wstring path;
    bool volumeHasShortNames;
    PathSpelling spelling;
    std::string text;
  };
  const Row rows[] = {
      {root + L"\\Zo\u00eb\\", true, PathSpelling::kExact, base + "\\Zo\xEB\\"},
      {foreign + L"\\Temp\\", true, PathSpelling::kShortForm, base + "\\" + shortName + "\\Temp\\"},
      // The copy about to be made there: its folder's short form and its own name.
      {foreign + L"\\Temp\\VuzavoRURIvezarov.exe", true, PathSpelling::kShortForm,
       base + "\\" + shortName + "\\Temp\\VuzavoRURIvezarov.exe"},
      {foreign + L"\\Temp\\", false, PathSpelling::kRendered, rendered},
      {root + L"\\Zo\u00eb\\", false, PathSpelling::kExact, base + "\\Zo\xEB\\"},
  };
  for (const Row& row : rows) {
    const std::unique_ptr<testsupport::ImportSwap> swap = testsupport::SwapAwayShortNames(!row.volumeHasShortNames);
    ASSERT_TRUE(swap == nullptr || swap->Active()) << "the test program does not import GetShortPathNameW";
    SpelledPath place = {};
    CopyPath(place.path, row.path.c_str());
    SpellPath(&place);
    const std::wstring spelled = row.spelling == PathSpelling::kShortForm ? Wide(row.text) : row.path;
    SCOPED_TRACE(Narrow(row.path) + (row.volumeHasShortNames ? "" : ", no short names"));
    EXPECT_EQ(static_cast<int>(row.spelling), static_cast<int>(place.spelling));
    EXPECT_EQ(row.text, place.text);
    EXPECT_TRUE(spelled == place.spelled) << "acts on " << Narrow(place.spelled);
  }
}

namespace {

decltype(&WideCharToMultiByte) g_toCodePage;

// A code page that takes no best-fit flag, as the UTF-8 system code page Windows offers:
// the program then converts without the flag and only reading the text back can tell.
int WINAPI ToCodePageWithoutFlags(UINT codePage, DWORD flags, LPCWCH wide, int wideLength, LPSTR text, int size,
                                  LPCCH defaultChar, LPBOOL usedDefault) {
  if (flags & WC_NO_BEST_FIT_CHARS) return SetLastError(ERROR_INVALID_FLAGS), 0;
  return g_toCodePage(codePage, flags, wide, wideLength, text, size, defaultChar, usedDefault);
}

}  // namespace

TEST(ExactText, RefusesALookAlikeOfTheSameLengthWhereTheCodePageTakesNoFlags) {
  if (GetACP() != 1252) GTEST_SKIP() << "written for code page 1252, not " << GetACP();
  testsupport::ImportSwap toCodePage("kernel32.dll", "WideCharToMultiByte", reinterpret_cast<void*>(&ToCodePageWithoutFlags));
  ASSERT_TRUE(toCodePage.Active());
  g_toCodePage = toCodePage.Original<decltype(&WideCharToMultiByte)>();
  char text[64] = {};
  EXPECT_FALSE(ExactText(L"\u0141ukasz", text, sizeof(text))) << text;
  EXPECT_TRUE(ExactText(L"Zo\u00eb", text, sizeof(text)));
  EXPECT_EQ("Zo\xEB", std::string(text));
}
