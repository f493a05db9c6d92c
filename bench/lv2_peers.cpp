// The LV2 plug-ins beside the Debian LV2 plug-ins that do the same jobs, in
// one small lilv host: URID map, options (44.1 kHz, nominal and largest
// block 512), a log that keeps quiet and a worker that works at once; every
// plug-in fed the same synthetic music (plucked notes over a bass line) in
// blocks of 512, at its defaults and at a working setting. Counter:
// ns_per_frame (one mono or stereo frame through the plug-in's run).
//
// --markdown FILE writes the table of docs/performance.md's peer section.
#include <benchmark/benchmark.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cmath>
#include <cstdarg>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "markdown_option.h"

namespace {

constexpr double RATE = 44100.0;
constexpr uint32_t BLOCK = 512;

// ---- The music -------------------------------------------------------------

// Ten seconds of plucked strings (Karplus-Strong): a pentatonic line in
// eighth notes at 120 beats per minute over a bass note every second, the
// right channel a little behind the left. The same on every run.
const std::vector<std::vector<float>>& music() {
  static const std::vector<std::vector<float>> made = [] {
    const size_t length = static_cast<size_t>(10 * RATE);
    std::vector<double> mix(length + 2000, 0.0);
    uint32_t noise = 12345u;
    auto pluck = [&](size_t start, double frequency, double level) {
      std::vector<double> string(static_cast<size_t>(RATE / frequency));
      for (double& s : string) {
        noise = noise * 1664525u + 1013904223u;
        s = level * (static_cast<double>(noise) / 4294967296.0 * 2.0 - 1.0);
      }
      for (size_t i = 0, k = 0; start + i < length && i < static_cast<size_t>(2 * RATE); i++) {
        const size_t next = (k + 1) % string.size();
        mix[start + i] += string[k];
        string[k] = 0.996 * 0.5 * (string[k] + string[next]);
        k = next;
      }
    };
    const int scale[] = {0, 2, 4, 7, 9, 12, 14, 16};
    for (size_t note = 0; note < 80; note++)
      pluck(note * static_cast<size_t>(RATE / 4), 220.0 * std::pow(2.0, scale[(note * 5 + note / 8) % 8] / 12.0), 0.3);
    for (size_t bar = 0; bar < 10; bar++) pluck(bar * static_cast<size_t>(RATE), bar % 2 ? 73.42 : 55.0, 0.5);
    std::vector<std::vector<float>> channels(2, std::vector<float>(length));
    for (size_t i = 0; i < length; i++) {
      channels[0][i] = static_cast<float>(mix[i]);
      channels[1][i] = static_cast<float>(i >= 300 ? 0.8 * mix[i - 300] : 0.0);
    }
    return channels;
  }();
  return made;
}

// ---- The host ----------------------------------------------------------------

LilvWorld* world() {
  static LilvWorld* loaded = [] {
    LilvWorld* w = lilv_world_new();
    lilv_world_load_all(w);
    return w;
  }();
  return loaded;
}

std::map<std::string, LV2_URID>& uris() {
  static std::map<std::string, LV2_URID> map;
  return map;
}

LV2_URID map_uri(LV2_URID_Map_Handle /*handle*/, const char* uri) {
  auto found = uris().find(uri);
  if (found != uris().end()) return found->second;
  const LV2_URID id = static_cast<LV2_URID>(uris().size() + 1);
  uris()[uri] = id;
  return id;
}

const char* unmap_uri(LV2_URID_Unmap_Handle /*handle*/, LV2_URID id) {
  for (const auto& [uri, known] : uris())
    if (known == id) return uri.c_str();
  return nullptr;
}

int log_nothing(LV2_Log_Handle /*handle*/, LV2_URID /*type*/, const char* /*format*/, va_list /*arguments*/) {
  return 0;
}
int log_nothing_printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int length = log_nothing(handle, type, format, arguments);
  va_end(arguments);
  return length;
}

