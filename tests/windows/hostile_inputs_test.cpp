// The hostile-input table: made-up files, scores and paths of the kinds a
// careless or hostile user gives (truncated, lying sizes, duplicate chunks,
// streams of unknown length, empty audio, odd formats and odd names), each
// run through the Linux tool and through tildefx.exe under wine. Both must
// answer alike: refuse with the same lines, or render the same bits.
//
// hostile_inputs_test LINUX_TOOL WINDOWS_BIN WINE
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

std::string linuxTool, windowsTool, wine, work;

// ---- Hostile files -------------------------------------------------------

std::string little_endian(uint64_t value, int bytes) {
  std::string text;
  for (int i = 0; i < bytes; i++) text.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  return text;
}

std::string chunk(const std::string& id, const std::string& body, uint32_t claimed) {
  return id + little_endian(claimed, 4) + body + (body.size() % 2 == 1 ? std::string(1, '\0') : "");
}
std::string chunk(const std::string& id, const std::string& body) {
  return chunk(id, body, static_cast<uint32_t>(body.size()));
}

std::string riff(const std::string& chunks) { return "RIFF" + little_endian(4 + chunks.size(), 4) + "WAVE" + chunks; }

std::string format_body(int code, int channels, uint32_t rate, int bits) {
  const int align = channels * bits / 8;
  return little_endian(static_cast<uint64_t>(code), 2) + little_endian(static_cast<uint64_t>(channels), 2) +
         little_endian(rate, 4) + little_endian(rate * static_cast<uint32_t>(align), 4) +
         little_endian(static_cast<uint64_t>(align), 2) + little_endian(static_cast<uint64_t>(bits), 2);
}

// The extensible form: size bytes of format, the sub-format's GUID as given.
std::string extensible_body(int channels, int bits, const std::string& guid, size_t size) {
  std::string body = format_body(0xFFFE, channels, 44100, bits) + little_endian(22, 2) +
                     little_endian(static_cast<uint64_t>(bits), 2) + little_endian(4, 4) + guid;
  body.resize(size, '\0');
  return body;
}

