#include "platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#endif

namespace standin::platform {

#ifdef _WIN32

const char* const PLUGIN_SUFFIX = ".mxe";
const char PATH_LIST_SEPARATOR = ';';

bool allowed_in_object_name(char c) { return c != '/' && c != '\\' && c != ':'; }

std::string builtin_plugin_folder() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&builtin_plugin_folder), &self);
  char path[MAX_PATH] = {0};
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  std::string folder(path, length);
  const size_t slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? "." : folder.substr(0, slash);
}

PluginMain load_plugin_main(const std::string& path, std::string& errorText) {
  // No message box for a library that cannot be loaded: the reason goes to
  // the console instead.
  std::string windowsPath = path;
  for (char& c : windowsPath)
    if (c == '/') c = '\\';
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE library = LoadLibraryA(windowsPath.c_str());
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
    return "plugins";
  const std::string library = self.dli_fname;
  const size_t slash = library.rfind('/');
  return (slash == std::string::npos ? std::string(".") : library.substr(0, slash)) + "/plugins";
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
