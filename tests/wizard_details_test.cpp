// The wizard's details: the folder browser, the required-space figure, where pages
// open and with which icons, page 3 without room, and the backdrop's title.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <functional>
#include <map>

#include "base/install_state.h"
#include "resources/resource_ids.h"
#include "shell/backdrop_window.h"
#include "shell/step_schedule.h"
#include "support/installation.h"
#include "support/payload_module.h"
#include "support/test_support.h"

namespace {

// A user who does `act` on each page and confirms message boxes.
DriverHandler PageUser(std::function<void(HWND, WindowKind)> act) {
  return [act](HWND window, WindowKind kind) {
    if (kind == WindowKind::MessageBox) PressButton(window, IDOK);
    else act(window, kind);
  };
}

unsigned long long FreeKB(const char* root) {
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExA(root, &available, &total, &free)) return 0;
  return available.QuadPart / 1024;
}

struct Browse {
  const char* Name;
  const char* Typed;   // typed before browsing (none: the default stays)
  const char* Chosen;  // selected in the browser (none: cancelled)
  const char* Expected;
};

TEST(FolderBrowser, CancelKeepsTheTargetAndAChosenFolderGetsFrelby) {
  ScratchFolder("browse");  // C:\frelby-tests exists
  std::vector<Browse> cases = {
      {"cancel", "C:\\Spiele\\Frelby", nullptr, "C:\\Spiele\\Frelby"},
      {"drive root", nullptr, "C:\\", "C:\\Frelby\\"},
      {"subfolder", nullptr, "C:\\frelby-tests", "C:\\frelby-tests\\Frelby\\"},
  };
  for (const Browse& c : cases) {
    std::string stored = "<none>", shown = "<none>";
    bool browserSeen = false;
    RunInstallation(nullptr, "", PageUser([&](HWND window, WindowKind kind) {
      if (kind == WindowKind::Welcome) PressButton(window, IDOK);
      if (kind == WindowKind::TargetFolder) {
        if (c.Typed) TypeText(window, IDC_TARGET_EDIT, c.Typed);
        PressButton(window, IDC_BROWSE);
        RunLater([&, window] {
          stored = InstallState.TargetFolder;
          shown = ControlText(window, IDC_TARGET_EDIT);
          PressButton(window, IDCANCEL);
        }, 1500);
      }
      if (kind == WindowKind::FolderBrowser) {
        browserSeen = true;
        // Level by level: the browser's tree opens one level at a time.
        std::string path = c.Chosen ? c.Chosen : "";
        for (size_t end = path.find('\\'); c.Chosen; end = path.find('\\', end + 1)) {
          std::string level = path.substr(0, end == std::string::npos ? path.size() : std::max<size_t>(end, 3));
          SendMessageA(window, BFFM_SETSELECTIONA, TRUE, (LPARAM)level.c_str());
          if (end == std::string::npos) break;
        }
        PressButton(window, c.Chosen ? IDOK : IDCANCEL);
      }
    }));
    EXPECT_TRUE(browserSeen) << c.Name;
    EXPECT_EQ(stored, c.Expected) << c.Name;
    EXPECT_EQ(shown, c.Expected) << c.Name;
  }
}

// 2 KB for each whole KB of payload, and 2048 KB.
TEST(RequiredSpace, TheLabelShowsTwiceTheWholeKilobytesAnd2048) {
  for (const auto& c : std::vector<std::pair<size_t, std::string>>{{1023, "2048 KB"}, {492376, "3008 KB"}}) {
    HMODULE module = LoadPayloadModule(Bytes(c.first, 'p'));
    ASSERT_NE(module, nullptr);
    std::string label = "<none>";
    RunInstallation(module, "", PageUser([&](HWND window, WindowKind kind) {
      if (kind == WindowKind::Welcome) PressButton(window, IDOK);
      if (kind != WindowKind::TargetFolder) return;
      label = ControlText(window, IDC_REQUIRED_VALUE);
      PressButton(window, IDCANCEL);
    }));
    EXPECT_EQ(label, c.second) << c.first;
    FreeLibrary(module);
  }
}