// 16-bit mono frames of a quiet saw.
std::string pcm16(size_t frames) {
  std::string bytes;
  for (size_t i = 0; i < frames; i++) bytes += little_endian(static_cast<uint64_t>((i * 97) % 8000), 2);
  return bytes;
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string shell_word(const std::string& text) {
  std::string result = "'";
  for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

// Runs a command that makes files; a failure ends the test program.
void shell(const std::string& command) {
  const CommandRun run = run_command(command);
  if (run.status == 0) return;
  std::fprintf(stderr, "%s failed:\n%s", command.c_str(), run.output.c_str());
  std::exit(1);
}

// A FLAC stream's header says how many frames follow in 36 bits of its
// stream information: here all of them set, 2^36 - 1.
std::string lying_flac(std::string bytes) {
  bytes[21] = static_cast<char>(bytes[21] | 0x0F);
  for (int i = 22; i < 26; i++) bytes[i] = static_cast<char>(0xFF);
  return bytes;
}

const std::string PCM_GUID = std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);

// Every file the table names, made in folder.
void make_files(const std::string& folder) {
  const std::string in = folder + "/in.wav";
  write_wav(in, test_input(1, 4410));
  write_wav(folder + "/stereo.wav", test_input(2, 4410));
  shell("cd " + folder + " && sox in.wav -b 16 in16.wav && sox in.wav -t flac - | cat > piped.flac &&" +
        " sox in.wav good.flac && sox in.wav -b 8 u8.wav && sox in.wav -e a-law alaw.wav &&" +
        " sox in.wav -e float -b 64 double.wav && sox in.wav in.aiff && sox in.wav in.w64 && sox in.wav in.caf");
  const std::string flac = read_file(folder + "/good.flac");
  write_file(folder + "/lying.flac", lying_flac(flac));
  write_file(folder + "/truncated.flac", flac.substr(0, flac.size() / 2));
  const std::string fmt = chunk("fmt ", format_body(1, 1, 44100, 16));
  write_file(folder + "/truncated.wav", riff(fmt + chunk("data", pcm16(4410))).substr(0, 3001));
  write_file(folder + "/lying-data.wav", riff(fmt + chunk("data", pcm16(1000), 1000000)));
  write_file(folder + "/lying-riff.wav", "RIFF" + little_endian(0xFFFFFFF0u, 4) + "WAVE" + fmt + chunk("data", pcm16(1000)));
  write_file(folder + "/zero-data.wav", riff(fmt + chunk("data", "", 0) + pcm16(4410)));
  write_file(folder + "/zero-data-list.wav",
             riff(fmt + chunk("data", "", 0) + pcm16(100) + chunk("LIST", "INFOISFT" + little_endian(26, 4) +
                                                                     "a list after the audio.\0\0\0")));
  write_file(folder + "/two-fmt.wav",
             riff(fmt + chunk("fmt ", format_body(3, 2, 44100, 32)) + chunk("data", pcm16(4410))));
  write_file(folder + "/two-data.wav", riff(fmt + chunk("data", pcm16(2000)) + chunk("data", pcm16(2000))));
  write_file(folder + "/bad-guid.wav",
             riff(chunk("fmt ", extensible_body(1, 16, std::string(16, '\x5A'), 40)) + chunk("data", pcm16(100))));
  write_file(folder + "/short-extensible.wav",
             riff(chunk("fmt ", extensible_body(1, 16, PCM_GUID, 26)) + chunk("data", pcm16(100))));
  write_file(folder + "/no-data.wav", riff(fmt));
  write_file(folder + "/empty.wav", "");
  write_file(folder + "/text.wav", "this is not a sound file\n");
  write_file(folder + "/zero-channels.wav", riff(chunk("fmt ", format_body(1, 0, 44100, 16)) + chunk("data", pcm16(10))));
  write_file(folder + "/zero-rate.wav", riff(chunk("fmt ", format_body(1, 1, 0, 16)) + chunk("data", pcm16(10))));
  write_file(folder + "/fast.wav", riff(chunk("fmt ", format_body(1, 1, 20000000, 16)) + chunk("data", pcm16(10))));
  write_file(folder + "/wide.wav", riff(chunk("fmt ", format_body(1, 1000, 44100, 16)) + chunk("data", pcm16(2000))));

  Channels bad = test_input(1, 300);
  bad[0][10] = NAN;
  bad[0][20] = -NAN;
  bad[0][30] = -INFINITY;
  write_wav(folder + "/non-finite.wav", bad);

  shell("cd " + folder + " && cp in.wav 日本語.wav && cp in.wav 'name with spaces.wav' && cp in.wav 'emoji 🎵.wav'");
  write_file(folder + "/score-eof.txt", "0 p2 0\n# a comment with \x1a in it\n2205 p3 -6\n2205 bogus\n");
  write_file(folder + "/nul.txt", "0 p2 0\n100 bogus\n");
  write_file(folder + "/楽譜.txt", "0 p2 0\n100 bogus\n");
  write_file(folder + "/crlf.txt", "0 p2 0\r\n100 bogus\r\n");
  std::string many = "0 p2";
  for (int i = 0; i < 300; i++) many += " 0";
  write_file(folder + "/many-atoms.txt", many + "\n");
  write_file(folder + "/long-line.txt", "0 p2 " + std::string(100000, '0') + "\n");
  shell("cd " + folder + " && mkdir a-folder.wav score-folder && echo precious > locked.wav && chmod 444 locked.wav");
}

// ---- Running both tools ---------------------------------------------------

struct Outcome {
  int status;
  std::string lines;  // stderr and stdout, line endings as on Linux
};

std::string command_line(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) line += " " + shell_word(arg);
  return line;
}

Outcome run_in(const std::string& system, const std::vector<std::string>& args) {
  const std::string tool = system == "linux" ? shell_word(linuxTool) : shell_word(wine) + " " + shell_word(windowsTool);
  CommandRun run = run_command("cd " + work + "/" + system + " && timeout 120 " + tool + command_line(args));
  std::string lines;
  for (char c : run.output)
    if (c != '\r') lines += c;
  return {WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1, lines};
}

