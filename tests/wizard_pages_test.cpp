// The three wizard pages as a user meets them: moving between them with the buttons
// and the keys, and the target folder page's judgement of what is typed.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <map>

#include "base/install_state.h"
#include "resources/resource_ids.h"
#include "shell/wizard_pages.h"
#include "support/installation.h"
#include "support/test_support.h"

namespace {

const char Abort[] = "Frelby: Die Installation wurde abgebrochen.";

// A user who does `act` on each page (by kind and by how often that page was shown)
// and confirms message boxes.
DriverHandler PageUser(std::function<void(HWND, WindowKind, int)> act) {
  auto visits = std::make_shared<std::map<WindowKind, int>>();
  return [act, visits](HWND window, WindowKind kind) {
    if (kind == WindowKind::MessageBox) {
      PressButton(window, IDOK);
      return;
    }
    act(window, kind, ++(*visits)[kind]);
  };
}

void PressKey(HWND page, WPARAM key) {
  HWND focus = GetFocus();
  PostMessageA(focus && IsChild(page, focus) ? focus : page, WM_KEYDOWN, key, 0);
}

// Free space as the system's other call gives it, in whole KB.
unsigned long long FreeKB(const char* root) {
  ULARGE_INTEGER available, total, free;
  if (!GetDiskFreeSpaceExA(root, &available, &total, &free)) return 0;
  return available.QuadPart / 1024;
}

std::string FreeText(const char* root) {
  char text[64];
  snprintf(text, sizeof text, "%llu KB", FreeKB(root));
  return text;
}

// The pages and message boxes shown, in order (other windows, such as the backdrop
// becoming active again, left out).
std::vector<WindowKind> PagesShown() {
  std::vector<WindowKind> pages;
  for (WindowKind kind : DriverWindows())
    if (kind != WindowKind::Other) pages.push_back(kind);
  return pages;
}

// "<n> KB" with n near the free space of the drive now (other programs write to it).
bool ShowsFreeSpaceOf(const std::string& label, const char* root) {
  unsigned long long shown = 0;
  char unit[8] = "";
  if (sscanf(label.c_str(), "%llu %7s", &shown, unit) != 2 || std::string(unit) != "KB") return false;
  unsigned long long now = FreeKB(root);
  unsigned long long difference = shown > now ? shown - now : now - shown;
  return difference <= now / 100;
}

TEST(WizardPages, ButtonsMoveForwardAndBackAsTheStateTableSays) {
  InstallationRun run = RunInstallation(nullptr, "", PageUser([](HWND page, WindowKind kind, int visit) {
    if (kind == WindowKind::Welcome) PressButton(page, IDOK);
    if (kind == WindowKind::TargetFolder) PressButton(page, visit == 1 ? IDC_BACK : IDOK);
    if (kind == WindowKind::Confirmation) PressButton(page, visit == 1 ? IDC_BACK : IDCANCEL);
  }));
  std::vector<WindowKind> expected = {WindowKind::Welcome,      WindowKind::TargetFolder, WindowKind::Welcome,
                                      WindowKind::TargetFolder, WindowKind::Confirmation, WindowKind::TargetFolder,
                                      WindowKind::Confirmation, WindowKind::MessageBox};
  EXPECT_EQ(PagesShown(), expected);
  EXPECT_EQ(run.FailureCode, 17);
  EXPECT_EQ(LastMessage(), Abort);
  EXPECT_EQ(InstallState.LogOpened, 0);
}

TEST(WizardPages, EnterGoesOnAndEscapeCancels) {
  InstallationRun run = RunInstallation(nullptr, "", PageUser([](HWND page, WindowKind kind, int) {
    PressKey(page, kind == WindowKind::Confirmation ? VK_ESCAPE : VK_RETURN);
  }));
  std::vector<WindowKind> expected = {WindowKind::Welcome, WindowKind::TargetFolder, WindowKind::Confirmation,
                                      WindowKind::MessageBox};
  EXPECT_EQ(PagesShown(), expected);
  EXPECT_EQ(run.FailureCode, 17);
  EXPECT_EQ(LastMessage(), Abort);
}

TEST(WizardPages, EscapeOnTheTargetFolderPageCancels) {
  InstallationRun run = RunInstallation(nullptr, "", PageUser([](HWND page, WindowKind kind, int) {
    PressKey(page, kind == WindowKind::Welcome ? VK_RETURN : VK_ESCAPE);
  }));
  std::vector<WindowKind> expected = {WindowKind::Welcome, WindowKind::TargetFolder, WindowKind::MessageBox};
  EXPECT_EQ(PagesShown(), expected);
  EXPECT_EQ(run.FailureCode, 17);
  EXPECT_EQ(InstallState.LogOpened, 0);
  EXPECT_FALSE(FolderExists("C:\\Program Files\\Frelby"));
}

// Types each text into the target folder page and records whether "Weiter" may be
// pressed and what the labels say; then cancels.
struct TypedTarget {
  std::string Text;
  bool Enabled;
  std::string FreeLabel, FreeValue, Stored;
};

std::vector<TypedTarget> TypeTargets(const std::vector<std::string>& texts) {
  std::vector<TypedTarget> results;
  RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int) {
    if (kind == WindowKind::Welcome) PressButton(page, IDOK);
    if (kind != WindowKind::TargetFolder) return;
    for (const std::string& text : texts) {
      TypeText(page, IDC_TARGET_EDIT, text);
      results.push_back({text, ControlEnabled(page, IDOK), ControlText(page, IDC_FREE_LABEL),
                         ControlText(page, IDC_FREE_VALUE), InstallState.TargetFolder});
    }
    PressButton(page, IDCANCEL);
  }));
  return results;
}

