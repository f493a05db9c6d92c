#include "pd_render.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace {

// "2: -6" is inlet 2 and "-6"; "p2 0" is inlet 0 and itself.
int split_inlet(const std::string& text, std::string& rest) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0 || text.find_first_not_of("0123456789") != colon) {
    rest = text;
    return 0;
  }
  rest = text.substr(text.find_first_not_of(' ', colon + 1));
  return std::stoi(text.substr(0, colon));
}

std::string receiver(int inlet) { return "tfx_inlet_" + std::to_string(inlet); }

// A message box that sends each text to the receiver of its inlet, in order.
std::string message_box_text(const std::vector<std::string>& texts) {
  std::string box;
  for (const std::string& text : texts) {
    std::string rest;
    const int inlet = split_inlet(text, rest);
    box += " \\; " + receiver(inlet) + " " + rest;
  }
  return box;
}

// The lines of one canvas, its boxes numbered in the order they are added.
class Canvas {
 public:
  int add(const std::string& kind, const std::string& text) {
    lines_.push_back("#X " + kind + " 20 " + std::to_string(20 + 30 * count_) + " " + text + ";");
    return count_++;
  }
  int add_subpatch(const std::string& name, const Canvas& inner) {
    lines_.push_back("#N canvas 0 0 450 300 " + name + " 0;");
    for (const std::string& line : inner.lines_) lines_.push_back(line);
    lines_.push_back("#X restore 400 " + std::to_string(20 + 30 * count_) + " pd " + name + ";");
    return count_++;
  }
  void connect(int from, int outlet, int to, int inlet) {
    lines_.push_back("#X connect " + std::to_string(from) + " " + std::to_string(outlet) + " " +
                     std::to_string(to) + " " + std::to_string(inlet) + ";");
  }
  std::string text() const {
    std::string all = "#N canvas 0 0 600 800 12;\n";
    for (const std::string& line : lines_) all += line + "\n";
    return all;
  }

 private:
  std::vector<std::string> lines_;
  int count_ = 0;
};

std::string table_name(const char* direction, size_t index) {
  return std::string("tfx_") + direction + "_" + std::to_string(index);
}

std::vector<int> inlets_used(const RenderCase& renderCase) {
  std::vector<int> inlets;
  std::string rest;
  for (const TimedMessage& message : renderCase.messages) inlets.push_back(split_inlet(message.text, rest));
  for (const std::string& text : renderCase.badMessages) inlets.push_back(split_inlet(text, rest));
  if (renderCase.leftInletNumber) inlets.push_back(0);
  return inlets;
}

// The player, the object and the recorder, in a subpatch whose block size
// is the case's; messages reach the object's inlets through receivers.
Canvas render_subpatch(const RenderCase& renderCase) {
  Canvas inner;
  const int start = inner.add("obj", "r tfx_start");
  const int object = inner.add("obj", renderCase.object);
  for (size_t c = 0; c < renderCase.input.size(); c++) {
    if (c == 0 && renderCase.leftInletNumber) continue;
    const int player = inner.add("obj", "tabplay~ " + table_name("in", c));
    inner.connect(start, 0, player, 0);
    inner.connect(player, 0, object, static_cast<int>(c));
  }
  for (int j = 0; j < renderCase.outlets; j++) {
    const int recorder = inner.add("obj", "tabwrite~ " + table_name("out", static_cast<size_t>(j)));
    inner.connect(start, 0, recorder, 0);
    inner.connect(object, j, recorder, 0);
  }
  std::map<int, int> receivers;
  for (int inlet : inlets_used(renderCase)) {
    if (receivers.count(inlet) != 0) continue;
    receivers[inlet] = inner.add("obj", "r " + receiver(inlet));
    inner.connect(receivers[inlet], 0, object, inlet);
  }
  if (renderCase.blockSize != 64) inner.add("obj", "block~ " + std::to_string(renderCase.blockSize));
  return inner;
}

