// What differs between Linux and Windows for the host, in one place:
// loading a plug-in by file name, the plug-in suffix, the separator between
// folders in TILDEFX_PATH, the characters an object name must not hold, the
// folder searched when no other is given, and reading folders. Paths are
// UTF-8 on both; Windows takes them wide, so that a plug-in folder of any
// name works.
#pragma once

#include <string>
#include <vector>

namespace standin::platform {

extern const char* const PLUGIN_SUFFIX;
extern const char PATH_LIST_SEPARATOR;

// False for a character that would lead out of a search folder.
bool allowed_in_object_name(char c);

// The built-in plug-in folder, found relative to the host library: the
// folder plugins beside it on Linux, its own folder on Windows.
std::string builtin_plugin_folder();

// TILDEFX_PATH, or empty when it is not set.
std::string plugin_path_variable();

// True for a plain file (or a link to one) at path.
bool is_plain_file(const std::string& path);

// The names of the entries of folder; none when it cannot be read.
std::vector<std::string> names_in_folder(const std::string& folder);

using PluginMain = int (*)();

// Loads the library at path and finds its export main. Null with errorText
// when either fails.
PluginMain load_plugin_main(const std::string& path, std::string& errorText);

#ifdef _WIN32
// UTF-8 to the system's wide text and back.
std::wstring wide(const std::string& text);
std::string utf8(const std::wstring& text);
#endif

}  // namespace standin::platform
