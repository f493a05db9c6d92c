// lv2_port_table BUNDLE URI OBJECT OUT.cpp: reads the plug-in URI's ports
// from the bundle's Turtle and writes the C++ entry point of the object's
// LV2 plug-in, with its port table. Run by the build.
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

const char* const TILDEFX_NS = "urn:tildefx:lv2#";

struct Nodes {
  LilvNode* audio;
  LilvNode* control;
  LilvNode* atom;
  LilvNode* input;
  LilvNode* output;
  LilvNode* inlet;
  LilvNode* selectors;
  LilvNode* designation;
  LilvNode* latency;
};

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// "-1" or the port's tfx:inlet; "nullptr" or its tfx:selectors.
std::string property(const LilvPlugin* plugin, const LilvPort* port, const LilvNode* predicate, bool number) {
  LilvNodes* values = lilv_port_get_value(plugin, port, predicate);
  std::string text = number ? "-1" : "nullptr";
  if (values != nullptr && lilv_nodes_size(values) > 0) {
    const LilvNode* value = lilv_nodes_get_first(values);
    text = number ? std::to_string(lilv_node_as_int(value)) : quoted(lilv_node_as_string(value));
  }
  lilv_nodes_free(values);
  return text;
}

bool reports_latency(const LilvPlugin* plugin, const LilvPort* port, const Nodes& nodes) {
  LilvNode* designation = lilv_port_get(plugin, port, nodes.designation);
  const bool latency = designation != nullptr && lilv_node_equals(designation, nodes.latency);
  lilv_node_free(designation);
  return latency;
}

// One PortInfo initialiser, or an empty text for a port the adapter cannot serve.
std::string port_entry(const LilvPlugin* plugin, const LilvPort* port, const Nodes& nodes) {
  const std::string symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, port));
  const bool input = lilv_port_is_a(plugin, port, nodes.input);
  const bool output = lilv_port_is_a(plugin, port, nodes.output);
  std::string kind;
  float defaultValue = 0.0f;
  if (lilv_port_is_a(plugin, port, nodes.audio)) {
    kind = input ? "AudioIn" : output ? "AudioOut" : "";
  } else if (lilv_port_is_a(plugin, port, nodes.atom) && input) {
    kind = "Notes";
  } else if (lilv_port_is_a(plugin, port, nodes.control) && input) {
    kind = "Control";
    LilvNode* value = nullptr;
    lilv_port_get_range(plugin, port, &value, nullptr, nullptr);
    if (value == nullptr) return "";
    defaultValue = lilv_node_as_float(value);
    lilv_node_free(value);
  } else if (lilv_port_is_a(plugin, port, nodes.control) && output && reports_latency(plugin, port, nodes)) {
    kind = "Latency";
  }
  if (kind.empty()) return "";
  char defaultText[64];
  std::snprintf(defaultText, sizeof defaultText, "%af", static_cast<double>(defaultValue));
  return "    {lv2_host::PortKind::" + kind + ", " + quoted(symbol) + ", " +
         property(plugin, port, nodes.inlet, true) + ", " + property(plugin, port, nodes.selectors, false) +
         ", " + defaultText + "},\n";
}

bool write_entry(const LilvPlugin* plugin, const Nodes& nodes, const std::string& object,
                 const std::string& path) {
  std::string table;
  const uint32_t count = lilv_plugin_get_num_ports(plugin);
  for (uint32_t i = 0; i < count; i++) {
    const std::string entry = port_entry(plugin, lilv_plugin_get_port_by_index(plugin, i), nodes);
    if (entry.empty()) {
      std::fprintf(stderr, "lv2_port_table: %s: port %u is neither audio, a control input, a note input nor the latency\n",
                   object.c_str(), i);
      return false;
    }
    table += entry;
  }
  const std::string uri = lilv_node_as_uri(lilv_plugin_get_uri(plugin));
  std::ofstream out(path);
  out << "// Made by lv2_port_table from the bundle's Turtle: the ports of " << object
      << "\n// and the entry point of its LV2 plug-in.\n"
      << "#include \"lv2_host.h\"\n\nint main();\n\nnamespace {\n"
      << "const lv2_host::PortInfo PORTS[] = {\n" << table << "};\n"
      << "const lv2_host::ObjectInfo OBJECT = {" << quoted(object) << ", " << quoted(uri) << ", PORTS, " << count
      << "};\n}  // namespace\n\n"
      << "extern \"C\" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {\n"
      << "  return lv2_host::descriptor(index, OBJECT, main);\n}\n";
  out.close();
  if (!out) std::fprintf(stderr, "lv2_port_table: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: lv2_port_table BUNDLE URI OBJECT OUT.cpp\n");
    return 2;
  }
  LilvWorld* world = lilv_world_new();
  std::string bundle = argv[1];
  if (bundle.empty() || bundle.back() != '/') bundle += '/';
  LilvNode* bundleUri = lilv_new_file_uri(world, nullptr, bundle.c_str());
  lilv_world_load_bundle(world, bundleUri);
  LilvNode* pluginUri = lilv_new_uri(world, argv[2]);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), pluginUri);
  Nodes nodes = {lilv_new_uri(world, LILV_URI_AUDIO_PORT),   lilv_new_uri(world, LILV_URI_CONTROL_PORT),
                 lilv_new_uri(world, LILV_URI_ATOM_PORT),    lilv_new_uri(world, LILV_URI_INPUT_PORT),
                 lilv_new_uri(world, LILV_URI_OUTPUT_PORT),
                 lilv_new_uri(world, (std::string(TILDEFX_NS) + "inlet").c_str()),
                 lilv_new_uri(world, (std::string(TILDEFX_NS) + "selectors").c_str()),
                 lilv_new_uri(world, LV2_CORE__designation),    lilv_new_uri(world, LV2_CORE__latency)};
  bool written = false;
  if (plugin == nullptr)
    std::fprintf(stderr, "lv2_port_table: no plug-in %s in %s\n", argv[2], bundle.c_str());
  else
    written = write_entry(plugin, nodes, argv[3], argv[4]);
  for (LilvNode* node : {nodes.audio, nodes.control, nodes.atom, nodes.input, nodes.output, nodes.inlet,
                         nodes.selectors, nodes.designation, nodes.latency, pluginUri, bundleUri})
    lilv_node_free(node);
  lilv_world_free(world);
  return written ? 0 : 1;
}
