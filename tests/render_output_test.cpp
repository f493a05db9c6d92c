// tildefx render and what OUT names: links, pipes, devices, permissions,
// hard links, failures part-way, many channels and long renders.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cmath>
#include <fstream>

#include "test_files.h"

namespace {

// A fresh, empty folder for one test.
std::string fresh_folder(const std::string& name) {
  const std::string folder = testing::TempDir() + "tildefx_out_" + name + "/";
  run_command("rm -rf '" + folder + "'");
  mkdir(folder.c_str(), 0777);
  chmod(folder.c_str(), 0777);
  return folder;
}

std::string tildefx(const std::string& arguments) { return std::string(TILDEFX_TOOL) + " " + arguments; }

std::string input_wav(const std::string& folder, size_t frames = 2000) {
  std::vector<float> sine(frames);
  for (size_t i = 0; i < frames; i++) sine[i] = static_cast<float>(0.5 * std::sin(0.05 * static_cast<double>(i)));
  write_wav(folder + "in.wav", {sine});
  return folder + "in.wav";
}

// The render every test compares with: written to a new plain file.
Channels reference_render(const std::string& folder, const std::string& input) {
  const CommandRun run = run_command(tildefx("render overtoner~ " + input + " " + folder + "reference.wav \"p3 -6\""));
  EXPECT_EQ(run.status, 0) << run.output;
  return read_wav(folder + "reference.wav");
}

std::string render_into(const std::string& input, const std::string& out) {
  return tildefx("render overtoner~ " + input + " '" + out + "' \"p3 -6\"");
}

struct stat status_of(const std::string& path, bool followLinks = true) {
  struct stat info {};
  if (followLinks) stat(path.c_str(), &info);
  else lstat(path.c_str(), &info);
  return info;
}

std::string content_of(const std::string& path) {
  std::ifstream file(path);
  std::string content;
  std::getline(file, content);
  return content;
}

// Names in the folder that a render left behind half-made.
std::vector<std::string> partial_files(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* directory = opendir(folder.c_str())) {
    while (dirent* entry = readdir(directory))
      if (std::string(entry->d_name).find(".partial") != std::string::npos) names.push_back(entry->d_name);
    closedir(directory);
  }
  return names;
}

bool is_root() { return geteuid() == 0; }