// One plug-in instance with its ports connected and its setting in place.
class Plugin {
 public:
  Plugin(const std::string& uri, const std::map<std::string, float>& setting) {
    LilvNode* node = lilv_new_uri(world(), uri.c_str());
    plugin_ = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), node);
    lilv_node_free(node);
    if (plugin_ == nullptr) return;
    const LV2_URID intType = map_uri(nullptr, LV2_ATOM__Int);
    const LV2_URID floatType = map_uri(nullptr, LV2_ATOM__Float);
    options_ = {{LV2_OPTIONS_INSTANCE, 0, map_uri(nullptr, LV2_BUF_SIZE__nominalBlockLength), 4, intType, &block_},
                {LV2_OPTIONS_INSTANCE, 0, map_uri(nullptr, LV2_BUF_SIZE__maxBlockLength), 4, intType, &block_},
                {LV2_OPTIONS_INSTANCE, 0, map_uri(nullptr, LV2_BUF_SIZE__minBlockLength), 4, intType, &one_},
                {LV2_OPTIONS_INSTANCE, 0, map_uri(nullptr, "http://lv2plug.in/ns/ext/parameters#sampleRate"), 4,
                 floatType, &rate_},
                {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
    optionsFeature_.data = options_.data();
    instance_ = lilv_plugin_instantiate(plugin_, RATE, features_);
    if (instance_ == nullptr) return;
    connect(setting);
    worker_ = static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
    lilv_instance_activate(instance_);
  }
  ~Plugin() {
    if (instance_ == nullptr) return;
    lilv_instance_deactivate(instance_);
    lilv_instance_free(instance_);
  }
  bool ok() const { return instance_ != nullptr; }
  // The portion of the music from start, one block.
  void run(size_t start) {
    for (size_t c = 0; c < inputs_.size(); c++)
      lilv_instance_connect_port(instance_, inputs_[c], const_cast<float*>(music()[c % 2].data() + start));
    for (size_t a = 0; a < atomOutputs_.size(); a++) atoms_[atomOutputs_[a]].atom.atom.size = ATOM_CAPACITY;
    lilv_instance_run(instance_, BLOCK);
  }
  const float* output() const { return outputs_.empty() ? nullptr : outputs_[0].data(); }

 private:
  static constexpr uint32_t ATOM_CAPACITY = 8192;
  struct AtomBuffer {
    LV2_Atom_Sequence atom;
    uint8_t room[ATOM_CAPACITY];
  };

  bool port_is(const LilvPort* port, const char* classUri) {
    LilvNode* node = lilv_new_uri(world(), classUri);
    const bool is = lilv_port_is_a(plugin_, port, node);
    lilv_node_free(node);
    return is;
  }

  void connect(const std::map<std::string, float>& setting) {
    const uint32_t count = lilv_plugin_get_num_ports(plugin_);
    controls_.assign(count, 0.0f);
    atoms_.resize(count);
    outputs_.reserve(count);
    for (uint32_t i = 0; i < count; i++) {
      const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
      const bool input = port_is(port, LILV_URI_INPUT_PORT);
      if (port_is(port, LILV_URI_AUDIO_PORT)) {
        if (input) {
          inputs_.push_back(i);
        } else {
          outputs_.emplace_back(BLOCK, 0.0f);
          lilv_instance_connect_port(instance_, i, outputs_.back().data());
        }
      } else if (port_is(port, LILV_URI_ATOM_PORT)) {
        atoms_[i].atom.atom.type = map_uri(nullptr, input ? LV2_ATOM__Sequence : LV2_ATOM__Chunk);
        atoms_[i].atom.atom.size = input ? sizeof(LV2_Atom_Sequence_Body) : ATOM_CAPACITY;
        if (!input) atomOutputs_.push_back(i);
        lilv_instance_connect_port(instance_, i, &atoms_[i]);
      } else {
        LilvNode* value = nullptr;
        lilv_port_get_range(plugin_, port, &value, nullptr, nullptr);
        controls_[i] = value != nullptr ? lilv_node_as_float(value) : 0.0f;
        lilv_node_free(value);
        const auto set = setting.find(lilv_node_as_string(lilv_port_get_symbol(plugin_, port)));
        if (input && set != setting.end()) controls_[i] = set->second;
        lilv_instance_connect_port(instance_, i, &controls_[i]);
      }
    }
  }

  // A worker that works at once, on the calling thread.
  static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    Plugin* self = static_cast<Plugin*>(handle);
    if (self->worker_ == nullptr) return LV2_WORKER_ERR_UNKNOWN;
    return self->worker_->work(lilv_instance_get_handle(self->instance_), respond, self, size, data);
  }
  static LV2_Worker_Status respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
    Plugin* self = static_cast<Plugin*>(handle);
    return self->worker_->work_response(lilv_instance_get_handle(self->instance_), size, data);
  }

  const LilvPlugin* plugin_ = nullptr;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  int32_t block_ = BLOCK, one_ = 1;
  float rate_ = static_cast<float>(RATE);
  std::vector<LV2_Options_Option> options_;
  LV2_URID_Map map_{nullptr, map_uri};
  LV2_URID_Unmap unmap_{nullptr, unmap_uri};
  LV2_Log_Log log_{nullptr, log_nothing_printf, log_nothing};
  LV2_Worker_Schedule schedule_{this, schedule};
  LV2_Feature mapFeature_{LV2_URID__map, &map_};
  LV2_Feature unmapFeature_{LV2_URID__unmap, &unmap_};
  LV2_Feature logFeature_{LV2_LOG__log, &log_};
  LV2_Feature scheduleFeature_{LV2_WORKER__schedule, &schedule_};
  LV2_Feature optionsFeature_{LV2_OPTIONS__options, nullptr};
  LV2_Feature boundedFeature_{LV2_BUF_SIZE__boundedBlockLength, nullptr};
  const LV2_Feature* features_[7] = {&mapFeature_,      &unmapFeature_,  &logFeature_, &scheduleFeature_,
                                     &optionsFeature_, &boundedFeature_, nullptr};
  std::vector<float> controls_;
  std::vector<AtomBuffer> atoms_;
  std::vector<uint32_t> atomOutputs_;
  std::vector<uint32_t> inputs_;
  std::vector<std::vector<float>> outputs_;
};