TEST(TargetFolderPage, WeiterOnlyForAFixedDriveFromCToZWithRoom) {
  // Wine's prefix has C: and Z:; M: is no drive at all.
  std::vector<std::string> texts = {"C:\\Spiele\\Frelby", "c:\\spiele", "Z:\\tmp\\Frelby", "A:\\Frelby", "B:\\Frelby",
                                    "C:Frelby", "", "\\\\server\\share\\Frelby", "M:\\Frelby", "\xC4:\\Frelby", "C:/Frelby",
                                    "C:\\", "C:\\Spiele\\..\\Frelby", "C:\\Spiele.\\Frelby", "C:\\CON\\Frelby",
                                    "C:\\Spiele\\\\Frelby", "C:\\Spiele/Frelby", "C:\\Spiele\\Frelby\\\\"};
  std::vector<TypedTarget> results = TypeTargets(texts);
  ASSERT_EQ(results.size(), texts.size());
  std::vector<bool> enabled = {true,  true,  true,  false, false, false, false, false, false,
                               false, false, true,  false, false, false, false, false, false};
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(results[i].Enabled, enabled[i]) << "'" << texts[i] << "'";
  EXPECT_EQ(results[0].FreeLabel, "Freier Speicher auf C:\\");
  EXPECT_TRUE(ShowsFreeSpaceOf(results[0].FreeValue, "C:\\")) << results[0].FreeValue;
  EXPECT_EQ(results[1].FreeLabel, "Freier Speicher auf c:\\");
  // Drives that cannot be read show no free space.
  EXPECT_EQ(results[4].FreeLabel, "Freier Speicher auf B:\\");
  EXPECT_EQ(results[8].FreeValue, "0 KB");
  EXPECT_EQ(results[6].FreeValue, "0 KB");
}

// A target "Weiter" refused, left with "Zurück": page 2 opens again with "Weiter" off,
// and page 3 is never reached with it.
TEST(TargetFolderPage, ARefusedTargetStaysRefusedAfterZurueck) {
  std::vector<std::string> refused = {"C:spiel", "C:/x", "M:\\Frelby"};
  if (GetDriveTypeA("S:\\") == DRIVE_CDROM) refused.push_back("S:\\Frelby");
  for (const std::string& text : refused) {
    bool enabledAgain = true;
    RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int visit) {
      if (kind == WindowKind::Welcome) PressButton(page, IDOK);
      if (kind == WindowKind::Confirmation) PressButton(page, IDCANCEL);  // reached only when let through
      if (kind != WindowKind::TargetFolder) return;
      if (visit == 1) {
        TypeText(page, IDC_TARGET_EDIT, text);
        PressButton(page, IDC_BACK);
        return;
      }
      enabledAgain = ControlEnabled(page, IDOK);
      PressButton(page, IDOK);  // refused: the page stays
      PressButton(page, IDCANCEL);
    }));
    EXPECT_FALSE(enabledAgain) << text;
    EXPECT_EQ(PagesShown(), (std::vector<WindowKind>{WindowKind::Welcome, WindowKind::TargetFolder, WindowKind::Welcome,
                                                     WindowKind::TargetFolder, WindowKind::MessageBox}))
        << text;
  }
}

