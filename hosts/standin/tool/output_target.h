// Where the tool writes OUT on a POSIX system, without harming what OUT
// names: a render goes to a temporary file first; at the end that file
// replaces a plain file (keeping its permissions and owner), or its bytes are
// copied into a device, a pipe or a file with other names (hard links). A
// symbolic link is followed and the file it leads to is written.
#pragma once

#include <sys/types.h>

#include <string>

namespace tildefx_tool {

struct OutputTarget {
  std::string path;       // the file finally written: OUT, or where its links lead
  std::string temporary;  // where the frames go first
  bool replace = true;    // rename temporary over path; otherwise copy into path
  bool exists = false;
  mode_t mode = 0;        // permissions the result gets
  uid_t owner = 0;
  gid_t group = 0;
};

// Checks that OUT may be written and creates the temporary file. Returns its
// descriptor, or -1 with errorText.
int prepare_output(const std::string& out, OutputTarget& target, std::string& errorText);

// Puts the finished temporary file in place and removes it.
bool finish_output(const OutputTarget& target, std::string& errorText);

// Removes the temporary file; what OUT names stays as it was.
void discard_output(const OutputTarget& target);

}  // namespace tildefx_tool