// What both must do: exit with status, print lines, and (for a render)
// write out with frames frames.
struct Case {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string lines;
  std::string out;
  int64_t frames;
};

std::ostream& operator<<(std::ostream& stream, const Case& c) { return stream << c.name; }

// Each fault the table was made for is named by its number in the issue
// that listed them.
const std::vector<Case> CASES = {
    // 1: the end of the input is where the reader stops.
    {"FlacOfUnknownLength", {"render", "overtoner~", "piped.flac", "piped-out.wav"}, 0, "", "piped-out.wav", 4410},
    {"FlacOfUnknownLengthWithTail", {"render", "--tail", "1", "overtoner~", "piped.flac", "piped-tail.wav"}, 0, "",
     "piped-tail.wav", 4410 + 44100},
    {"FlacPromisingTooMuch", {"render", "overtoner~", "lying.flac", "lying-out.wav"}, 0,
     "tildefx: lying.flac ends after 4410 frames; its header promises 68719476735\n", "lying-out.wav", 4410},
    {"TruncatedFlac", {"render", "overtoner~", "truncated.flac", "truncated-flac-out.wav"}, 0,
     "tildefx: truncated.flac ends after 0 frames; its header promises 4410\n", "truncated-flac-out.wav", 0},
    {"TruncatedWav", {"render", "overtoner~", "truncated.wav", "truncated-out.wav"}, 0, "", "truncated-out.wav", 1478},
    {"WavPromisingTooMuch", {"render", "overtoner~", "lying-data.wav", "lying-data-out.wav"}, 0, "",
     "lying-data-out.wav", 1000},
    {"RiffSizeTooLarge", {"render", "overtoner~", "lying-riff.wav", "lying-riff-out.wav"}, 0, "",
     "lying-riff-out.wav", 1000},
    // 2, 10, 11: scores.
    {"ScoreIsAFolder", {"render", "--score", "score-folder", "overtoner~", "in.wav", "score-folder-out.wav"}, 1,
     "error: tildefx: cannot read score score-folder: it is a folder\n", "", 0},
    {"ScoreIsMissing", {"render", "--score", "missing.txt", "overtoner~", "in.wav", "missing-out.wav"}, 1,
     "error: tildefx: cannot read score missing.txt: No such file or directory\n", "", 0},
    {"ScoreWithAnEndOfFileByte", {"render", "--score", "score-eof.txt", "overtoner~", "in.wav", "eof-out.wav"}, 0,
     "error: overtoner~: no method for 'bogus'\n", "eof-out.wav", 4410},
    {"ScoreNamedLikeADevice", {"render", "--score", "nul.txt", "overtoner~", "in.wav", "nul-score-out.wav"}, 0,
     "error: overtoner~: no method for 'bogus'\n", "nul-score-out.wav", 4410},
    {"ScoreWithCarriageReturns", {"render", "--score", "crlf.txt", "overtoner~", "in.wav", "crlf-out.wav"}, 0,
     "error: overtoner~: no method for 'bogus'\n", "crlf-out.wav", 4410},
    {"MessageOfTooManyAtoms", {"render", "--score", "many-atoms.txt", "overtoner~", "in.wav", "many-out.wav"}, 1,
     "error: tildefx: many-atoms.txt:1: a message holds at most 256 atoms\n", "", 0},
    {"ScoreLineTooLong", {"render", "--score", "long-line.txt", "overtoner~", "in.wav", "long-line-out.wav"}, 1,
     "error: tildefx: long-line.txt:1: the line is longer than 65536 bytes\n", "", 0},
    // 3: samples that are not finite.
    {"NonFiniteToPcm16", {"render", "--format", "pcm16", "overtoner~", "non-finite.wav", "pcm16-out.wav"}, 0, "",
     "pcm16-out.wav", 300},
    {"NonFiniteToPcm32", {"render", "--format", "pcm32", "overtoner~", "non-finite.wav", "pcm32-out.wav"}, 0, "",
     "pcm32-out.wav", 300},
    // 4: a data chunk that says it is empty.
    {"EmptyDataChunk", {"render", "overtoner~", "zero-data.wav", "zero-data-out.wav"}, 0,
     "tildefx: zero-data.wav holds no audio\n", "zero-data-out.wav", 0},
    {"EmptyDataChunkBeforeAList", {"render", "overtoner~", "zero-data-list.wav", "zero-list-out.wav"}, 0,
     "tildefx: zero-data-list.wav holds no audio\n", "zero-list-out.wav", 0},
    {"EmptyDataChunkWithATail", {"render", "--tail", "0.1", "overtoner~", "zero-data.wav", "zero-tail-out.wav"}, 0,
     "tildefx: zero-data.wav holds no audio\n", "zero-tail-out.wav", 4410},
    // 5, 7: what OUT names.
    {"ReadOnlyOut", {"render", "overtoner~", "in.wav", "locked.wav"}, 1,
     "error: tildefx: cannot write locked.wav: the file is read-only\n", "", 0},
    {"OutIsAFolder", {"render", "overtoner~", "in.wav", "a-folder.wav"}, 1,
     "error: tildefx: cannot write a-folder.wav: it is a folder\n", "", 0},
    {"OutIsTheInput", {"render", "overtoner~", "in.wav", "in.wav"}, 1,
     "error: tildefx: cannot write in.wav: it is the input file\n", "", 0},
    {"OutInAMissingFolder", {"render", "overtoner~", "in.wav", "no-such-folder/out.wav"}, 1,
     "error: tildefx: cannot write no-such-folder/out.wav: cannot create a temporary file in no-such-folder: No "
     "such file or directory\n",
     "", 0},
    {"OutTooLongForItsTemporaryFile", {"render", "overtoner~", "in.wav", std::string(245, 'a') + ".wav"}, 1,
     "error: tildefx: cannot write " + std::string(245, 'a') +
         ".wav: cannot create a temporary file in .: File name too long\n",
     "", 0},
    // 8: names outside any code page.
    {"NonAnsiNames", {"render", "--score", "楽譜.txt", "overtoner~", "日本語.wav", "出力 🎵.wav"}, 0,
     "error: overtoner~: no method for 'bogus'\n", "出力 🎵.wav", 4410},
    {"EmojiAndSpaces", {"render", "overtoner~", "emoji 🎵.wav", "name with spaces out.wav"}, 0, "",
     "name with spaces out.wav", 4410},
    {"MissingNonAnsiInput", {"render", "overtoner~", "無い.wav", "missing-in-out.wav"}, 1,
     "error: tildefx: cannot read 無い.wav: No such file or directory\n", "", 0},
    // 9: malformed WAV files.
    {"TwoFormatChunks", {"render", "overtoner~", "two-fmt.wav", "two-fmt-out.wav"}, 1,
     "error: tildefx: cannot read two-fmt.wav: Error in WAV file. No 'data' chunk marker.\n", "", 0},
    {"TwoDataChunks", {"render", "overtoner~", "two-data.wav", "two-data-out.wav"}, 1,
     "error: tildefx: cannot read two-data.wav: Internal error : SF_INFO struct incomplete.\n", "", 0},
    {"ExtensibleWithABadGuid", {"render", "overtoner~", "bad-guid.wav", "bad-guid-out.wav"}, 1,
     "error: tildefx: cannot read bad-guid.wav: File contains data in an unimplemented format.\n", "", 0},
    {"ShortExtensibleFormat", {"render", "overtoner~", "short-extensible.wav", "short-ext-out.wav"}, 1,
     "error: tildefx: cannot read short-extensible.wav: File contains data in an unimplemented format.\n", "", 0},
    {"NoDataChunk", {"render", "overtoner~", "no-data.wav", "no-data-out.wav"}, 1,
     "error: tildefx: cannot read no-data.wav: Error in WAV file. No 'data' chunk marker.\n", "", 0},
    {"EmptyFile", {"render", "overtoner~", "empty.wav", "empty-out.wav"}, 1,
     "error: tildefx: cannot read empty.wav: Format not recognised.\n", "", 0},
    {"TextFile", {"render", "overtoner~", "text.wav", "text-out.wav"}, 1,
     "error: tildefx: cannot read text.wav: Format not recognised.\n", "", 0},
    {"NoChannels", {"render", "overtoner~", "zero-channels.wav", "zero-channels-out.wav"}, 1,
     "error: tildefx: cannot read zero-channels.wav: Channel count is zero.\n", "", 0},
    {"NoSampleRate", {"render", "overtoner~", "zero-rate.wav", "zero-rate-out.wav"}, 1,
     "error: tildefx: cannot read zero-rate.wav: Internal error : SF_INFO struct incomplete.\n", "", 0},
    {"SampleRateOutOfRange", {"render", "overtoner~", "fast.wav", "fast-out.wav"}, 1,
     "error: tildefx: fast.wav has the sample rate 20000000 Hz; it must be from 1 to 10000000 (--rate sets another)\n", "", 0},
    {"TooManyChannels", {"render", "overtoner~", "wide.wav", "wide-out.wav"}, 1,
     "error: tildefx: wide.wav has 1000 channels; the limit is 64 (--max-channels raises it)\n", "", 0},
    // Formats both read alike.
    {"EightBitUnsigned", {"render", "overtoner~", "u8.wav", "u8-out.wav"}, 0, "", "u8-out.wav", 4410},
    {"ALaw", {"render", "overtoner~", "alaw.wav", "alaw-out.wav"}, 0, "", "alaw-out.wav", 4410},
    {"Double", {"render", "overtoner~", "double.wav", "double-out.wav"}, 0, "", "double-out.wav", 4410},
    {"Aiff", {"render", "overtoner~", "in.aiff", "aiff-out.wav"}, 0, "", "aiff-out.wav", 4410},
    {"Wave64", {"render", "overtoner~", "in.w64", "w64-out.wav"}, 0, "", "w64-out.wav", 4410},
    {"Caf", {"render", "overtoner~", "in.caf", "caf-out.wav"}, 0, "", "caf-out.wav", 4410},
    {"Flac", {"render", "overtoner~", "good.flac", "flac-out.wav"}, 0, "", "flac-out.wav", 4410},
    {"Pcm16Stereo", {"render", "--format", "pcm24", "sidesplit~", "stereo.wav", "stereo-out.wav", "2: 6"}, 0, "",
     "stereo-out.wav", 4410},
    // 11: lines that name the real reason.
    {"RateAboveTheRange", {"render", "--rate", "10000001", "overtoner~", "in.wav", "rate-out.wav"}, 2,
     "error: tildefx: --rate needs a sample rate in Hz from 1 to 10000000\n(tildefx help shows the usage)\n", "", 0},
    {"RateBelowTheRange", {"render", "--rate", "1e-50", "overtoner~", "in.wav", "rate-out.wav"}, 2,
     "error: tildefx: --rate needs a sample rate in Hz from 1 to 10000000\n(tildefx help shows the usage)\n", "", 0},
};

