// What the tool asks of the system's files, in one place: the POSIX forms
// are in system_files_posix.cpp, the Windows forms in
// system_files_windows.cpp. Paths are UTF-8 on both.
//
// OUT is never harmed: a render goes to a temporary file first; at the end
// that file replaces a plain file (keeping its permissions and owner), or
// its bytes are copied into a device, a pipe or a file with other names
// (hard links). A symbolic link is followed and the file it leads to is
// written. Every refusal comes before the render starts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tildefx_tool {

// The command line after the program's name, in UTF-8: on Windows read as
// wide text, so any name a user can type arrives whole.
std::vector<std::string> command_line_arguments(int argc, char** argv);

// Opens a file to read, in binary mode. A descriptor, or -1 with a reason
// ("it is a folder", or the system's).
int open_for_reading(const std::string& path, std::string& reason);
// Reads up to count bytes: the number read, 0 at the end, -1 with a reason.
long read_bytes(int descriptor, char* bytes, size_t count, std::string& reason);
// A second descriptor of the same open file, for a library that closes
// what it is given; -1 when none can be made.
int duplicate_descriptor(int descriptor);
void close_descriptor(int descriptor);

struct OutputTarget {
  std::string path;       // the file finally written: OUT, or where its links lead
  std::string temporary;  // where the frames go first
  int descriptor = -1;    // the temporary file, open to write
  bool replace = true;    // the temporary file takes path's place; otherwise it is copied into path
  bool exists = false;
  unsigned mode = 0;      // POSIX: the kind and permissions the result gets
  unsigned owner = 0;
  unsigned group = 0;
};

// Checks that OUT may be written, and is not IN, and creates the temporary
// file. False with errorText ("cannot write OUT: REASON").
bool prepare_output(const std::string& out, const std::string& in, OutputTarget& target, std::string& errorText);

// Puts the finished temporary file in place and removes it.
bool finish_output(OutputTarget& target, std::string& errorText);

// Removes the temporary file; what OUT names stays as it was.
void discard_output(OutputTarget& target);

}  // namespace tildefx_tool