TEST(TargetFolderPage, TextsAreStoredVerbatimAndTooLongOnesNever) {
  std::string percent = "C:\\100% %s %d %n\\Frelby";
  std::string longest(FolderCapacity - 2, 'x');  // with the backslash "Weiter" adds: 299
  longest.replace(0, 3, "C:\\");
  std::string tooLong = longest + "y";
  std::string very(499, 'z');
  very.replace(0, 3, "C:\\");
  std::vector<TypedTarget> results = TypeTargets({percent, longest, tooLong, very, longest + "\\"});
  ASSERT_EQ(results.size(), 5u);
  EXPECT_EQ(results[0].Stored, percent);
  EXPECT_TRUE(results[0].Enabled);
  EXPECT_EQ(results[1].Stored, longest);
  EXPECT_TRUE(results[1].Enabled);
  // Not stored: TargetFolder keeps the last text that fitted, and "Weiter" is off.
  EXPECT_EQ(results[2].Stored, longest);
  EXPECT_FALSE(results[2].Enabled);
  EXPECT_EQ(results[3].Stored, longest);
  EXPECT_FALSE(results[3].Enabled);
  // A final backslash is not added twice, so this one fits.
  EXPECT_EQ(results[4].Stored, longest + "\\");
  EXPECT_TRUE(results[4].Enabled);
}

// Types a target, presses "Weiter", and reads the confirmation page.
std::string ConfirmedTarget(const std::string& typed, std::string* shown) {
  RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int) {
    if (kind == WindowKind::Welcome) PressButton(page, IDOK);
    if (kind == WindowKind::TargetFolder) {
      TypeText(page, IDC_TARGET_EDIT, typed);
      PressButton(page, IDOK);
    }
    if (kind == WindowKind::Confirmation) {
      *shown = ControlText(page, IDC_TARGET_PATH);
      PressButton(page, IDCANCEL);
    }
  }));
  return InstallState.TargetFolder;
}

TEST(TargetFolderPage, WeiterEndsTheTargetWithOneBackslash) {
  std::string shown;
  EXPECT_EQ(ConfirmedTarget("C:\\Spiele\\Frelby", &shown), "C:\\Spiele\\Frelby\\");
  EXPECT_EQ(shown, "C:\\Spiele\\Frelby\\");
  EXPECT_EQ(ConfirmedTarget("C:\\Spiele\\Frelby\\", &shown), "C:\\Spiele\\Frelby\\");
  EXPECT_EQ(ConfirmedTarget("C:\\50% Rabatt\\%s", &shown), "C:\\50% Rabatt\\%s\\");
  EXPECT_EQ(shown, "C:\\50% Rabatt\\%s\\");
}

TEST(TargetFolderPage, WeiterIsIgnoredWhileTheTargetIsRefused) {
  RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int) {
    if (kind == WindowKind::Welcome) PressButton(page, IDOK);
    if (kind != WindowKind::TargetFolder) return;
    TypeText(page, IDC_TARGET_EDIT, "A:\\Frelby");
    PressButton(page, IDOK);  // disabled: the page stays
    RunLater([page] { PressButton(page, IDCANCEL); }, 300);
  }));
  std::vector<WindowKind> expected = {WindowKind::Welcome, WindowKind::TargetFolder, WindowKind::MessageBox};
  EXPECT_EQ(PagesShown(), expected);
  EXPECT_EQ(std::string(InstallState.TargetFolder), "A:\\Frelby");
}

