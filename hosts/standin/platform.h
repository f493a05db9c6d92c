// What differs between Linux and Windows for the host, in one place:
// loading a plug-in by file name, the plug-in suffix, the separator between
// folders in TILDEFX_PATH, the characters an object name must not hold and
// the folder searched when no other is given.
#pragma once

#include <string>

namespace standin::platform {

extern const char* const PLUGIN_SUFFIX;
extern const char PATH_LIST_SEPARATOR;

// False for a character that would lead out of a search folder.
bool allowed_in_object_name(char c);

// The built-in plug-in folder, found relative to the host library: the
// folder plugins beside it on Linux, its own folder on Windows.
std::string builtin_plugin_folder();

using PluginMain = int (*)();

// Loads the library at path and finds its export main. Null with errorText
// when either fails.
PluginMain load_plugin_main(const std::string& path, std::string& errorText);

}  // namespace standin::platform
