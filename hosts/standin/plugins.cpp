// Finding object plug-ins on the search path, loading them and keeping the
// classes their main registers.
#include <algorithm>
#include <map>
#include <sstream>

#include "internal.h"
#include "platform.h"

namespace standin {

namespace {
std::vector<std::string> extraFolders;
std::map<std::string, host::Class*> classes;

using platform::PLUGIN_SUFFIX;

// A name that can only mean a file inside a search folder.
bool plausible_object_name(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  for (char c : name)
    if (!platform::allowed_in_object_name(c)) return false;
  return true;
}

std::string join(const std::vector<std::string>& parts, const char* separator) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : separator) + part;
  return joined;
}

// Loads the plug-in file and runs its main, which registers the class.
host::Class* load_plugin(const std::string& objectName, const std::string& path) {
  std::string errorText;
  const platform::PluginMain pluginMain = platform::load_plugin_main(path, errorText);
  if (pluginMain == nullptr) {
    print_host_line(true, errorText);
    return nullptr;
  }
  host::Class* loaded = core::load_class(objectName, pluginMain);
  if (loaded != nullptr) classes[objectName] = loaded;
  return loaded;
}
}  // namespace

void set_extra_plugin_folders(const std::vector<std::string>& folders) { extraFolders = folders; }

std::vector<std::string> plugin_folders() {
  std::vector<std::string> folders = extraFolders;
  std::stringstream list(platform::plugin_path_variable());
  std::string folder;
  while (std::getline(list, folder, platform::PATH_LIST_SEPARATOR))
    if (!folder.empty()) folders.push_back(folder);
  const std::string builtin = platform::builtin_plugin_folder();
  if (!builtin.empty()) folders.push_back(builtin);
  return folders;
}

std::vector<std::string> list_objects() {
  std::vector<std::string> names;
  const std::string suffix = PLUGIN_SUFFIX;
  for (const std::string& folder : plugin_folders()) {
    for (const std::string& file : platform::names_in_folder(folder))
      if (file.size() > suffix.size() && file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(file.substr(0, file.size() - suffix.size()));
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

host::Class* find_or_load_class(const std::string& objectName) {
  auto known = classes.find(objectName);
  if (known != classes.end()) return known->second;
  const std::vector<std::string> folders = plugin_folders();
  if (plausible_object_name(objectName)) {
    for (const std::string& folder : folders) {
      const std::string path = folder + "/" + objectName + PLUGIN_SUFFIX;
      if (platform::is_plain_file(path)) return load_plugin(objectName, path);
    }
  }
  print_host_line(true, "no object '" + objectName + "' found (searched: " + join(folders, ", ") + ")");
  return nullptr;
}

}  // namespace standin
