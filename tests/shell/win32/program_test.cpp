// The shipping program itself, started as a user starts it in a working folder
// of its own: the checks before its window, and damaged data and hostile
// replies that it must survive. Its service is a scripted peer on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "app/data_folder_lock.h"
#include "app/version.h"
#include "service/version_check.h"
#include "shell/win32/dialogs.h"
#include "shell/win32/gui_support.h"
#include "shell/win32/resources/resource.h"
#include "support/file_text.h"
#include "support/loopback_peer.h"

namespace guitest {
namespace {

struct Found {
  DWORD pid;
  const char* className;
  HWND window;
};

BOOL CALLBACK findWindowOf(HWND window, LPARAM param) {
  Found& found = *reinterpret_cast<Found*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  if (pid != found.pid || std::string(name) != found.className || !IsWindowVisible(window)) return TRUE;
  found.window = window;
  return FALSE;
}

// The program's path as Windows names it.
std::string programPath() {
  std::string path = FP_FLINGPOST_GUI_BIN;
  if (path[0] == '/') path = "Z:" + path;  // Wine's drive for the whole file system
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// The program, started with KESTROVA_SERVICE=`service` in the working folder.
class Program {
 public:
  explicit Program(const std::string& service) {
    // As for the tests' own process (see gui_support.cpp): no waiting for a
    // window manager that Xvfb does not have.
    for (const char* value : {"Managed", "Decorated"}) {
      RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\flingpost.exe\\X11 Driver", value, REG_SZ,
                      "N", 2);
    }
    const std::string path = programPath();
    std::string commandLine = "\"" + path + "\"";
    SetEnvironmentVariableA("KESTROVA_SERVICE", service.c_str());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    // A program that did not start shows no box and has no exit code: the test fails on those.
    started_ = CreateProcessA(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_);
    SetEnvironmentVariableA("KESTROVA_SERVICE", nullptr);
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }

  // A visible window of the program with this class, within 20 s.
  HWND window(const char* className) const {
    Found found{process_.dwProcessId, className, nullptr};
    for (int i = 0; i < 200 && !found.window && running(); ++i) {
      EnumWindows(findWindowOf, reinterpret_cast<LPARAM>(&found));
      if (!found.window) Sleep(100);
    }
    return found.window;
  }
  // "caption: text" of the program's message box, answered with OK.
  std::string answerBox() const {
    const HWND box = window("#32770");
    if (!box) return "<no box>";
    // The box shows before its text is set.
    for (int i = 0; i < 50 && (itemText(box, 0xFFFF).empty() || !GetDlgItem(box, IDOK)); ++i) Sleep(100);
    const std::string seen = win32::windowText(box) + ": " + itemText(box, 0xFFFF);
    pressButton(box, IDOK);
    return seen;
  }
  bool running() const { return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT; }
  // The exit code once the program has ended (at most 10 s), else -1.
  int exitCode() const {
    DWORD code = 0;
    if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) return -1;
    GetExitCodeProcess(process_.hProcess, &code);
    return int(code);
  }

