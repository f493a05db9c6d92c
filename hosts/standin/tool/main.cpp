// tildefx: runs the objects on audio files, and tells what they offer.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "parameter_listing.h"
#include "render.h"
#include "score.h"
#include "standin.h"
#include "system_files.h"

using tildefx_tool::RenderOptions;

namespace {

const char* const USAGE =
    "usage: tildefx [--path DIR]... COMMAND ...\n"
    "       tildefx --version\n"
    "\n"
    "commands:\n"
    "  render [options] OBJECT IN OUT [MESSAGE ...]\n"
    "                     runs the audio file IN through OBJECT into OUT (WAV)\n"
    "  info OBJECT        lists the object's inlets, outlets and messages, and\n"
    "                     its parameters with range, unit and start\n"
    "  list               lists the objects found on the search path\n"
    "  help               shows this text\n"
    "\n"
    "render options:\n"
    "  --block N          block size (default 64)\n"
    "  --rate HZ          sample rate reported to the object (default: IN's)\n"
    "  --tail SECONDS     keep running on silence after IN ends (default 0)\n"
    "  --score FILE       timed messages, one 'TIME MESSAGE' per line;\n"
    "                     TIME in samples (22050) or seconds (0.5s);\n"
    "                     'TIME dsp RATE BLOCK' rebuilds the signal chain\n"
    "  --format F         float (default), double, pcm16, pcm24 or pcm32\n"
    "  --quiet            no progress bar, no information lines\n"
    "  --max-channels N   accept IN with up to N channels (default 64,\n"
    "                     at most 1024)\n"
    "  MESSAGE            as in a message box: \"time 500\", \"12tet\", \"0.5\",\n"
    "                     \"N: ...\" sends to inlet N (\"2: -6\", \"1: 60 100\")\n"
    "\n"
    "Plug-ins are searched in each --path DIR, then in TILDEFX_PATH\n"
    "(colon-separated; semicolons on Windows), then in the folder plugins\n"
    "beside the host library libtildefx_host.so, lib/tildefx/plugins once\n"
    "installed (on Windows, the folder of tildefx_host.dll).\n";

int usage_error(const std::string& reason) {
  std::fprintf(stderr, "error: tildefx: %s\n(tildefx help shows the usage)\n", reason.c_str());
  return 2;
}

int run_render(const std::vector<std::string>& args) {
  RenderOptions options;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); i++) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--block" || arg == "--rate" || arg == "--tail" ||
                            arg == "--score" || arg == "--format" ||
                            arg == "--max-channels";
    if (takesValue && i + 1 >= args.size()) return usage_error(arg + " needs a value");
    double number = 0.0;
    if (arg == "--block") {
      if (!tildefx_tool::parse_count(args[++i], tildefx_tool::MAX_BLOCK_SIZE, options.blockSize))
        return usage_error("--block needs a whole number from 1 to 65536");
    } else if (arg == "--rate") {
      if (!tildefx_tool::parse_finite_number(args[++i], number) || !tildefx_tool::valid_sample_rate(number))
        return usage_error(std::string("--rate needs a sample rate in Hz ") + tildefx_tool::SAMPLE_RATE_RANGE);
      options.sampleRate = number;
    } else if (arg == "--tail") {
      if (!tildefx_tool::parse_finite_number(args[++i], number) || number < 0 || number > 86400)
        return usage_error("--tail needs a number of seconds from 0 to 86400");
      options.tailSeconds = number;
    } else if (arg == "--max-channels") {
      if (!tildefx_tool::parse_count(args[++i], tildefx_tool::MAX_CHANNELS_LIMIT, options.maxChannels))
        return usage_error("--max-channels needs a whole number from 1 to " +
                           std::to_string(tildefx_tool::MAX_CHANNELS_LIMIT));
    } else if (arg == "--score") {
      options.scorePath = args[++i];
    } else if (arg == "--format") {
      options.format = args[++i];
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (positional.size() < 3 && arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      return usage_error("unknown option " + arg);
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() < 3) return usage_error("render needs OBJECT IN OUT");
  options.object = positional[0];
  options.inputPath = positional[1];
  options.outputPath = positional[2];
  options.messages.assign(positional.begin() + 3, positional.end());
  return tildefx_tool::render(options);
}

const char* kind_text(int kind) {
  switch (kind) {
    case host::ARG_FLOAT: return "NUMBER";
    case host::ARG_LIST: return "ATOMS...";
    default: return "";
  }
}

int run_info(const std::vector<std::string>& args) {
  if (args.size() != 1) return usage_error("info needs one OBJECT");
  std::unique_ptr<standin::Instance> instance = standin::Instance::create(args[0]);
  tildefx_tool::print_console(false);
  if (!instance) return 1;
  const standin::ClassInfo info = instance->class_info();
  std::printf("%s\n\ninlets:\n", info.name.c_str());
  for (int i = 0; i < instance->inlet_count(); i++) {
    const standin::InletKind kind = instance->inlet_kind(i);
    const char* kindText = kind == standin::InletKind::Signal ? "signal"
                           : kind == standin::InletKind::Float ? "float" : "list";
    std::printf("  %d  %-7s %s\n", i, kindText, instance->assist(false, i).c_str());
  }
  std::printf("\noutlets:\n");
  for (int j = 0; j < instance->signal_outlets(); j++)
    std::printf("  %d  %-7s %s\n", j, "signal", instance->assist(true, j).c_str());
  std::printf("\nmessages to the left inlet:\n");
  for (const standin::Binding& binding : info.messages)
    std::printf("  %s %s\n", binding.selector.c_str(), kind_text(binding.kind));
  if (info.takesInt) std::printf("  an int (a whole number)\n");
  if (info.takesFloat) std::printf("  a float (a number)\n");
  if (info.messages.empty() && !info.takesInt && !info.takesFloat) std::printf("  none\n");
  if (!info.floatInlets.empty()) {
    std::printf("\nnumbers to float inlets:");
    for (int number : info.floatInlets) std::printf(" %d", number);
    std::printf("\n");
  }
  tildefx_tool::print_parameters(info.name);
  tildefx_tool::print_console(false);
  return 0;
}

int run_list(const std::vector<std::string>& args) {
  if (!args.empty()) return usage_error("list takes no arguments");
  const std::vector<std::string> names = standin::list_objects();
  for (const std::string& name : names) std::printf("%s\n", name.c_str());
  if (names.empty()) {
    std::fprintf(stderr, "tildefx: no objects found in:");
    for (const std::string& folder : standin::plugin_folders()) std::fprintf(stderr, " %s", folder.c_str());
    std::fprintf(stderr, "\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = tildefx_tool::command_line_arguments(argc, argv);
  std::vector<std::string> extraFolders;
  while (!args.empty() && args[0] == "--path") {
    if (args.size() < 2) return usage_error("--path needs a folder");
    extraFolders.push_back(args[1]);
    args.erase(args.begin(), args.begin() + 2);
  }
  standin::set_extra_plugin_folders(extraFolders);
  if (args.empty()) {
    std::fputs(USAGE, stderr);
    return 2;
  }
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "render") {
    try {
      return run_render(args);
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "error: tildefx: out of memory\n");
      return 1;
    }
  }
  if (command == "info") return run_info(args);
  if (command == "list") return run_list(args);
  if (command == "--version") {
    std::printf("tildefx %s\n", TILDEFX_VERSION);
    return 0;
  }
  if (command == "help" || command == "--help" || command == "-h") {
    std::fputs(USAGE, stdout);
    return 0;
  }
  return usage_error("unknown command '" + command + "'");
}