// On load: read the input into tables, start DSP, send the time-0 messages
// (then the bad ones), start the players and recorders and the delays of
// the later messages; at the end write the recorded tables and quit.
std::string render_patch(const RenderCase& renderCase, const std::string& inPath, const std::string& outPath) {
  const size_t length = renderCase.input[0].size();
  Canvas patch;
  const int loadbang = patch.add("obj", "loadbang");
  const int steps = patch.add("obj", "t b b b b b");
  patch.connect(loadbang, 0, steps, 0);

  std::string readText = "read -resize " + inPath;
  for (size_t c = 0; c < renderCase.input.size(); c++) {
    patch.add("obj", "table " + table_name("in", c));
    readText += " " + table_name("in", c);
  }
  std::string writeText = "write -wave -bytes 4 -rate 44100 " + outPath;
  for (size_t j = 0; j < static_cast<size_t>(renderCase.outlets); j++) {
    patch.add("obj", "table " + table_name("out", j) + " " + std::to_string(length));
    writeText += " " + table_name("out", j);
  }
  const int reader = patch.add("obj", "soundfiler");
  const int readBox = patch.add("msg", readText);
  patch.connect(steps, 4, readBox, 0);
  patch.connect(readBox, 0, reader, 0);
  patch.connect(steps, 3, patch.add("msg", "\\; pd dsp 1"), 0);

  std::map<int64_t, std::vector<std::string>> byTime;
  for (const TimedMessage& message : renderCase.messages) byTime[message.sample].push_back(message.text);
  if (renderCase.leftInletNumber) byTime[0].insert(byTime[0].begin(), std::to_string(renderCase.input[0][0]));
  for (const auto& [time, texts] : byTime) {
    const int box = patch.add("msg", message_box_text(texts));
    if (time == 0) {
      patch.connect(steps, 2, box, 0);
    } else {
      const int delay = patch.add("obj", "delay " + std::to_string(time) + " 1 samp");
      patch.connect(steps, 0, delay, 0);
      patch.connect(delay, 0, box, 0);
    }
  }
  if (!renderCase.badMessages.empty()) {
    const int nan = patch.add("obj", "expr sqrt(-1)");
    std::string box = message_box_text(renderCase.badMessages);
    for (size_t at = box.find('$'); at != std::string::npos; at = box.find('$', at + 2)) box.insert(at, "\\");
    patch.connect(steps, 1, nan, 0);
    patch.connect(nan, 0, patch.add("msg", box), 0);
  }
  patch.connect(steps, 0, patch.add("msg", "\\; tfx_start bang"), 0);

  const int end = patch.add("obj", "delay " + std::to_string(length) + " 1 samp");
  const int write = patch.add("msg", writeText + " \\; pd quit");
  const int writer = patch.add("obj", "soundfiler");
  patch.connect(steps, 0, end, 0);
  patch.connect(end, 0, write, 0);
  patch.connect(write, 0, writer, 0);

  patch.add_subpatch("render", render_subpatch(renderCase));
  return patch.text();
}

std::string pd_command(const std::string& arguments) {
  std::string environment = sanitizer_build()
                                ? std::string("ASAN_OPTIONS=detect_leaks=0 LD_PRELOAD='") + TILDEFX_PD_PRELOAD + "' "
                                : "";
  return environment + "timeout 120 " + TILDEFX_PD + " -nogui -noaudio -batch -noprefs -stderr -r 44100 -path " +
         TILDEFX_PD_DIR + " " + arguments;
}

bool sanitizer_refused(const std::string& console) {
  return console.find("ASan runtime does not come first") != std::string::npos;
}

}  // namespace

PdRun render_in_pd(const RenderCase& renderCase, const std::string& folder) {
  const std::string inPath = folder + "/in.wav";
  const std::string outPath = folder + "/pd-out.wav";
  const std::string patchPath = folder + "/render.pd";
  write_wav(inPath, renderCase.input);
  std::remove(outPath.c_str());
  std::ofstream(patchPath) << render_patch(renderCase, inPath, outPath);
  const CommandRun run = run_command(pd_command("-open " + patchPath));
  PdRun result;
  result.status = run.status;
  result.console = run.output;
  result.skipped = sanitizer_refused(run.output);
  result.output = read_wav(outPath);
  return result;
}

Channels render_with_tildefx(const RenderCase& renderCase, const std::string& folder, std::string& console) {
  const std::string inPath = folder + "/in.wav";
  const std::string outPath = folder + "/tildefx-out.wav";
  const std::string scorePath = folder + "/score.txt";
  write_wav(inPath, renderCase.input);
  std::ofstream score(scorePath);
  for (const TimedMessage& message : renderCase.messages) score << message.sample << " " << message.text << "\n";
  score.close();
  const CommandRun run = run_command(std::string(TILDEFX_TOOL) + " render --quiet --block " +
                                     std::to_string(renderCase.blockSize) + " --score " + scorePath + " " +
                                     renderCase.object + " " + inPath + " " + outPath);
  console = run.output;
  if (run.status != 0) return {};
  return read_wav(outPath);
}

bool sanitizer_build() { return TILDEFX_PD_PRELOAD[0] != '\0'; }

PdRun open_in_pd(const std::vector<std::string>& patches, long memoryLimitKib) {
  std::string arguments;
  for (const std::string& patch : patches) arguments += "-open " + patch + " ";
  const std::string limit = memoryLimitKib > 0 ? "ulimit -v " + std::to_string(memoryLimitKib) + "; " : "";
  const CommandRun run = run_command(limit + pd_command(arguments + "-send \"pd quit\""));
  PdRun result;
  result.status = run.status;
  result.console = run.output;
  result.skipped = sanitizer_refused(run.output);
  return result;
}

std::vector<std::string> error_lines(const std::string& console) {
  std::vector<std::string> lines;
  std::istringstream text(console);
  for (std::string line; std::getline(text, line);)
    if (line.rfind("error", 0) == 0) lines.push_back(line);
  return lines;
}