TEST(PageWindow, EveryPageOpensCentredWithTheSetupIcon) {
  struct Seen {
    RECT Rect;
    HICON Big, Small;
  };
  std::map<WindowKind, Seen> seen;
  RunInstallation(nullptr, "", PageUser([&](HWND window, WindowKind kind) {
    if (kind == WindowKind::Other) return;
    Seen s;
    GetWindowRect(window, &s.Rect);
    s.Big = (HICON)SendMessageA(window, WM_GETICON, ICON_BIG, 0);
    s.Small = (HICON)SendMessageA(window, WM_GETICON, ICON_SMALL, 0);
    seen[kind] = s;
    PressButton(window, kind == WindowKind::Confirmation ? IDCANCEL : IDOK);
  }));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_SETUP));
  ASSERT_NE(icon, nullptr);
  int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
  for (WindowKind kind : {WindowKind::Welcome, WindowKind::TargetFolder, WindowKind::Confirmation}) {
    ASSERT_TRUE(seen.count(kind)) << (int)kind;
    const RECT& r = seen[kind].Rect;
    int width = r.right - r.left, height = r.bottom - r.top;
    ASSERT_NE(screenWidth - width, screenHeight - height);  // else swapped places would not show
    EXPECT_EQ(r.left, (screenWidth - width) / 2) << (int)kind;
    EXPECT_EQ(r.top, (screenHeight - height) / 2) << (int)kind;
    EXPECT_EQ(seen[kind].Big, icon) << (int)kind;
    EXPECT_EQ(seen[kind].Small, icon) << (int)kind;
  }
}

// On the small drive the need can be put at the free space exactly: page 3 lets
// "Installieren" be pressed then, and not with 2 KB more; pressed anyway, it stays.
TEST(ConfirmationPage, TooLittleRoomKeepsInstallierenDisabled) {
  std::string drive = SmallDrive();
  if (drive.empty()) GTEST_SKIP() << "no small drive T: in this session";
  for (unsigned extra : {0u, 1024u}) {
    bool enabled = extra != 0;
    RunInstallation(nullptr, "", PageUser([&](HWND window, WindowKind kind) {
      if (kind == WindowKind::Welcome) PressButton(window, IDOK);
      if (kind == WindowKind::TargetFolder) {
        InstallState.PayloadSize = (unsigned)(((FreeKB("T:\\") - 2048) / 2) << 10);
        TypeText(window, IDC_TARGET_EDIT, "T:\\Frelby");
        InstallState.PayloadSize += extra;  // after the page's own check
        PressButton(window, IDOK);
      }
      if (kind == WindowKind::Confirmation) {
        enabled = ControlEnabled(window, IDOK);
        if (!enabled) PressButton(window, IDOK);
        RunLater([window] { PressButton(window, IDCANCEL); }, 300);
      }
      if (kind == WindowKind::Progress) {  // a fault let it through: stop before anything stays
        KillTimer(window, ScheduleTimerId);
        EndDialog(window, 0);
      }
    }));
    EXPECT_EQ(enabled, extra == 0) << extra;
    for (WindowKind kind : DriverWindows()) EXPECT_NE(kind, WindowKind::Progress) << extra;
  }
}

// The title "Frelby" is drawn in white at (20, 20) over its dark shadow at (25, 25):
// where both would cover a pixel, white shows.
TEST(Backdrop, TitleIsDrawnShadowFirstAtItsPlace) {
  const int width = 300, height = 110;
  HWND backdrop = TestBackdrop();
  InvalidateRect(backdrop, nullptr, TRUE);
  UpdateWindow(backdrop);

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  auto capture = [&](std::function<void(HDC)> draw) {
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    draw(memory);
    GdiFlush();
    std::vector<uint32_t> pixels((uint32_t*)bits, (uint32_t*)bits + width * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    for (uint32_t& p : pixels) p &= 0xFFFFFF;
    return pixels;
  };
  std::vector<uint32_t> screen = capture([&](HDC memory) {
    HDC window = GetDC(backdrop);
    BitBlt(memory, 0, 0, width, height, window, 0, 0, SRCCOPY);
    ReleaseDC(backdrop, window);
  });
  // The glyphs alone, white on black at (0, 0).
  std::vector<uint32_t> glyphs = capture([](HDC memory) {
    DrawTitleText(memory, 0, 0, 50, 600, 0, "Frelby", "Arial", 255, 255, 255);
  });
  auto glyph = [&](int x, int y) -> int {  // 1 covered, 0 not, -1 partly
    if (x < 0 || y < 0) return 0;
    uint32_t p = glyphs[y * width + x];
    return p == 0xFFFFFF ? 1 : p == 0 ? 0 : -1;
  };
  int screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int white = 0, shadow = 0, wrong = 0, checked = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      int title = glyph(x - 20, y - 20), dark = glyph(x - 25, y - 25);
      if (title < 0 || (title == 0 && dark < 0)) continue;
      uint32_t expected = title ? 0xFFFFFF : dark ? 0x141414 : (uint32_t)(255 - y * 255 / screenHeight);
      ++checked;
      if (screen[y * width + x] != expected) ++wrong;
      white += title;
      shadow += !title && dark;
    }
  }
  EXPECT_GT(white, 300);
  EXPECT_GT(shadow, 100);
  EXPECT_GT(checked, width * height * 9 / 10);
  EXPECT_EQ(wrong, 0);
}

}  // namespace