TEST(RenderOutput, ALinkIsFollowedAndItsTargetWritten) {
  const std::string folder = fresh_folder("link");
  const std::string input = input_wav(folder);
  const Channels expected = reference_render(folder, input);
  std::ofstream(folder + "target.wav") << "old";
  chmod((folder + "target.wav").c_str(), 0640);
  ASSERT_EQ(symlink("target.wav", (folder + "link.wav").c_str()), 0);
  ASSERT_EQ(symlink("link.wav", (folder + "chain.wav").c_str()), 0);
  ASSERT_EQ(symlink("not-yet.wav", (folder + "dangling.wav").c_str()), 0);

  CommandRun run = run_command(render_into(input, folder + "chain.wav"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(S_ISLNK(status_of(folder + "chain.wav", false).st_mode));
  EXPECT_TRUE(S_ISLNK(status_of(folder + "link.wav", false).st_mode));
  EXPECT_EQ(read_wav(folder + "target.wav"), expected);
  EXPECT_EQ(status_of(folder + "target.wav").st_mode & 0777, 0640u);

  run = run_command(render_into(input, folder + "dangling.wav"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(S_ISLNK(status_of(folder + "dangling.wav", false).st_mode));
  EXPECT_EQ(read_wav(folder + "not-yet.wav"), expected);

  ASSERT_EQ(symlink("loop-b.wav", (folder + "loop-a.wav").c_str()), 0);
  ASSERT_EQ(symlink("loop-a.wav", (folder + "loop-b.wav").c_str()), 0);
  run = run_command(render_into(input, folder + "loop-a.wav"));
  EXPECT_EQ(run.status, 256);
  EXPECT_NE(run.output.find("too many levels of symbolic links"), std::string::npos) << run.output;
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, PipesAreWrittenThroughAndReadAsInput) {
  const std::string folder = fresh_folder("fifo");
  const std::string input = input_wav(folder);
  const Channels expected = reference_render(folder, input);
  const std::string fifo = folder + "pipe.wav";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);

  CommandRun run = run_command("timeout 30 cat " + fifo + " > " + folder + "caught.wav & TMPDIR=" + folder + " " +
                               render_into(input, fifo) + "; status=$?; wait; exit $status");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(S_ISFIFO(status_of(fifo, false).st_mode));
  EXPECT_EQ(read_wav(folder + "caught.wav"), expected);

  // A pipe as IN cannot tell its length: the render runs until it ends.
  run = run_command("cat " + input + " > " + fifo + " & " + render_into(fifo, folder + "from-pipe.wav") +
                    "; status=$?; wait; exit $status");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(read_wav(folder + "from-pipe.wav"), expected);
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, DevicesAreWrittenThroughAndStayDevices) {
  if (!is_root()) GTEST_SKIP() << "making device nodes needs root";
  const std::string folder = fresh_folder("device");
  const std::string input = input_wav(folder);
  const std::string null = folder + "null", full = folder + "full";
  ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);

  CommandRun run = run_command("TMPDIR=" + folder + " " + render_into(input, null));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(S_ISCHR(status_of(null, false).st_mode));
  EXPECT_EQ(status_of(null).st_rdev, makedev(1, 3));

  // A device that is always full: the copy fails with a reason, nothing is left.
  run = run_command("TMPDIR=" + folder + " " + render_into(input, full));
  EXPECT_EQ(run.status, 256);
  EXPECT_NE(run.output.find("error: tildefx: cannot write " + full + ": No space left on device"), std::string::npos)
      << run.output;
  EXPECT_TRUE(S_ISCHR(status_of(full, false).st_mode));
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, AFileKeepsItsPermissionsOwnerAndHardLinks) {
  const std::string folder = fresh_folder("keep");
  const std::string input = input_wav(folder);
  const Channels expected = reference_render(folder, input);

  const std::string secret = folder + "secret.wav";
  std::ofstream(secret) << "old";
  chmod(secret.c_str(), 0600);
  if (is_root()) {
    ASSERT_EQ(chown(secret.c_str(), 4321, 4322), 0);
  }
  ASSERT_EQ(run_command(render_into(input, secret)).status, 0);
  EXPECT_EQ(status_of(secret).st_mode & 07777, 0600u);
  if (is_root()) {
    EXPECT_EQ(status_of(secret).st_uid, 4321u);
    EXPECT_EQ(status_of(secret).st_gid, 4322u);
  }
  EXPECT_EQ(read_wav(secret), expected);

  // Both names of a hard-linked file see the new render: the file is
  // rewritten in place, never replaced.
  const std::string first = folder + "first.wav", second = folder + "second.wav";
  std::ofstream(first) << "old";
  ASSERT_EQ(link(first.c_str(), second.c_str()), 0);
  const ino_t inode = status_of(first).st_ino;
  ASSERT_EQ(run_command(render_into(input, second)).status, 0);
  EXPECT_EQ(status_of(first).st_ino, inode);
  EXPECT_EQ(status_of(second).st_ino, inode);
  EXPECT_EQ(status_of(first).st_nlink, 2u);
  EXPECT_EQ(read_wav(first), expected);

  const mode_t mask = umask(0);
  umask(mask);
  ASSERT_EQ(run_command(render_into(input, folder + "new.wav")).status, 0);
  EXPECT_EQ(status_of(folder + "new.wav").st_mode & 0777, 0666u & ~mask);
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, WhatCannotBeWrittenIsRefusedAndLeftAlone) {
  const std::string folder = fresh_folder("refuse");
  const std::string input = input_wav(folder);
  const std::string locked = folder + "locked.wav";
  std::ofstream(locked) << "precious";
  chmod(locked.c_str(), 0444);
  CommandRun run = run_command(render_into(input, locked));
  EXPECT_EQ(run.status, 256);
  EXPECT_EQ(run.output, "error: tildefx: cannot write " + locked + ": the file is read-only\n");
  EXPECT_EQ(content_of(locked), "precious");

  run = run_command(render_into(input, folder));
  EXPECT_NE(run.output.find("it is a folder"), std::string::npos) << run.output;

  // Another user, who may write the folder but not the file.
  if (is_root() && access("/usr/bin/setpriv", X_OK) == 0) {
    const std::string theirs = folder + "theirs.wav";
    std::ofstream(theirs) << "precious";
    chmod(theirs.c_str(), 0644);
    chmod(input.c_str(), 0644);
    run = run_command("setpriv --reuid=65534 --regid=65534 --clear-groups " + render_into(input, theirs));
    EXPECT_EQ(run.status, 256);
    EXPECT_EQ(run.output, "error: tildefx: cannot write " + theirs + ": Permission denied\n");
    EXPECT_EQ(content_of(theirs), "precious");
  }
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, AFailedRenderLeavesNoPartialFile) {
  const std::string folder = fresh_folder("fail");
  const std::string input = input_wav(folder);
  const std::string out = folder + "out.wav";
  std::ofstream(out) << "precious";
  // A file-size limit of 64 KiB: the render stops with a reason, not a signal.
  const CommandRun run =
      run_command("ulimit -f 64; " + tildefx("render --tail 2 overtoner~ " + input + " " + out));
  EXPECT_EQ(run.status, 256);
  EXPECT_EQ(run.output.find("error: tildefx: cannot write " + out), 0u) << run.output;
  EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
  EXPECT_EQ(content_of(out), "precious");
  EXPECT_EQ(partial_files(folder), std::vector<std::string>{});
}

TEST(RenderOutput, ChannelsBeyondTheLimitAreRefusedUnlessRaised) {
  const std::string folder = fresh_folder("channels");
  write_wav(folder + "wide.wav", Channels(100, std::vector<float>(8, 0.25f)));
  CommandRun run = run_command(tildefx("render overtoner~ " + folder + "wide.wav " + folder + "out.wav"));
  EXPECT_EQ(run.status, 256);
  EXPECT_EQ(run.output, "error: tildefx: " + folder +
                            "wide.wav has 100 channels; the limit is 64 (--max-channels raises it)\n");
  run = run_command(tildefx("render --max-channels 100 overtoner~ " + folder + "wide.wav " + folder + "out.wav"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(read_wav(folder + "out.wav").size(), 100u);
  EXPECT_NE(run_command(tildefx("render --max-channels 1025 overtoner~ x y")).output.find("from 1 to 1024"),
            std::string::npos);
}

long children_peak_kib() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return usage.ru_maxrss;
}

TEST(RenderOutput, MemoryStaysFlatWhateverTheLength) {
  const std::string folder = fresh_folder("memory");
  const std::string input = input_wav(folder, 44100);
  ASSERT_EQ(run_command(tildefx("render echoloom~ " + input + " " + folder + "short.wav")).status, 0);
  const long shortPeak = children_peak_kib();
  // Five minutes of tail: 53 MB of output, which a render held in memory would keep.
  ASSERT_EQ(run_command(tildefx("render --tail 300 echoloom~ " + input + " " + folder + "long.wav")).status, 0);
  EXPECT_LT(children_peak_kib() - shortPeak, 8 * 1024);
  SF_INFO info{};
  SNDFILE* file = sf_open((folder + "long.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(info.frames, 44100 + 300 * 44100);
  sf_close(file);
  unlink((folder + "long.wav").c_str());
}

}  // namespace
