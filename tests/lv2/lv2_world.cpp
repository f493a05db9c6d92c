#include "lv2_world.h"

#include <gtest/gtest.h>

#include <lv2/buf-size/buf-size.h>
#include <lv2/log/log.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/presets/presets.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

LilvWorld* world() {
  static LilvWorld* loaded = [] {
    LilvWorld* w = lilv_world_new();
    LilvNode* bundle = lilv_new_file_uri(w, nullptr, TILDEFX_LV2_BUNDLE);
    lilv_world_load_bundle(w, bundle);
    lilv_node_free(bundle);
    return w;
  }();
  return loaded;
}

LilvNode* uri_node(const char* uri) { return lilv_new_uri(world(), uri); }

bool port_is(const LilvPlugin* plugin, const LilvPort* port, const char* classUri) {
  LilvNode* node = uri_node(classUri);
  const bool is = lilv_port_is_a(plugin, port, node);
  lilv_node_free(node);
  return is;
}

std::string port_value(const LilvPlugin* plugin, const LilvPort* port, const char* predicateUri) {
  LilvNode* predicate = uri_node(predicateUri);
  LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
  std::string text = values != nullptr && lilv_nodes_size(values) > 0
                         ? lilv_node_as_string(lilv_nodes_get_first(values)) : "";
  lilv_nodes_free(values);
  lilv_node_free(predicate);
  return text;
}

thread_local int hostCallbacks = 0;
thread_local bool pluginRunning = false;

// Marks a call back into the host while it lives.
struct HostCallback {
  HostCallback() { hostCallbacks++; }
  ~HostCallback() { hostCallbacks--; }
};

}  // namespace

std::string number_text(float value) {
  std::ostringstream text;
  text.precision(17);
  text << static_cast<double>(value);
  return text.str();
}

bool in_plugin_run() { return pluginRunning && hostCallbacks == 0; }

std::string message_for(const ControlPort& port, float value) {
  if (!port.selectors.empty()) return port.selectors.at(static_cast<size_t>(value));
  if (port.inlet >= 0) return std::to_string(port.inlet) + ": " + number_text(value);
  return port.symbol + " " + number_text(value);
}

std::string lv2_command(const std::string& command, const std::string& extraPath) {
  std::string environment = "LV2_PATH=" TILDEFX_LV2_DIR + (extraPath.empty() ? "" : ":" + extraPath) + " ";
  if (std::string(TILDEFX_LV2_PRELOAD) != "")
    environment += "LD_PRELOAD='" TILDEFX_LV2_PRELOAD "' ASAN_OPTIONS=detect_leaks=0 ";
  return environment + command;
}

const LilvPlugin* find_plugin(const std::string& object) {
  LilvNode* uri = uri_node(("urn:tildefx:" + object).c_str());
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world()), uri);
  lilv_node_free(uri);
  return plugin;
}

std::vector<std::string> all_objects() {
  std::vector<std::string> objects;
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world());
  LILV_FOREACH(plugins, i, plugins) {
    const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(lilv_plugins_get(plugins, i)));
    objects.push_back(uri.substr(uri.rfind(':') + 1));
  }
  return objects;
}

std::vector<ControlPort> control_ports(const std::string& object) {
  std::vector<ControlPort> ports;
  const LilvPlugin* plugin = find_plugin(object);
  if (plugin == nullptr) return ports;
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); i++) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    if (!port_is(plugin, port, LILV_URI_CONTROL_PORT) || !port_is(plugin, port, LILV_URI_INPUT_PORT)) continue;
    ControlPort control;
    control.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
    LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
    lilv_port_get_range(plugin, port, &def, &min, &max);
    control.defaultValue = lilv_node_as_float(def);
    control.minimum = lilv_node_as_float(min);
    control.maximum = lilv_node_as_float(max);
    lilv_node_free(def);
    lilv_node_free(min);
    lilv_node_free(max);
    const std::string inlet = port_value(plugin, port, "urn:tildefx:lv2#inlet");
    control.inlet = inlet.empty() ? -1 : std::stoi(inlet);
    std::istringstream selectors(port_value(plugin, port, "urn:tildefx:lv2#selectors"));
    for (std::string word; selectors >> word;) control.selectors.push_back(word);
    LilvNode* integer = uri_node(LV2_CORE__integer);
    control.integer = lilv_port_has_property(plugin, port, integer);
    lilv_node_free(integer);
    LilvScalePoints* points = lilv_port_get_scale_points(plugin, port);
    std::map<float, std::string> labels;
    LILV_FOREACH(scale_points, p, points) {
      const LilvScalePoint* point = lilv_scale_points_get(points, p);
      labels[lilv_node_as_float(lilv_scale_point_get_value(point))] = lilv_node_as_string(lilv_scale_point_get_label(point));
    }
    lilv_scale_points_free(points);
    for (const auto& label : labels) control.labels.push_back(label.second);
    control.hasUnit = !port_value(plugin, port, LV2_UNITS__unit).empty();
    ports.push_back(control);
  }
  return ports;
}

