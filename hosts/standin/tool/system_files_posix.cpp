#include "system_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tildefx_tool {

namespace {

const int MAX_LINK_HOPS = 40;

// The temporary file to remove when the tool is interrupted.
char pendingTemporary[4096] = {0};

void remove_pending_and_stop(int signalNumber) {
  if (pendingTemporary[0] != 0) unlink(pendingTemporary);
  std::signal(signalNumber, SIG_DFL);
  std::raise(signalNumber);
}

// A file-size limit or a pipe whose reader has gone then fails a write with
// a reason instead of ending the tool; an interrupt removes the temporary file.
void install_signal_handling() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) std::signal(signalNumber, remove_pending_and_stop);
}

void set_pending(const std::string& path) {
  std::snprintf(pendingTemporary, sizeof pendingTemporary, "%s", path.c_str());
}

std::string folder_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string temporary_folder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && folder[0] != 0 ? folder : "/tmp";
}

// Follows symbolic links to the name they finally lead to, which need not
// exist yet.
bool follow_links(std::string path, std::string& resolved, std::string& errorText) {
  for (int hop = 0; hop < MAX_LINK_HOPS; hop++) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      resolved = path;
      return true;
    }
    std::vector<char> target(4096);
    const ssize_t length = readlink(path.c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) >= target.size()) {
      errorText = std::strerror(errno);
      return false;
    }
    const std::string next(target.data(), static_cast<size_t>(length));
    path = next[0] == '/' ? next : folder_of(path) + "/" + next;
  }
  errorText = "too many levels of symbolic links";
  return false;
}

bool write_all(int descriptor, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t written = write(descriptor, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

// Copies the temporary file's bytes into the file, device or pipe at path.
bool copy_into(const OutputTarget& target, std::string& errorText) {
  const int source = open(target.temporary.c_str(), O_RDONLY);
  const int flags = O_WRONLY | (target.exists && !S_ISREG(target.mode) ? 0 : O_CREAT | O_TRUNC);
  const int destination = source < 0 ? -1 : open(target.path.c_str(), flags, target.mode & 0777);
  bool copied = destination >= 0;
  std::vector<char> buffer(1 << 16);
  while (copied) {
    const ssize_t got = read(source, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      copied = got == 0;
      break;
    }
    copied = write_all(destination, buffer.data(), static_cast<size_t>(got));
  }
  if (destination >= 0 && close(destination) != 0) copied = false;
  if (!copied) errorText = "cannot write " + target.path + ": " + std::strerror(errno);
  if (source >= 0) close(source);
  return copied;
}

bool same_file(const struct stat& a, const std::string& path) {
  struct stat b;
  return stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::vector<std::string> command_line_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

int open_for_reading(const std::string& path, std::string& reason) {
  const int descriptor = open(path.c_str(), O_RDONLY);
  struct stat info;
  if (descriptor < 0 || fstat(descriptor, &info) != 0) {
    reason = std::strerror(errno);
    if (descriptor >= 0) close(descriptor);
    return -1;
  }
  if (S_ISDIR(info.st_mode)) {
    close(descriptor);
    reason = "it is a folder";
    return -1;
  }
  return descriptor;
}

long read_bytes(int descriptor, char* bytes, size_t count, std::string& reason) {
  for (;;) {
    const ssize_t got = read(descriptor, bytes, count);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR) continue;
    reason = std::strerror(errno);
    return -1;
  }
}

int duplicate_descriptor(int descriptor) { return dup(descriptor); }

void close_descriptor(int descriptor) {
  if (descriptor >= 0) close(descriptor);
}

bool prepare_output(const std::string& out, const std::string& in, OutputTarget& target, std::string& errorText) {
  install_signal_handling();
  std::string reason;
  const auto refuse = [&](const std::string& why) {
    errorText = "cannot write " + out + ": " + why;
    return false;
  };
  if (!follow_links(out, target.path, reason)) return refuse(reason);
  struct stat info;
  target.exists = stat(target.path.c_str(), &info) == 0;
  if (!target.exists && errno != ENOENT) return refuse(std::strerror(errno));
  std::string temporary = target.path + ".partial-XXXXXX";
  if (target.exists) {
    const bool special = S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) || S_ISFIFO(info.st_mode);
    if (S_ISDIR(info.st_mode)) return refuse("it is a folder");
    if (!S_ISREG(info.st_mode) && !special) return refuse("it is not a file, a device or a pipe");
    if (S_ISREG(info.st_mode) && same_file(info, in)) return refuse("it is the input file");
    if (access(target.path.c_str(), W_OK) != 0) return refuse(std::strerror(errno));
    if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0) return refuse("the file is read-only");
    // A file owned by another user keeps its owner only when written through.
    const bool ownable = geteuid() == 0 || info.st_uid == geteuid();
    target.replace = S_ISREG(info.st_mode) && info.st_nlink == 1 && ownable;
    target.mode = info.st_mode & (S_IFMT | 0777);
    target.owner = info.st_uid;
    target.group = info.st_gid;
    if (special) temporary = temporary_folder() + "/tildefx-" + name_of(target.path) + ".partial-XXXXXX";
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    target.mode = S_IFREG | (0666 & ~mask);
  }
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back(0);
  target.descriptor = mkstemp(name.data());
  if (target.descriptor < 0)
    return refuse("cannot create a temporary file in " + folder_of(temporary) + ": " + std::strerror(errno));
  target.temporary = name.data();
  set_pending(target.temporary);
  if (target.replace) {
    fchmod(target.descriptor, target.mode & 0777);
    // Keeping the group can fail for a user outside it; the file is theirs then.
    if (target.exists) [[maybe_unused]] const int kept = fchown(target.descriptor, target.owner, target.group);
  }
  return true;
}

bool finish_output(OutputTarget& target, std::string& errorText) {
  close_descriptor(target.descriptor);
  target.descriptor = -1;
  bool finished = true;
  if (target.replace) {
    finished = std::rename(target.temporary.c_str(), target.path.c_str()) == 0;
    if (!finished) errorText = "cannot write " + target.path + ": " + std::strerror(errno);
  } else {
    finished = copy_into(target, errorText);
  }
  if (!finished || !target.replace) unlink(target.temporary.c_str());
  target.temporary.clear();
  set_pending("");
  return finished;
}

void discard_output(OutputTarget& target) {
  close_descriptor(target.descriptor);
  target.descriptor = -1;
  if (!target.temporary.empty()) unlink(target.temporary.c_str());
  set_pending("");
}

}  // namespace tildefx_tool