// ---- What runs -----------------------------------------------------------------

struct Row {
  const char* job;
  const char* name;  // as the table shows it
  const char* uri;
  const char* settingName;
  std::map<std::string, float> setting;
};

const char* const DEFAULTS = "defaults";

const std::vector<Row>& rows() {
  static const std::vector<Row> all = {
      {"granular delay", "`grainfall~`", "urn:tildefx:grainfall", DEFAULTS, {}},
      {"granular delay", "`grainfall~`", "urn:tildefx:grainfall", "time 250, density 120, grain size 40, feedback 60, "
       "reversal 35, octave variation 1",
       {{"time", 250}, {"density", 120}, {"grainSize", 40}, {"feedback", 60}, {"grainReversal", 35},
        {"octaveVariation", 1}}},
      {"granular delay", "ZamGrains", "urn:zamaudio:ZamGrains", DEFAULTS, {}},
      {"granular delay", "ZamGrains", "urn:zamaudio:ZamGrains", "8 grains, time 250", {{"grains", 8}, {"time", 250}}},
      {"modulated delay", "`echoloom~`", "urn:tildefx:echoloom", DEFAULTS, {}},
      {"modulated delay", "`echoloom~`", "urn:tildefx:echoloom", "two heads, triangle 10 % at 0.3 Hz, feedback 70, "
       "filter 3500 Hz",
       {{"heads", 2}, {"lfoShape", 1}, {"lfoDepth", 10}, {"lfoFreq", 0.3f}, {"feedback", 70}, {"filterFreq", 3500},
        {"resonance", 40}, {"time", 60}}},
      {"modulated delay", "MDA DubDelay", "http://drobilla.net/plugins/mda/DubDelay", DEFAULTS, {}},
      {"modulated delay", "MDA DubDelay", "http://drobilla.net/plugins/mda/DubDelay", "delay 0.3, feedback 0.6, LFO 0.3",
       {{"delay", 0.3f}, {"feedback", 0.6f}, {"lfo_depth", 0.3f}}},
      {"modulated delay", "SWH multivoice chorus", "http://plugin.org.uk/swh-plugins/multivoiceChorus", DEFAULTS, {}},
      {"modulated delay", "SWH multivoice chorus", "http://plugin.org.uk/swh-plugins/multivoiceChorus", "4 voices",
       {{"voices", 4}}},
      {"pitch shifter", "`tonewarp~`", "urn:tildefx:tonewarp", DEFAULTS, {}},
      {"pitch shifter", "`tonewarp~`", "urn:tildefx:tonewarp", "a fifth up, feedback 80",
       {{"pitchFactor", 19}, {"feedback", 80}}},
      {"pitch shifter", "SWH amPitchshift", "http://plugin.org.uk/swh-plugins/amPitchshift", DEFAULTS, {}},
      {"pitch shifter", "SWH amPitchshift", "http://plugin.org.uk/swh-plugins/amPitchshift", "a fifth up",
       {{"pitch", 1.5f}}},
      {"compressor", "`levelsway~`", "urn:tildefx:levelsway", DEFAULTS, {}},
      {"compressor", "`levelsway~`", "urn:tildefx:levelsway", "4:1 at -30 dB, soft knee 0.5, RMS",
       {{"ratio", 0.25f}, {"threshold", -30}, {"softKnee", 0.5f}, {"rmsDetect", 1}}},
      {"compressor", "SWH sc1", "http://plugin.org.uk/swh-plugins/sc1", DEFAULTS, {}},
      {"compressor", "SWH sc1", "http://plugin.org.uk/swh-plugins/sc1", "4:1 at -30 dB", {{"ratio", 4}, {"threshold", -30}}},
      {"compressor", "LSP compressor", "http://lsp-plug.in/plugins/lv2/compressor_mono", DEFAULTS, {}},
      {"compressor", "LSP compressor", "http://lsp-plug.in/plugins/lv2/compressor_mono", "4:1 at -30 dB",
       {{"cr", 4}, {"al", 0.0316f}}},
      {"bit crusher", "`bitgrind~`", "urn:tildefx:bitgrind", DEFAULTS, {}},
      {"bit crusher", "`bitgrind~`", "urn:tildefx:bitgrind", "5.5 bits, folding 3", {{"depth", 5.5f}, {"folds", 3}}},
      {"bit crusher", "SWH decimator", "http://plugin.org.uk/swh-plugins/decimator", DEFAULTS, {}},
      {"bit crusher", "SWH decimator", "http://plugin.org.uk/swh-plugins/decimator", "6 bits, rate 1/8",
       {{"bits", 6}, {"fs", 0.125f}}},
      {"bit crusher", "Calf Crusher", "http://calf.sourceforge.net/plugins/Crusher", DEFAULTS, {}},
      {"bit crusher", "Calf Crusher", "http://calf.sourceforge.net/plugins/Crusher", "6 bits, 8 samples",
       {{"bits", 6}, {"samples", 8}}},
      {"mid/side matrix", "`sidesplit~`", "urn:tildefx:sidesplit", DEFAULTS, {}},
      {"mid/side matrix", "`sidesplit~`", "urn:tildefx:sidesplit", "mid +3 dB, side -6 dB", {{"midGain", 3}, {"sideGain", -6}}},
      {"mid/side matrix", "SWH matrixStMS", "http://plugin.org.uk/swh-plugins/matrixStMS", DEFAULTS, {}},
      {"waveshaper", "`overtoner~`", "urn:tildefx:overtoner", DEFAULTS, {}},
      {"waveshaper", "`overtoner~`", "urn:tildefx:overtoner", "all six partials",
       {{"p1", -1}, {"p2", -6}, {"p3", -3}, {"p4", -12}, {"p5", -9}, {"p7", -20}}},
      {"waveshaper", "SWH harmonicGen", "http://plugin.org.uk/swh-plugins/harmonicGen", DEFAULTS, {}},
      {"waveshaper", "SWH harmonicGen", "http://plugin.org.uk/swh-plugins/harmonicGen", "partials 2 to 5 and 7",
       {{"mag_2", 0.5f}, {"mag_3", 0.3f}, {"mag_4", 0.2f}, {"mag_5", 0.1f}, {"mag_7", 0.1f}}},
  };
  return all;
}

