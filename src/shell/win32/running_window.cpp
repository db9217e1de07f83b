#include "shell/win32/running_window.h"

#include <cstdio>

#include "app/data_files.h"

namespace win32 {
namespace {

constexpr char kMarkProperty[] = "Flingpost.DataFolder";
constexpr DWORD kLookAgainMs = 100;

struct Search {
  HANDLE mark;
  HWND found;
};

BOOL CALLBACK findMarked(HWND window, LPARAM param) {
  Search& search = *reinterpret_cast<Search*>(param);
  if (GetPropA(window, kMarkProperty) != search.mark) return TRUE;
  search.found = window;
  return FALSE;
}

}  // namespace

std::string dataFolderIdentity() {
  const std::string path = app::dataPath(app::kLockFile);
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE file =
      CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL known = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!known) return std::string();
  char identity[64];
  std::snprintf(identity, sizeof identity, "Flingpost data folder %08lX-%08lX%08lX", info.dwVolumeSerialNumber,
                info.nFileIndexHigh, info.nFileIndexLow);
  return identity;
}

RunningWindowMark::RunningWindowMark(HWND window) : window_(window) {
  const std::string identity = dataFolderIdentity();
  if (!identity.empty()) atom_ = GlobalAddAtomA(identity.c_str());
  if (atom_) SetPropA(window_, kMarkProperty, reinterpret_cast<HANDLE>(uintptr_t(atom_)));
}

RunningWindowMark::~RunningWindowMark() {
  if (!atom_) return;
  if (IsWindow(window_)) RemovePropA(window_, kMarkProperty);
  GlobalDeleteAtom(atom_);
}

bool bringRunningWindowForward(uint32_t waitMs) {
  const std::string identity = dataFolderIdentity();
  if (identity.empty()) return false;
  for (const DWORD start = GetTickCount();; Sleep(kLookAgainMs)) {
    const ATOM atom = GlobalFindAtomA(identity.c_str());
    Search search{reinterpret_cast<HANDLE>(uintptr_t(atom)), nullptr};
    if (atom) EnumWindows(findMarked, reinterpret_cast<LPARAM>(&search));
    if (search.found) {
      DWORD process = 0;
      GetWindowThreadProcessId(search.found, &process);
      // This start came from the user, so it may hand the foreground on.
      AllowSetForegroundWindow(process);
      return PostMessageA(search.found, kComeForwardMessage, 0, 0) != FALSE;
    }
    if (GetTickCount() - start >= waitMs) return false;
  }
}

}  // namespace win32