TEST(PageTexts, EveryPageShowsItsGermanTexts) {
  std::map<WindowKind, std::map<int, std::string>> texts;
  RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int) {
    for (int id : {IDOK, IDCANCEL, IDC_BACK, IDC_BROWSE, IDC_WELCOME_TEXT, IDC_TARGET_TEXT, IDC_CONFIRM_TEXT,
                   IDC_REQUIRED_VALUE, IDC_FREE_LABEL, IDC_TARGET_PATH, IDC_TARGET_EDIT})
      if (GetDlgItem(page, id)) texts[kind][id] = ControlText(page, id);
    PressButton(page, kind == WindowKind::Confirmation ? IDCANCEL : IDOK);
  }));
  std::string required = std::to_string(RequiredSpaceKB()) + " KB";
  EXPECT_EQ(texts[WindowKind::Welcome][IDC_WELCOME_TEXT], "Dieses Programm installiert Frelby.");
  EXPECT_EQ(texts[WindowKind::TargetFolder][IDC_TARGET_TEXT], "Bitte w\xE4hlen Sie den gew\xFCnschten Zielpfad.");
  EXPECT_EQ(texts[WindowKind::TargetFolder][IDC_TARGET_EDIT], "C:\\Program Files\\Frelby\\");
  EXPECT_EQ(texts[WindowKind::TargetFolder][IDC_REQUIRED_VALUE], required);
  EXPECT_EQ(texts[WindowKind::TargetFolder][IDC_FREE_LABEL], "Freier Speicher auf C:\\");
  EXPECT_EQ(texts[WindowKind::Confirmation][IDC_CONFIRM_TEXT],
            "Klicken Sie auf INSTALLIEREN, um die Installation zu starten.");
  EXPECT_EQ(texts[WindowKind::Confirmation][IDC_TARGET_PATH], "C:\\Program Files\\Frelby\\");
  EXPECT_EQ(texts[WindowKind::Confirmation][IDC_BACK], "Zur\xFC" "ck");
  EXPECT_EQ(texts[WindowKind::Confirmation][IDC_REQUIRED_VALUE], required);
}

// The need is 2 KB per whole KB of payload plus 2048 KB; on the small drive, whose free
// space nothing else changes, it can be put exactly at the free space.
unsigned PayloadSizeNeeding(unsigned long long kb) { return (unsigned)(((kb - 2048) / 2) << 10); }

TEST(TargetDrive, RoomIsEnoughWhenFreeSpaceEqualsTheNeed) {
  std::string drive = SmallDrive();
  if (drive.empty()) GTEST_SKIP() << "no small drive T: in this session";
  ResetInstallState();
  unsigned long long free = FreeKB(drive.c_str());
  ASSERT_EQ(free % 2, 0u);
  InstallState.PayloadSize = PayloadSizeNeeding(free);
  ASSERT_EQ(RequiredSpaceKB(), free);
  EXPECT_EQ(CheckTargetDrive("T:\\Frelby\\"), 1);
  InstallState.PayloadSize += 1024;
  EXPECT_EQ(CheckTargetDrive("T:\\Frelby\\"), 0);
}

TEST(TargetFolderPage, WeiterFollowsTheRoomOnTheTypedDrive) {
  std::string drive = SmallDrive();
  if (drive.empty()) GTEST_SKIP() << "no small drive T: in this session";
  bool atNeed = false, aboveNeed = true;
  std::string freeValue, requiredValue;
  RunInstallation(nullptr, "", PageUser([&](HWND page, WindowKind kind, int) {
    if (kind == WindowKind::Welcome) PressButton(page, IDOK);
    if (kind != WindowKind::TargetFolder) return;
    unsigned long long free = FreeKB("T:\\");
    InstallState.PayloadSize = PayloadSizeNeeding(free) + 1024;
    TypeText(page, IDC_TARGET_EDIT, "T:\\Frelby");
    aboveNeed = ControlEnabled(page, IDOK);
    InstallState.PayloadSize -= 1024;
    TypeText(page, IDC_TARGET_EDIT, "T:\\Frelby\\");
    atNeed = ControlEnabled(page, IDOK);
    freeValue = ControlText(page, IDC_FREE_VALUE);
    requiredValue = ControlText(page, IDC_REQUIRED_VALUE);
    PressButton(page, IDCANCEL);
  }));
  EXPECT_FALSE(aboveNeed);
  EXPECT_TRUE(atNeed);
  EXPECT_EQ(freeValue, FreeText("T:\\"));
  EXPECT_EQ(requiredValue, freeValue);
}

}  // namespace