std::string benchmark_name(size_t index) { return "BM_Lv2/" + std::to_string(index); }

void BM_Lv2(benchmark::State& state, const Row& row) {
  Plugin plugin(row.uri, row.setting);
  if (!plugin.ok()) {
    state.SkipWithError("cannot instantiate the plug-in");
    return;
  }
  const size_t length = music()[0].size() - BLOCK;
  size_t start = 0;
  // 1.5 s first, so that delays are full and settings have settled.
  for (; start < static_cast<size_t>(1.5 * RATE); start += BLOCK) plugin.run(start);
  for (auto _ : state) {
    plugin.run(start);
    benchmark::DoNotOptimize(plugin.output());
    start = start + 2 * BLOCK > length ? 0 : start + BLOCK;
  }
  state.counters["ns_per_frame"] = benchmark::Counter(static_cast<double>(state.iterations() * BLOCK) * 1e-9,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Keeps the median of each row's repetitions and writes them as a table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool kept = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median" : run.repetitions <= 1;
      if (kept) medians_[run.run_name.function_name] = run.counters.at("ns_per_frame");
    }
  }
  void write(const std::string& path) const {
    std::ofstream file(path);
    file << "| job | plug-in | setting | ns per frame |\n|---|---|---|---:|\n";
    for (size_t i = 0; i < rows().size(); i++) {
      const Row& row = rows()[i];
      const auto found = medians_.find(benchmark_name(i));
      char ns[32] = "not measured";
      if (found != medians_.end()) std::snprintf(ns, sizeof ns, "%.2f", static_cast<double>(found->second));
      file << "| " << row.job << " | " << row.name << " | " << row.settingName << " | " << ns << " |\n";
    }
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::string markdown = take_markdown_option(argc, argv);
  for (size_t i = 0; i < rows().size(); i++)
    benchmark::RegisterBenchmark(benchmark_name(i).c_str(), BM_Lv2, rows()[i])->MinTime(0.5);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  if (!markdown.empty()) reporter.write(markdown);
  return 0;
}