class HostileInput : public testing::TestWithParam<Case> {};

TEST_P(HostileInput, BothToolsAnswerAlike) {
  const Case& c = GetParam();
  const Outcome onLinux = run_in("linux", c.args);
  const Outcome onWindows = run_in("windows", c.args);
  EXPECT_EQ(onLinux.status, c.status) << onLinux.lines;
  EXPECT_EQ(onLinux.lines, c.lines);
  EXPECT_EQ(onWindows.status, onLinux.status) << onWindows.lines;
  EXPECT_EQ(onWindows.lines, onLinux.lines);
  if (c.status != 0) {
    // A refusal harms nothing and leaves nothing behind.
    for (const char* system : {"linux", "windows"}) {
      EXPECT_EQ(run_command("ls " + work + "/" + system + " | grep partial").output, "") << system;
      EXPECT_EQ(read_file(work + "/" + system + "/locked.wav"), "precious\n") << system;
    }
  }
  if (c.out.empty()) return;
  SF_INFO info{};
  const Channels linuxOut = read_wav(work + "/linux/" + c.out, &info);
  ASSERT_FALSE(c.frames > 0 && linuxOut.empty()) << "no output from Linux";
  EXPECT_EQ(info.frames, c.frames);
  EXPECT_EQ(first_difference(linuxOut, read_wav(work + "/windows/" + c.out)), "");
}

