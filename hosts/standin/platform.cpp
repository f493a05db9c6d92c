#include "platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
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

std::string builtin_plugin_folder() { return TILDEFX_PLUGIN_DIR; }

PluginMain load_plugin_main(const std::string& path, std::string& errorText) {
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