// The host's side: a URID map and a log that keeps every line; options
// and a worker that keeps its jobs, when offered.
struct Lv2Instance::Host {
  std::map<std::string, LV2_URID> uris;
  std::vector<std::string> lines;
  std::vector<std::vector<uint8_t>> jobs;
  int32_t nominalBlockLength = 0;
  int32_t maxBlockLength = 4096;
  LV2_URID_Map map{this, map_uri};
  LV2_Log_Log log{this, log_printf, log_vprintf};
  LV2_Worker_Schedule schedule{this, schedule_work};
  LV2_Options_Option options[3] = {};
  LV2_Feature mapFeature{LV2_URID__map, &map};
  LV2_Feature logFeature{LV2_LOG__log, &log};
  LV2_Feature scheduleFeature{LV2_WORKER__schedule, &schedule};
  LV2_Feature optionsFeature{LV2_OPTIONS__options, options};
  std::vector<const LV2_Feature*> features = {&mapFeature, &logFeature};

  explicit Host(HostOffer offer) {
    if (offer.nominalBlockLength > 0) {
      nominalBlockLength = offer.nominalBlockLength;
      const LV2_URID intType = map_uri(this, LV2_ATOM__Int);
      options[0] = {LV2_OPTIONS_INSTANCE, 0, map_uri(this, LV2_BUF_SIZE__nominalBlockLength), sizeof(int32_t),
                    intType, &nominalBlockLength};
      options[1] = {LV2_OPTIONS_INSTANCE, 0, map_uri(this, LV2_BUF_SIZE__maxBlockLength), sizeof(int32_t), intType,
                    &maxBlockLength};
      features.push_back(&optionsFeature);
    }
    if (offer.worker) features.push_back(&scheduleFeature);
    features.push_back(nullptr);
    jobs.reserve(1024);
  }

  static LV2_URID map_uri(LV2_URID_Map_Handle handle, const char* uri) {
    HostCallback callback;
    auto& uris = static_cast<Host*>(handle)->uris;
    auto found = uris.find(uri);
    if (found != uris.end()) return found->second;
    const LV2_URID id = static_cast<LV2_URID>(uris.size() + 1);
    uris[uri] = id;
    return id;
  }
  static int log_vprintf(LV2_Log_Handle handle, LV2_URID type, const char* format, va_list arguments) {
    HostCallback callback;
    Host* host = static_cast<Host*>(handle);
    char text[1024];
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    std::string line = text;
    if (!line.empty() && line.back() == '\n') line.pop_back();
    // Only traces may be logged from the audio thread.
    if (pluginRunning && type != map_uri(handle, LV2_LOG__Trace)) line = "not a trace: " + line;
    host->lines.push_back(line);
    return length;
  }
  static int log_printf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = log_vprintf(handle, type, format, arguments);
    va_end(arguments);
    return length;
  }
  static LV2_Worker_Status schedule_work(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
    HostCallback callback;
    const auto* bytes = static_cast<const uint8_t*>(data);
    static_cast<Host*>(handle)->jobs.emplace_back(bytes, bytes + size);
    return LV2_WORKER_SUCCESS;
  }
};

Lv2Instance::Lv2Instance(const std::string& object, HostOffer offer)
    : plugin_(find_plugin(object)), host_(new Host(offer)) {
  if (plugin_ == nullptr) return;
  instance_ = lilv_plugin_instantiate(plugin_, 44100.0, host_->features.data());
  if (instance_ == nullptr) return;
  const uint32_t count = lilv_plugin_get_num_ports(plugin_);
  controls_.assign(count, 0.0f);
  for (uint32_t i = 0; i < count; i++) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    const bool input = port_is(plugin_, port, LILV_URI_INPUT_PORT);
    if (port_is(plugin_, port, LILV_URI_AUDIO_PORT)) {
      (input ? audioIn_ : audioOut_).push_back(i);
    } else if (port_is(plugin_, port, LILV_URI_ATOM_PORT)) {
      notesPort_ = static_cast<int>(i);
    } else if (!input) {
      lilv_instance_connect_port(instance_, i, &latency_);
    } else {
      LilvNode* def = nullptr;
      lilv_port_get_range(plugin_, port, &def, nullptr, nullptr);
      controls_[i] = lilv_node_as_float(def);
      lilv_node_free(def);
      lilv_instance_connect_port(instance_, i, &controls_[i]);
    }
  }
  notes_.assign(4096 + 4, 0);
  notesStart_ = offer.misalignedNotes ? 4 : 0;
  lv2_atom_forge_init(&forge_, &host_->map);
  if (notesPort_ >= 0)
    lilv_instance_connect_port(instance_, static_cast<uint32_t>(notesPort_), notes_.data() + notesStart_);
  lv2_atom_forge_set_buffer(&forge_, notes_.data() + notesStart_, 4096);
  lv2_atom_forge_sequence_head(&forge_, &frame_, 0);
  lilv_instance_activate(instance_);
}