INSTANTIATE_TEST_SUITE_P(Table, HostileInput, testing::ValuesIn(CASES),
                         [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// 3: a sample that is not finite becomes 0 in PCM, not full scale.
TEST(HostileInputs, PcmWritesSamplesThatAreNotFiniteAsZero) {
  ASSERT_EQ(run_in("linux", {"render", "--format", "pcm16", "overtoner~", "non-finite.wav", "zeros.wav"}).status, 0);
  const Channels out = read_wav(work + "/linux/zeros.wav");
  ASSERT_EQ(out.size(), 1u);
  // overtoner~ gives NaN for NaN, and a finite sample for an infinite one.
  for (size_t i : {10, 20}) EXPECT_EQ(out[0][i], 0.0f) << "sample " << i;
  EXPECT_EQ(out[0][30], -1.0f);
}

// A shell command run in each system's folder, with TOOL naming its tool.
CommandRun run_with_tool(const std::string& system, const std::string& script) {
  const std::string tool = system == "linux" ? linuxTool : wine + " " + windowsTool;
  return run_command("cd " + work + "/" + system + " && TOOL=" + shell_word(tool) + " && " + script);
}

// 6: an interrupted render leaves OUT as it was and no temporary file.
TEST(HostileInputs, AnInterruptedRenderLeavesNoTemporaryFile) {
  for (const char* system : {"linux", "windows"}) {
    for (const char* signal : {"INT", "TERM", "HUP"}) {
      const std::string out = std::string("interrupted-") + signal + ".wav";
      // A day of tail: stopped once its temporary file has appeared.
      const CommandRun run = run_with_tool(
          system, "echo precious > " + out + " && (timeout 60 $TOOL render --tail 86400 overtoner~ in.wav " + out +
                      " & pid=$!; for i in $(seq 600); do ls | grep -q '^" + out +
                      ".partial' && break; sleep 0.1; done; sleep 1; kill -" + signal +
                      " $pid; { wait $pid; } 2> /dev/null; ls | grep '^" + out + ".partial'; cat " + out + ")");
      EXPECT_EQ(run.output, "precious\n") << system << ", SIG" << signal;
    }
  }
}

// Runs script in both folders, where it must print "done" alone, and
// compares the renders of in.wav it left.
void expect_alike(const std::string& script, const std::vector<std::string>& renders) {
  for (const char* system : {"linux", "windows"}) EXPECT_EQ(run_with_tool(system, script).output, "done\n") << system;
  for (const std::string& name : renders) {
    const Channels onLinux = read_wav(work + "/linux/" + name);
    EXPECT_EQ(onLinux.at(0).size(), 4410u) << name;
    EXPECT_EQ(first_difference(onLinux, read_wav(work + "/windows/" + name)), "") << name;
  }
}

// 7: a link as OUT is followed, and stays a link; every name of a file
// with several sees the render.
TEST(HostileInputs, LinksAsOutAreKept) {
  expect_alike("echo precious > target.wav && ln -s target.wav link.wav && echo precious > hard.wav && "
               "ln hard.wav other-name.wav && $TOOL render overtoner~ in.wav link.wav && "
               "$TOOL render overtoner~ in.wav hard.wav && test -L link.wav && test hard.wav -ef other-name.wav && "
               "ls | grep partial; echo done",
               {"target.wav", "other-name.wav"});
}

// 7, 11: a pipe as OUT is written through; a pipe as IN is read to its end.
TEST(HostileInputs, PipesAreWrittenThroughAndRead) {
  expect_alike("mkfifo out.fifo in.fifo && (cat out.fifo > received.wav &) && "
               "timeout 60 $TOOL render overtoner~ in.wav out.fifo && (cat in16.wav > in.fifo &) && "
               "timeout 60 $TOOL render overtoner~ in.fifo from-pipe.wav && sleep 0.5 && test -p out.fifo && "
               "echo done",
               {"received.wav", "from-pipe.wav"});
}

// Windows gives some names to devices, and refuses to write them (a score
// named nul.txt is read as the file it is, above); Linux has no such names.
TEST(HostileInputs, DeviceNamesAreRefusedOnWindows) {
  for (const char* name : {"nul.wav", "CON", "com1.wav", "Aux.txt.wav"}) {
    const Outcome onWindows = run_in("windows", {"render", "overtoner~", "in.wav", name});
    EXPECT_EQ(onWindows.status, 1);
    EXPECT_EQ(onWindows.lines, "error: tildefx: cannot write " + std::string(name) +
                                   ": the name is reserved for a device\n");
  }
  const Outcome onLinux = run_in("linux", {"render", "overtoner~", "in.wav", "nul.wav"});
  EXPECT_EQ(onLinux.status, 0) << onLinux.lines;
  EXPECT_EQ(read_wav(work + "/linux/nul.wav").at(0).size(), 4410u);
  // Nor is a device taken for a plug-in: nul.mxe would open NUL.
  for (const char* name : {"nul", "CON", "com1"}) {
    const Outcome asObject = run_in("windows", {"info", name});
    EXPECT_EQ(asObject.status, 1);
    EXPECT_EQ(asObject.lines.rfind("error: tildefx: no object '" + std::string(name) + "' found", 0), 0u)
        << asObject.lines;
  }
}

// 11: a plug-in the user may not read says so, and why.
TEST(HostileInputs, AnUnreadablePlugInSaysWhy) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "needs root and setpriv";
  const std::string plugins = linuxTool.substr(0, linuxTool.rfind("/bin/")) + "/lib/plugins/overtoner~.so";
  const std::string folder = work + "/locked-plugins";
  shell("mkdir " + folder + " && cp " + shell_word(plugins) + " " + folder + "/locked~.so && chmod 000 " + folder +
        "/locked~.so && chmod 755 " + work);
  const CommandRun run = run_command("setpriv --reuid=65534 --regid=65534 --clear-groups " + shell_word(linuxTool) +
                                     " --path " + folder + " info locked~");
  EXPECT_NE(run.output.find("cannot load " + folder + "/locked~.so: the file cannot be read: Permission denied"),
            std::string::npos)
      << run.output;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: hostile_inputs_test LINUX_TOOL WINDOWS_BIN WINE\n");
    return 2;
  }
  const auto absolute = [](const char* path) {
    char* resolved = realpath(path, nullptr);
    const std::string result = resolved != nullptr ? resolved : path;
    std::free(resolved);
    return result;
  };
  linuxTool = absolute(argv[1]);
  windowsTool = absolute(argv[2]) + "/tildefx.exe";
  wine = absolute(argv[3]);
  char folder[] = "/tmp/tildefx-hostile.XXXXXX";
  work = mkdtemp(folder);
  setenv("WINEPREFIX", (work + "/prefix").c_str(), 1);
  setenv("WINEDEBUG", "-all", 1);
  // A fresh prefix, made before any run whose lines are compared.
  shell(shell_word(wine) + " cmd /c exit");
  // The same files for both: sox dithers with noise of its own each run.
  mkdir((work + "/linux").c_str(), 0755);
  make_files(work + "/linux");
  shell("cp -a " + shell_word(work + "/linux") + " " + shell_word(work + "/windows"));
  const int status = RUN_ALL_TESTS();
  const std::string wineserver = wine.substr(0, wine.rfind('/')) + "/wineserver";
  run_command(shell_word(wineserver) + " -k");
  if (status == 0) run_command("rm -rf " + shell_word(work));
  else std::fprintf(stderr, "kept %s\n", work.c_str());
  return status;
}