 private:
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

std::string httpOk(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string deepReply() {
  std::string body = "<userdata>";
  for (int i = 0; i < 200000; ++i) body += "<a>";
  for (int i = 0; i < 200000; ++i) body += "</a>";
  body += "</userdata>";
  return httpOk(body);
}

// A start that cannot go on ends at once and leaves the folder as it was: with
// a malformed service, or with the data folder held. Held by a run without a
// window (a console run; here this test), a box says so; held by the program,
// its window comes forward, out of the notification area too, without a word.
TEST(Program, RefusesABadServiceOrABusyFolderButBringsTheWindowThatHoldsItForward) {
  testsupport::TempDir dir{true};
  // Held from the start: a program that took the malformed service for
  // another would stop here too, before it could ask anything of anybody.
  std::string problem;
  auto held = app::lockDataFolder(0, nullptr, &problem);
  ASSERT_TRUE(held) << problem;
  testsupport::writeFileBytes("data\\htmlcodes.txt", "<a>kept</a>");
  const std::string closed = "127.0.0.1:" + std::to_string(testsupport::closedLoopbackPort());
  const std::pair<std::string, std::string> rows[] = {
      {"127.0.0.1:abc", "Setup Error: KESTROVA_SERVICE is \"127.0.0.1:abc\", which is not HOST[:PORT] (a host name, "
                        "and a port from 1 to 65535)."},
      {closed, "Setup Error: Another Flingpost is using the data folder " + dir.path() + "\\data. Only one"},
  };
  for (const auto& row : rows) {
    Program program(row.first);
    const std::string box = program.answerBox();
    EXPECT_EQ(box.substr(0, row.second.size()), row.second);
    EXPECT_EQ(program.exitCode(), 1);
  }
  EXPECT_EQ(testsupport::readFileBytes("data\\htmlcodes.txt"), "<a>kept</a>");

  held.reset();
  testsupport::LoopbackPeer peer;  // the version check: no news
  peer.receiveUntil("\n\n").send(httpOk(std::string("<appinfo><current_version>") + service::kClientVersion +
                                          "</current_version></appinfo>"));
  peer.close().start(20000);
  Program first(peer.address());
  const HWND window = first.window("Flingpost");
  ASSERT_TRUE(window && peer.waitDone(20000));
  testsupport::writeFileBytes("data\\htmlcodes.txt", "<a>kept</a>");
  auto shownWithin = [&](bool shown) {
    for (int i = 0; i < 100 && (IsWindowVisible(window) != FALSE) != shown; ++i) Sleep(100);
    return (IsWindowVisible(window) != FALSE) == shown;
  };
  PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(shownWithin(false));
  Program second(closed);
  EXPECT_EQ(second.exitCode(), 0) << "a box would hold it open";
  EXPECT_TRUE(shownWithin(true));
  EXPECT_EQ(testsupport::readFileBytes("data\\htmlcodes.txt"), "<a>kept</a>");
  PostMessageA(window, WM_COMMAND, ID_FILE_EXIT, 0);
  EXPECT_EQ(first.exitCode(), 18);
}

// What Windows reads of the program before it runs it: its manifest (the
// current common controls, the systems it knows, sharp text on high-DPI screens,
// and no execution level, which would end the file virtualization that lets a
// copy under Program Files keep its data folder) and its version, which is the
// version check's.
TEST(Program, CarriesItsManifestAndTheVersionOfItsVersionCheck) {
  const std::string path = programPath();
  const HMODULE program = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(program);
  const HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_TRUE(found);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(program, found))),
                             SizeofResource(program, found));
  FreeLibrary(program);
  for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                           "\"{e2011457-1546-43c5-a5fe-008deee3d3f0}\"", "\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"",
                           "\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"", "\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"",
                           "\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"", "/2005/WindowsSettings\">false</dpiAware>",
                           "/2017/WindowsSettings\">true</gdiScaling>"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
  EXPECT_EQ(manifest.find("<requestedExecutionLevel"), std::string::npos);
  // Honoured: this test program carries the same resources.
  char controls[MAX_PATH] = {};
  GetModuleFileNameA(GetModuleHandleA("comctl32.dll"), controls, MAX_PATH);
  EXPECT_NE(std::string(CharLowerA(controls)).find("common-controls_6595b64144ccf1df_6."), std::string::npos);

  DWORD unused = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &unused) + 1);
  void* value = nullptr;
  UINT size = 0;
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, DWORD(info.size()), info.data()) &&
              VerQueryValueA(info.data(), "\\", &value, &size));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwFileVersionMS, DWORD(FLINGPOST_VERSION_MAJOR << 16 | FLINGPOST_VERSION_MINOR));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  const std::pair<const char*, std::string> texts[] = {
      {"FileVersion", service::kClientVersion}, {"ProductVersion", service::kClientVersion},
      {"ProductName", "Kestrova Flingpost"},    {"CompanyName", "Kestrova"},
      {"FileDescription", "Kestrova Flingpost Uploader"}, {"OriginalFilename", "flingpost.exe"}};
  for (const auto& [name, expected] : texts) {
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    EXPECT_TRUE(VerQueryValueA(info.data(), key.c_str(), &value, &size) && expected == static_cast<char*>(value))
        << name;
  }
}

// Every reply nested far too deep (the version check's, on its own thread, and
// the saved sign-in's), and a folder where the saved sign-in should be: each
// fails with its message, and the program runs on until File, Exit.
TEST(Program, SurvivesDeepRepliesAndAFolderInPlaceOfTheSavedSignIn) {
  struct Row {
    bool folder;  // data\logininfo.xml a folder; else a saved sign-in
    const char* box;
  };
  const Row rows[] = {
      {true, "Setup Error: Cannot open the saved sign-in file data\\logininfo.xml: it cannot be read: "},
      {false, "Setup Error: Error opening user XML"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.box);
    testsupport::TempDir dir{true};
    std::filesystem::create_directory("data");
    if (row.folder) {
      std::filesystem::create_directory("data\\logininfo.xml");
    } else {
      testsupport::writeFileBytes("data\\logininfo.xml", "<login_info><username>u</username><hashed_password>h"
                                                          "</hashed_password></login_info>");
    }
    testsupport::LoopbackPeer peer;
    peer.receiveUntil("\n\n").send(deepReply()).close();
    if (!row.folder) peer.nextConnection().receiveUntil("\n\n").send(deepReply()).close();
    peer.start(20000);
    Program program(peer.address());
    EXPECT_EQ(program.answerBox().substr(0, strlen(row.box)), row.box);
    ASSERT_TRUE(peer.waitDone(20000));
    // The version reply written whole, then read on its thread (or the program gone).
    size_t written = 0;
    for (int i = 0; i < 100 && (written = testsupport::readFileBytes("data\\versiondata.xml").size()) < 1400000; ++i) {
      Sleep(100);
    }
    EXPECT_GE(written, 1400000u);
    Sleep(500);
    ASSERT_TRUE(program.running());
    PostMessageA(program.window("Flingpost"), WM_COMMAND, ID_FILE_EXIT, 0);
    EXPECT_EQ(program.exitCode(), 18);
  }
}

}  // namespace
}  // namespace guitest
