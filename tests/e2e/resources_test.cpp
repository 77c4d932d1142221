// What mergebridge.exe carries as a Windows program, read back as Explorer and the loader read it:
// the version resource and the application manifest.
#include <gtest/gtest.h>

#include <windows.h>

#include "host/utf16_win32.h"
#include "process_support.h"

namespace mergebridge {

TEST(Resources, VersionAndManifest) {
  const std::wstring bridge = ToUtf16(BuildFile("MB_BRIDGE"));
  const std::string version = BuildFile("MB_VERSION");  // project()'s x.y.z
  std::vector<char> info(GetFileVersionInfoSizeW(bridge.c_str(), nullptr));
  ASSERT_TRUE(GetFileVersionInfoW(bridge.c_str(), 0, static_cast<DWORD>(info.size()), &info[0]));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(&info[0], L"\\", reinterpret_cast<void**>(&fixed), &size));
  for (const DWORD* number : {&fixed->dwFileVersionMS, &fixed->dwProductVersionMS}) {
    const std::string fixedText = std::to_string(HIWORD(number[0])) + "." +
                                  std::to_string(LOWORD(number[0])) + "." +
                                  std::to_string(HIWORD(number[1]));
    EXPECT_EQ(fixedText + (LOWORD(number[1]) == 0 ? "" : "+"), version);
  }
  const char* const texts[][2] = {
      {"FileVersion", version.c_str()},
      {"ProductVersion", version.c_str()},
      {"OriginalFilename", "mergebridge.exe"},
      {"ProductName", "mergebridge"},
      {"CompanyName", "mergebridge developers"},
      {"LegalCopyright", "Copyright (C) mergebridge developers"},
      {"FileDescription", "Runs Velmora as ClearCase's compare and merge tool"}};
  for (const auto& row : texts) {
    wchar_t* text = nullptr;
    const std::wstring path = L"\\StringFileInfo\\040904B0\\" + ToUtf16(row[0]);
    VerQueryValueW(&info[0], path.c_str(), reinterpret_cast<void**>(&text), &size);
    EXPECT_EQ(ToUtf8(text != nullptr ? text : L"(none)"), row[1]) << row[0];
  }

  HMODULE image = LoadLibraryExW(bridge.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                             SizeofResource(image, found));
  FreeLibrary(image);
  for (const char* part :
       {"level=\"asInvoker\"", "WindowsSettings\">UTF-8</activeCodePage>",
        "WindowsSettings\">true</longPathAware>", "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}", "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}", "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
        "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>",
        "\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  // Windows refuses to start a program whose own identity's version has fewer than four parts.
  EXPECT_NE(manifest.find("name=\"mergebridge.mergebridge\" version=\"" + version + ".0\""),
            std::string::npos);
}

}  // namespace mergebridge
