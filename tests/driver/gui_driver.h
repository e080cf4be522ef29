// In-process GUI driver: acts as the user of the real dialogs. A CBT hook sees every
// page and message box become active; a thread timer, which the modal loops dispatch,
// hands each such window once to the test's handler, which presses buttons or types.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

enum class WindowKind { Welcome, TargetFolder, Confirmation, Progress, MessageBox, FolderBrowser, Other };

typedef std::function<void(HWND window, WindowKind kind)> DriverHandler;

void StartDriver(DriverHandler handler);
void StopDriver();

// "caption: text" of every message box shown while the driver ran, in order.
const std::vector<std::string>& DriverMessages();
// Every text the progress page set on its percentage label, in order.
const std::vector<std::string>& DriverProgressTexts();
// When each of those texts was set (DriverNow's milliseconds).
const std::vector<double>& DriverProgressTimes();
// A steady clock in milliseconds.
double DriverNow();
// Calls watcher with the progress page and each text it sets on its percentage label,
// before the label shows it; set before StartDriver, ended by StopDriver.
void WatchProgressTexts(std::function<void(HWND page, const std::string& text)> watcher);
// Kinds of the windows handed to the handler, in order.
const std::vector<WindowKind>& DriverWindows();

void PressButton(HWND window, int id);
// Runs an action after the given time, from within whatever modal loop is running.
void RunLater(std::function<void()> action, DWORD milliseconds);
// Presses after the given time; meanwhile the modal loops keep running.
void PressButtonLater(HWND window, int id, DWORD milliseconds);
std::string ControlText(HWND window, int id);
bool ControlEnabled(HWND window, int id);
// Replaces the edit box text as typing would: EN_CHANGE reaches the page.
void TypeText(HWND window, int id, const std::string& text);

// A handler that walks the wizard: on each kind, presses the button the script names
// (0: leave the window alone); message boxes are confirmed with OK, or closed with
// Cancel when they have no OK.
struct WizardScript {
  int Welcome = IDOK;
  int TargetFolder = IDOK;
  int Confirmation = IDOK;
};
DriverHandler ScriptedUser(const WizardScript& script);
