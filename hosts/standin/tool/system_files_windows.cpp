// The tool's files on Windows. Every path goes to the system whole and wide:
// full, with the \\?\ prefix, so that any name a user can type works, no
// length limit but the file system's applies, and a file named like a
// device (nul.txt) is read as the file it is. The temporary file is marked
// for deletion while it is written, so that however the tool ends (Ctrl-C,
// Ctrl-Break, the console closed, the process killed) the system removes it.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform.h"
#include "system_files.h"

namespace tildefx_tool {

namespace {

using standin::platform::utf8;
using standin::platform::wide;

const std::wstring LONG_PREFIX = L"\\\\?\\";

// The path as the system's file functions take it whole. Only its folder
// is made full by the system, which would take a last name such as nul.txt
// for the device NUL.
std::wstring system_path(const std::string& path) {
  std::wstring name = wide(path);
  for (wchar_t& c : name)
    if (c == L'/') c = L'\\';
  if (name.compare(0, LONG_PREFIX.size(), LONG_PREFIX) == 0) return name;
  size_t split = name.find_last_of(L'\\');
  if (split == std::wstring::npos && name.size() >= 2 && name[1] == L':') split = 1;  // C:name
  const std::wstring folder = split == std::wstring::npos ? L"." : name.substr(0, split + 1);
  const DWORD length = GetFullPathNameW(folder.c_str(), 0, nullptr, nullptr);
  std::wstring full(length, L'\0');
  full.resize(GetFullPathNameW(folder.c_str(), length, full.data(), nullptr));
  if (!full.empty() && full.back() != L'\\') full += L'\\';
  full += split == std::wstring::npos ? name : name.substr(split + 1);
  if (full.compare(0, 2, L"\\\\") == 0) return LONG_PREFIX + L"UNC" + full.substr(1);
  return LONG_PREFIX + full;
}

// The reasons both builds give in the same words; others as the system
// words them.
std::string reason_of(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "No such file or directory";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: return "Permission denied";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "No space left on device";
    case ERROR_FILENAME_EXCED_RANGE: return "File name too long";
    default: break;
  }
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string reason = length > 0 ? utf8(std::wstring(text, length)) : "";
  LocalFree(text);
  while (!reason.empty() && (std::isspace(static_cast<unsigned char>(reason.back())) || reason.back() == '.'))
    reason.pop_back();
  return reason.empty() ? "Windows error " + std::to_string(code) : reason;
}

// CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$: with any
// extension, in any case, a name Windows gives to a device.
bool names_a_device(const std::string& path) {
  const size_t slash = path.find_last_of("/\\:");
  std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
  base = base.substr(0, base.find('.'));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  for (char& c : base) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
         base[3] <= '9';
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

std::string name_of(const std::string& path) { return path.substr(path.find_last_of("/\\:") + 1); }

// A handle for asking about a file, without reading or writing it; links are followed.
HANDLE open_to_inspect(const std::string& path) {
  return CreateFileW(system_path(path).c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool same_file(const BY_HANDLE_FILE_INFORMATION& a, const std::string& path) {
  const HANDLE handle = open_to_inspect(path);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION b{};
  const bool known = GetFileInformationByHandle(handle, &b);
  CloseHandle(handle);
  return known && a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

// The path a handle's file is finally known by, after its links; the
// prefix taken off where a shorter path names it.
std::string final_path(HANDLE handle) {
  std::wstring path(32768, L'\0');
  path.resize(GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0));
  const bool unc = path.compare(0, LONG_PREFIX.size() + 4, LONG_PREFIX + L"UNC\\") == 0;
  if (path.compare(0, LONG_PREFIX.size(), LONG_PREFIX) == 0 && !unc && path.size() < MAX_PATH)
    path.erase(0, LONG_PREFIX.size());
  return utf8(path);
}

bool set_deletion(HANDLE handle, bool deleted) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleted;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

// Creates the temporary file, named from base with a number that no other
// file has, and marks it for deletion. Its descriptor, or -1 with the
// system's reason.
int create_temporary(const std::string& base, std::string& name, std::string& reason) {
  // A name longer than any a file system takes, which not every one says.
  const std::wstring last = wide(name_of(base));
  DWORD code = last.size() + 6 > 255 ? ERROR_FILENAME_EXCED_RANGE : ERROR_FILE_EXISTS;
  for (unsigned attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; attempt++) {
    const unsigned number = (GetCurrentProcessId() * 7919u + GetTickCount() + attempt * 104729u) % 0x1000000;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x", number);
    name = base + suffix;
    const HANDLE handle = CreateFileW(system_path(name).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    code = GetLastError();
    if (handle == INVALID_HANDLE_VALUE) continue;
    if (!set_deletion(handle, true)) {
      code = GetLastError();
      CloseHandle(handle);
      DeleteFileW(system_path(name).c_str());
      break;
    }
    return _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
  }
  reason = reason_of(code == ERROR_INVALID_NAME ? ERROR_FILENAME_EXCED_RANGE : code);
  return -1;
}

HANDLE handle_of(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

// Copies the temporary file's bytes into the file, device or pipe at path.
bool copy_into(const OutputTarget& target, std::string& errorText) {
  const HANDLE source = handle_of(target.descriptor);
  const DWORD creation = target.exists ? OPEN_EXISTING : CREATE_NEW;
  const HANDLE destination = CreateFileW(system_path(target.path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                         creation, FILE_ATTRIBUTE_NORMAL, nullptr);
  LARGE_INTEGER start{};
  bool copied = destination != INVALID_HANDLE_VALUE && SetFilePointerEx(source, start, nullptr, FILE_BEGIN) &&
                (GetFileType(destination) != FILE_TYPE_DISK || SetEndOfFile(destination));
  std::vector<char> buffer(1 << 16);
  while (copied) {
    DWORD got = 0, written = 0;
    copied = ReadFile(source, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr);
    if (!copied || got == 0) break;
    copied = WriteFile(destination, buffer.data(), got, &written, nullptr) && written == got;
  }
  const DWORD code = GetLastError();
  if (destination != INVALID_HANDLE_VALUE && !CloseHandle(destination)) copied = false;
  if (!copied) errorText = "cannot write " + target.path + ": " + reason_of(code);
  return copied;
}

}  // namespace

namespace {
UINT consoleCodePage = 0;
void restore_console_code_page() { SetConsoleOutputCP(consoleCodePage); }
}  // namespace

std::vector<std::string> command_line_arguments(int, char**) {
  // The console shows the lines, which name files in UTF-8, as UTF-8, and
  // gets its own code page back at the end.
  consoleCodePage = GetConsoleOutputCP();
  if (consoleCodePage != 0 && SetConsoleOutputCP(CP_UTF8)) std::atexit(restore_console_code_page);
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; i < count; i++) arguments.push_back(utf8(words[i]));
  LocalFree(words);
  return arguments;
}

int open_for_reading(const std::string& path, std::string& reason) {
  const std::wstring name = system_path(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    reason = "it is a folder";
    return -1;
  }
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = reason_of(GetLastError());
    return -1;
  }
  return _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
}

long read_bytes(int descriptor, char* bytes, size_t count, std::string& reason) {
  DWORD got = 0;
  const DWORD wanted = count > (1u << 30) ? (1u << 30) : static_cast<DWORD>(count);
  if (ReadFile(handle_of(descriptor), bytes, wanted, &got, nullptr)) return static_cast<long>(got);
  const DWORD code = GetLastError();
  if (code == ERROR_BROKEN_PIPE || code == ERROR_HANDLE_EOF) return 0;
  reason = reason_of(code);
  return -1;
}

int duplicate_descriptor(int descriptor) { return _dup(descriptor); }

void close_descriptor(int descriptor) {
  if (descriptor >= 0) _close(descriptor);
}

bool prepare_output(const std::string& out, const std::string& in, OutputTarget& target, std::string& errorText) {
  const auto refuse = [&](const std::string& why) {
    errorText = "cannot write " + out + ": " + why;
    return false;
  };
  if (names_a_device(out)) return refuse("the name is reserved for a device");
  target.path = out;
  const HANDLE existing = open_to_inspect(out);
  target.exists = existing != INVALID_HANDLE_VALUE;
  bool special = false;
  if (!target.exists) {
    // A missing folder is found when the temporary file is made, as on Linux.
    const DWORD code = GetLastError();
    if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) return refuse(reason_of(code));
  } else {
    special = GetFileType(existing) != FILE_TYPE_DISK;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = !special && GetFileInformationByHandle(existing, &info);
    // A link is followed: the file it leads to is written.
    const std::string resolved = special ? "" : final_path(existing);
    CloseHandle(existing);
    if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return refuse("it is a folder");
    if (known && same_file(info, in)) return refuse("it is the input file");
    if (known && (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return refuse("the file is read-only");
    if (!resolved.empty() &&
        CompareStringOrdinal(system_path(resolved).c_str(), -1, system_path(out).c_str(), -1, TRUE) != CSTR_EQUAL)
      target.path = resolved;
    // A file with several names is rewritten in place, so every name sees the render.
    target.replace = known && info.nNumberOfLinks == 1;
    if (!special) {
      const HANDLE writable = CreateFileW(system_path(target.path).c_str(), GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (writable == INVALID_HANDLE_VALUE) return refuse(reason_of(GetLastError()));
      CloseHandle(writable);
    }
  }
  // A device or a pipe is written through from a temporary file in the
  // temporary folder; any other file's temporary file lies beside it.
  std::string base = target.path + ".partial-";
  if (special) {
    std::wstring folder(MAX_PATH + 1, L'\0');
    folder.resize(GetTempPathW(static_cast<DWORD>(folder.size()), folder.data()));
    base = utf8(folder) + "tildefx-" + name_of(out) + ".partial-";
  }
  std::string reason;
  target.descriptor = create_temporary(base, target.temporary, reason);
  if (target.descriptor < 0) {
    target.temporary.clear();
    return refuse("cannot create a temporary file in " + folder_of(base) + ": " + reason);
  }
  return true;
}

bool finish_output(OutputTarget& target, std::string& errorText) {
  bool finished = true;
  if (!target.replace) {
    finished = copy_into(target, errorText);
  } else if (!set_deletion(handle_of(target.descriptor), false)) {
    errorText = "cannot write " + target.path + ": " + reason_of(GetLastError());
    finished = false;
  } else {
    close_descriptor(target.descriptor);
    target.descriptor = -1;
    const std::wstring temporary = system_path(target.temporary), path = system_path(target.path);
    // An existing file keeps its attributes and permissions.
    finished = target.exists ? ReplaceFileW(path.c_str(), temporary.c_str(), nullptr, 0, nullptr, nullptr)
                             : MoveFileExW(temporary.c_str(), path.c_str(), 0);
    if (!finished) {
      errorText = "cannot write " + target.path + ": " + reason_of(GetLastError());
      DeleteFileW(temporary.c_str());
    }
  }
  close_descriptor(target.descriptor);
  target.descriptor = -1;
  target.temporary.clear();
  return finished;
}

void discard_output(OutputTarget& target) {
  // Marked for deletion, the temporary file goes with its last handle.
  close_descriptor(target.descriptor);
  target.descriptor = -1;
  target.temporary.clear();
}

}  // namespace tildefx_tool