Lv2Instance::~Lv2Instance() {
  if (instance_ == nullptr) return;
  lilv_instance_deactivate(instance_);
  lilv_instance_free(instance_);
}

void Lv2Instance::set(const std::string& symbol, float value) {
  LilvNode* node = lilv_new_string(world(), symbol.c_str());
  const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin_, node);
  lilv_node_free(node);
  ASSERT_NE(port, nullptr) << symbol;
  controls_[lilv_port_get_index(plugin_, port)] = value;
}

void Lv2Instance::midi(uint8_t status, uint8_t note, uint8_t velocity, int64_t frame) {
  const uint8_t message[3] = {status, note, velocity};
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_atom(&forge_, sizeof message, Host::map_uri(host_.get(), LV2_MIDI__MidiEvent));
  lv2_atom_forge_write(&forge_, message, sizeof message);
}

Channels Lv2Instance::run(const Channels& input, const std::vector<int>& cycleLengths,
                          const std::function<void(size_t, size_t)>& beforeCycle) {
  const size_t length = input.empty() ? 0 : input[0].size();
  Channels output(audioOut_.size(), std::vector<float>(length, 0.0f));
  Channels in = input;  // the plug-in may not write its inputs, but lilv takes them as void*
  size_t start = 0;
  for (size_t cycle = 0; start < length; cycle++) {
    if (beforeCycle) beforeCycle(cycle, start);
    const size_t n = std::min(length - start, static_cast<size_t>(cycleLengths[cycle % cycleLengths.size()]));
    for (size_t c = 0; c < audioIn_.size(); c++) lilv_instance_connect_port(instance_, audioIn_[c], &in[c][start]);
    for (size_t c = 0; c < audioOut_.size(); c++)
      lilv_instance_connect_port(instance_, audioOut_[c], &output[c][start]);
    pluginRunning = true;
    lilv_instance_run(instance_, static_cast<uint32_t>(n));
    pluginRunning = false;
    // The notes went with this run: start an empty sequence for the next.
    lv2_atom_forge_set_buffer(&forge_, notes_.data() + notesStart_, 4096);
    lv2_atom_forge_sequence_head(&forge_, &frame_, 0);
    start += n;
  }
  return output;
}

size_t Lv2Instance::run_work() {
  const auto* worker =
      static_cast<const LV2_Worker_Interface*>(lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
  std::vector<std::vector<uint8_t>> jobs;
  jobs.swap(host_->jobs);
  host_->jobs.reserve(1024);
  for (const std::vector<uint8_t>& job : jobs)
    worker->work(lilv_instance_get_handle(instance_), nullptr, nullptr, static_cast<uint32_t>(job.size()), job.data());
  return jobs.size();
}

std::vector<std::string> Lv2Instance::log() {
  std::vector<std::string> lines;
  lines.swap(host_->lines);
  return lines;
}


namespace {
void keep_port_value(const char* symbol, void* values, const void* value, uint32_t size, uint32_t /*type*/) {
  if (size == sizeof(float)) (*static_cast<std::map<std::string, float>*>(values))[symbol] = *static_cast<const float*>(value);
}
}  // namespace

std::vector<std::map<std::string, float>> preset_values(const std::string& object) {
  std::vector<std::map<std::string, float>> presets;
  const LilvPlugin* plugin = find_plugin(object);
  if (plugin == nullptr) return presets;
  Lv2Instance::Host host(HostOffer{});
  LilvNode* presetClass = uri_node(LV2_PRESETS__Preset);
  LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
  LILV_FOREACH(nodes, i, related) {
    const LilvNode* preset = lilv_nodes_get(related, i);
    lilv_world_load_resource(world(), preset);
    LilvState* state = lilv_state_new_from_world(world(), &host.map, preset);
    if (state == nullptr) continue;
    std::map<std::string, float> values;
    lilv_state_emit_port_values(state, keep_port_value, &values);
    presets.push_back(values);
    lilv_state_free(state);
  }
  lilv_nodes_free(related);
  lilv_node_free(presetClass);
  return presets;
}
