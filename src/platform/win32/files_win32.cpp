// The program's files through Windows' wide-character calls, so CP932 names work on any system
// locale. The atomic replace uses Windows' own replace with write-through.
#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "platform/codec.h"
#include "platform/files.h"
#include "platform/win32/wide.h"

namespace platform {
namespace win32 {

std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace win32

namespace {

std::wstring Native(const std::string& name) { return win32::Widen(name, win32::kCodePage932); }

// The system's message for the error, in the system's own code page (932 on Japanese Windows).
std::string Reason(const std::string& what, DWORD err) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, err, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text ? text : "error " + std::to_string(err);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  return what + ": " + message;
}

// The name made absolute against the current folder; the name itself when that fails.
std::wstring FullPath(const std::wstring& name) {
  DWORD n = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (n == 0) return name;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(name.c_str(), n, full.data(), nullptr);
  if (n == 0 || n >= full.size()) return name;
  full.resize(n);
  return full;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return h_; }
  bool Close() {
    if (!Valid()) return true;
    bool ok = CloseHandle(h_) != 0;
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

}  // namespace

bool NameTaken(const std::string& name) {
  if (GetFileAttributesW(Native(name).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD err = GetLastError();
  return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND;
}

std::optional<std::string> ReadWholeFile(const std::string& name, std::string& error) {
  Handle file(CreateFileW(Native(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    error = Reason(name, GetLastError());
    return std::nullopt;
  }
  // Only a file on disk is read: a pipe or a device of that name is never waited on.
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
    error = name + ": not a regular file";
    return std::nullopt;
  }
  std::string out;
  char buf[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.Get(), buf, sizeof buf, &n, nullptr)) {
      error = Reason(name, GetLastError());
      return std::nullopt;
    }
    if (n == 0) break;
    out.append(buf, n);
  }
  return out;
}

bool ReplaceFileAtomically(const std::string& name, std::string_view bytes, std::string& error) {
  // Whole paths: wine's ReplaceFileW takes a bare name for a folder and fails.
  const std::wstring target = FullPath(Native(name));
  const std::wstring temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
  // Only a file is replaced: wine's ReplaceFileW would put the new file in a folder's place.
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error = Reason(name, ERROR_ACCESS_DENIED);
    return false;
  }
  {
    Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!file.Valid()) {
      error = Reason(name, GetLastError());
      return false;
    }
    while (!bytes.empty()) {
      DWORD n = 0;
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
      if (!WriteFile(file.Get(), bytes.data(), chunk, &n, nullptr) || n == 0) {
        error = Reason(name, GetLastError());
        file.Close();
        DeleteFileW(temp.c_str());
        return false;
      }
      bytes.remove_prefix(n);
    }
    if (!FlushFileBuffers(file.Get()) || !file.Close()) {
      error = Reason(name, GetLastError());
      DeleteFileW(temp.c_str());
      return false;
    }
  }
  // ReplaceFileW keeps the old file's attributes and security; it needs the old file to exist.
  if (ReplaceFileW(target.c_str(), temp.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr, nullptr)) return true;
  DWORD err = GetLastError();
  if (err == ERROR_FILE_NOT_FOUND || err == ERROR_UNABLE_TO_MOVE_REPLACEMENT || err == ERROR_UNABLE_TO_REMOVE_REPLACED) {
    // No old file yet, or the replace stopped halfway with the new file still under its own name.
    if (MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    err = GetLastError();
  }
  error = Reason(name, err);
  DeleteFileW(temp.c_str());
  return false;
}

bool RenameFile(const std::string& from, const std::string& to, std::string& error) {
  if (MoveFileExW(Native(from).c_str(), Native(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  error = Reason(to, GetLastError());
  return false;
}

// Windows keeps a user's program data under the roaming application data folder.
bool EnterUserDataDirectory(std::string_view program, std::string& where, std::string& error) {
  const wchar_t* appdata = _wgetenv(L"APPDATA");
  if (!appdata || !*appdata) {
    error = "no application data folder to keep the data in (set APPDATA)";
    return false;
  }
  const std::wstring folder = std::wstring(appdata) + L"\\" + win32::Widen(program, CP_UTF8);
  where = win32::Narrow(folder, CP_UTF8);
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = Reason(where, GetLastError());
    return false;
  }
  if (!SetCurrentDirectoryW(folder.c_str())) {
    error = Reason(where, GetLastError());
    return false;
  }
  return true;
}

void ReportToStderr(std::string_view cp932) {
  HANDLE out = GetStdHandle(STD_ERROR_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  std::wstring wide = win32::Widen(cp932, win32::kCodePage932) + L"\r\n";
  DWORD mode = 0, n = 0;
  if (GetConsoleMode(out, &mode)) {
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &n, nullptr);
    return;
  }
  std::string line = win32::Narrow(wide, CP_UTF8);
  WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &n, nullptr);
}

}  // namespace platform
