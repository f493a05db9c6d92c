// Finding object plug-ins on the search path, loading them and keeping the
// classes their main registers.
#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "internal.h"

namespace standin {

namespace {
std::vector<std::string> extraFolders;
std::map<std::string, std::unique_ptr<host::Class>> classes;
host::Class* registering = nullptr;
Instance::Data* buildingChain = nullptr;
Instance::Data* beingCreated = nullptr;

const char* const PLUGIN_SUFFIX = ".so";

bool file_exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A name that can only mean a file inside a search folder.
bool plausible_object_name(const std::string& name) {
  return !name.empty() && name[0] != '.' && name.find('/') == std::string::npos;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : separator) + part;
  return joined;
}

// Why a file cannot be a whole shared library of this machine, or empty
// when it may be one. The loader maps a library's segments without checking
// that the file holds them, and touching a missing page ends the process, so
// a truncated file is refused here.
std::string why_not_a_library(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
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

using PluginMain = int (*)();

// Loads the plug-in file and runs its main, which registers the class.
host::Class* load_plugin(const std::string& objectName, const std::string& path) {
  const std::string damage = why_not_a_library(path);
  if (!damage.empty()) {
    print_line(true, "cannot load " + path + ": " + damage);
    return nullptr;
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    print_line(true, "cannot load " + path + ": " + dlerror());
    return nullptr;
  }
  auto pluginMain = reinterpret_cast<PluginMain>(dlsym(library, "main"));
  if (pluginMain == nullptr) {
    print_line(true, path + " has no main");
    return nullptr;
  }
  auto objectClass = std::make_unique<host::Class>();
  objectClass->name = objectName;
  registering = objectClass.get();
  {
    ObjectContext context(objectName);
    pluginMain();
  }
  registering = nullptr;
  if (objectClass->newRoutine == nullptr) {
    print_line(true, path + " registered no class");
    return nullptr;
  }
  host::Class* loaded = objectClass.get();
  classes[objectName] = std::move(objectClass);
  return loaded;
}
}  // namespace

host::Class*& class_being_registered() { return registering; }
Instance::Data*& instance_building_chain() { return buildingChain; }
Instance::Data*& instance_being_created() { return beingCreated; }

void set_extra_plugin_folders(const std::vector<std::string>& folders) { extraFolders = folders; }

std::vector<std::string> plugin_folders() {
  std::vector<std::string> folders = extraFolders;
  if (const char* fromEnvironment = std::getenv("TILDEFX_PATH")) {
    std::stringstream list(fromEnvironment);
    std::string folder;
    while (std::getline(list, folder, ':'))
      if (!folder.empty()) folders.push_back(folder);
  }
  folders.push_back(TILDEFX_PLUGIN_DIR);
  return folders;
}

std::vector<std::string> list_objects() {
  std::vector<std::string> names;
  const std::string suffix = PLUGIN_SUFFIX;
  for (const std::string& folder : plugin_folders()) {
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) continue;
    while (dirent* entry = readdir(directory)) {
      const std::string file = entry->d_name;
      if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(file.substr(0, file.size() - suffix.size()));
    }
    closedir(directory);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

host::Class* find_or_load_class(const std::string& objectName) {
  auto known = classes.find(objectName);
  if (known != classes.end()) return known->second.get();
  const std::vector<std::string> folders = plugin_folders();
  if (plausible_object_name(objectName)) {
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + objectName + PLUGIN_SUFFIX;
      if (file_exists(path)) return load_plugin(objectName, path);
    }
  }
  print_line(true, "no object '" + objectName + "' found (searched: " + join(folders, ", ") + ")");
  return nullptr;
}

}  // namespace standin
