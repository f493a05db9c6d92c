#include "platform.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#endif

namespace standin::platform {

#ifdef _WIN32

const char* const PLUGIN_SUFFIX = ".mxe";
const char PATH_LIST_SEPARATOR = ';';

bool allowed_in_object_name(char c) { return c != '/' && c != '\\' && c != ':'; }

std::wstring wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
  return result;
}

std::string utf8(const std::wstring& text) {
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                      nullptr);
  return result;
}

std::string builtin_plugin_folder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&builtin_plugin_folder), &self))
    return "";
  std::wstring path(MAX_PATH, L'\0');
  DWORD length;
  while ((length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()))) == path.size())
    path.resize(path.size() * 2);
  path.resize(length);
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "" : utf8(path.substr(0, slash));
}

std::string plugin_path_variable() {
  const wchar_t* value = _wgetenv(L"TILDEFX_PATH");
  return value == nullptr ? "" : utf8(value);
}

// Asked of the opened file, not of its name: Windows gives a name such as
// nul.mxe or com1.mxe the attributes of a file, and it opens a device.
bool is_plain_file(const std::string& path) {
  const HANDLE file = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information;
  const bool plain = GetFileType(file) == FILE_TYPE_DISK && GetFileInformationByHandle(file, &information) &&
                     (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  CloseHandle(file);
  return plain;
}

std::vector<std::string> names_in_folder(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  const HANDLE search = FindFirstFileW(wide(folder + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(utf8(entry.cFileName));
  while (FindNextFileW(search, &entry));
  FindClose(search);
  return names;
}

PluginMain load_plugin_main(const std::string& path, std::string& errorText) {
  // No message box for a library that cannot be loaded: the reason goes to
  // the console instead.
  std::string windowsPath = path;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryW(wide(windowsPath).c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previousMode);
  if (library == nullptr) {
    errorText = "cannot load " + path + ": Windows error " + std::to_string(code);
    return nullptr;
  }
  auto pluginMain = reinterpret_cast<PluginMain>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
  if (pluginMain == nullptr) errorText = path + " has no main";
  return pluginMain;
}

#else

const char* const PLUGIN_SUFFIX = ".so";
const char PATH_LIST_SEPARATOR = ':';

bool allowed_in_object_name(char c) { return c != '/'; }

// The folder plugins beside this library, found from where the library was
// loaded: the build's plug-in folder, or lib/tildefx/plugins of an installed
// or copied prefix, wherever it lies.
std::string builtin_plugin_folder() {
  Dl_info self{};
  if (dladdr(reinterpret_cast<void*>(&builtin_plugin_folder), &self) == 0 || self.dli_fname == nullptr)
    return "";
  const std::string library = self.dli_fname;
  const size_t slash = library.rfind('/');
  return (slash == std::string::npos ? std::string(".") : library.substr(0, slash)) + "/plugins";
}

std::string plugin_path_variable() {
  const char* value = std::getenv("TILDEFX_PATH");
  return value == nullptr ? "" : value;
}

bool is_plain_file(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> names_in_folder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) return names;
  while (dirent* entry = readdir(directory)) names.push_back(entry->d_name);
  closedir(directory);
  return names;
}

namespace {
// Why a file cannot be a whole shared library of this machine, or empty
// when it may be one. The loader maps a library's segments without checking
// that the file holds them, and touching a missing page ends the process, so
// a truncated file is refused here.
std::string why_not_a_library(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return std::string("the file cannot be read: ") + std::strerror(errno);
  const std::streamoff size = file.tellg();
  if (size <= 0) return "the file is empty";
  ElfW(Ehdr) header{};
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(&header), sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0)
    return "not a shared library";
  if (header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) || header.e_phentsize != sizeof(ElfW(Phdr)))
    return "a library for another machine";
  for (int k = 0; k < header.e_phnum; k++) {
    ElfW(Phdr) segment{};
    file.seekg(static_cast<std::streamoff>(header.e_phoff + static_cast<size_t>(k) * sizeof segment));
    if (!file.read(reinterpret_cast<char*>(&segment), sizeof segment) ||
        static_cast<std::streamoff>(segment.p_offset + segment.p_filesz) > size)
      return "the file is truncated";
  }
  return "";
}
}  // namespace

PluginMain load_plugin_main(const std::string& path, std::string& errorText) {
  const std::string damage = why_not_a_library(path);
  if (!damage.empty()) {
    errorText = "cannot load " + path + ": " + damage;
    return nullptr;
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    errorText = "cannot load " + path + ": " + dlerror();
    return nullptr;
  }
  auto pluginMain = reinterpret_cast<PluginMain>(dlsym(library, "main"));
  if (pluginMain == nullptr) errorText = path + " has no main";
  return pluginMain;
}

#endif

}  // namespace standin::platform
