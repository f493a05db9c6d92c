// lv2_turtle TEMPLATE DEMO_MESSAGES MINOR MICRO BUNDLE ENTRIES: writes the
// bundle's Turtle from the objects' descriptions (manifest.ttl, and one
// NAME.ttl per object: the plug-in made from TEMPLATE, its ports and its
// demo preset) and each plug-in's entry point with its port table
// (ENTRIES/NAME_lv2_entry.cpp). Run by the build.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "lv2_host.h"
#include "lv2_turtle.h"
#include "object_descriptions.h"

namespace lv2_turtle {

namespace {

struct Versions {
  std::string minor, micro;
};

// "grainfall~" without its "~".
std::string base_name(const std::string& object) { return object.substr(0, object.find('~')); }

std::string uri(const std::string& object) { return "urn:tildefx:" + base_name(object); }

const char* plugin_class(tildefx::Category category) {
  switch (category) {
    case tildefx::Category::Delay: return "lv2:DelayPlugin";
    case tildefx::Category::Pitch: return "lv2:PitchPlugin";
    case tildefx::Category::Dynamics: return "lv2:DynamicsPlugin";
    case tildefx::Category::Distortion: return "lv2:DistortionPlugin";
    case tildefx::Category::Utility: return "lv2:UtilityPlugin";
    case tildefx::Category::Waveshaper: return "lv2:WaveshaperPlugin";
  }
  return "lv2:Plugin";
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  if (!in) fail("cannot read " + path);
  return text.str();
}

void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  out.close();
  if (!out) fail("cannot write " + path);
}

// The template with each @KEY@ replaced; every key must be there.
std::string fill(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values) {
    const std::string placeholder = "@" + key + "@";
    size_t at = text.find(placeholder);
    if (at == std::string::npos) fail("the template has no " + placeholder);
    for (; at != std::string::npos; at = text.find(placeholder, at + value.size()))
      text.replace(at, placeholder.size(), value);
  }
  return text;
}

std::string plugin_turtle(const std::string& templateText, const std::string& object,
                          const tildefx::Description& description, const Versions& versions) {
  const std::vector<Port> ports = ports_of(description);
  std::string portText;
  for (size_t i = 0; i < ports.size(); i++)
    portText += std::string(i == 0 ? "[\n" : " , [\n") + port_turtle(ports[i], static_cast<uint32_t>(i)) + "\n\t]";
  return fill(templateText, {{"NAME", object},
                             {"OBJECT", base_name(object)},
                             {"URI", uri(object)},
                             {"CLASS", plugin_class(description.category)},
                             {"SUMMARY", description.summary},
                             {"MINOR_VERSION", versions.minor},
                             {"MICRO_VERSION", versions.micro},
                             {"PORTS", portText}});
}

// Every plug-in, and its preset where it has one.
std::string manifest(const std::map<std::string, std::vector<std::string>>& demoMessages) {
  std::string text =
      "# The objects of tildefx, one plug-in library each, and their presets.\n"
      "# Made by the build from the object list.\n"
      "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
      "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS) {
    const std::string name = base_name(entry.name);
    text += "<" + uri(entry.name) + "> a lv2:Plugin ; lv2:binary <" + name + ".so> ; rdfs:seeAlso <" + name +
            ".ttl> , <tildefx.ttl> .\n";
    if (demoMessages.count(entry.name) != 0)
      text += "<" + preset_uri(uri(entry.name)) + "> a pset:Preset ; lv2:appliesTo <" + uri(entry.name) +
              "> ; rdfs:seeAlso <" + name + ".ttl> .\n";
  }
  return text;
}

std::string entry_point(const std::string& object, const tildefx::Description& description) {
  const std::vector<Port> ports = ports_of(description);
  std::string table;
  for (const Port& port : ports) table += "    " + port_info(port) + ",\n";
  return "// Made by lv2_turtle from the description of " + object +
         ": its ports and the\n// entry point of its LV2 plug-in.\n"
         "#include \"lv2_host.h\"\n\nint main();\n\nnamespace {\n"
         "const lv2_host::PortInfo PORTS[] = {\n" + table + "};\n"
         "const lv2_host::ObjectInfo OBJECT = {\"" + object + "\", \"" + uri(object) + "\", PORTS, " +
         std::to_string(ports.size()) + ", " + (description.anyBlockLength ? "true" : "false") + ", " +
         std::to_string(description.history) + "};\n}  // namespace\n\n"
         "extern \"C\" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {\n"
         "  return lv2_host::descriptor(index, OBJECT, main);\n}\n";
}

}  // namespace

void fail(const std::string& reason) {
  std::fprintf(stderr, "lv2_turtle: %s\n", reason.c_str());
  std::exit(1);
}

}  // namespace lv2_turtle

int main(int argc, char** argv) {
  using namespace lv2_turtle;
  if (argc != 7) {
    std::fprintf(stderr, "usage: lv2_turtle TEMPLATE DEMO_MESSAGES MINOR MICRO BUNDLE ENTRIES\n");
    return 2;
  }
  const std::string templateText = read_file(argv[1]);
  const std::map<std::string, std::vector<std::string>> demoMessages = read_demo_messages(argv[2]);
  const Versions versions = {argv[3], argv[4]};
  const std::string bundle = argv[5];
  const std::string entries = argv[6];
  for (const tildefx::NamedDescription& entry : OBJECT_DESCRIPTIONS) {
    const std::string object = entry.name;
    std::string turtle = plugin_turtle(templateText, object, *entry.description, versions);
    const auto demo = demoMessages.find(object);
    if (demo != demoMessages.end()) turtle += "\n" + preset_turtle(uri(object), *entry.description, demo->second);
    write_file(bundle + "/" + base_name(object) + ".ttl", turtle);
    write_file(entries + "/" + base_name(object) + "_lv2_entry.cpp", entry_point(object, *entry.description));
  }
  write_file(bundle + "/manifest.ttl", manifest(demoMessages));
  return 0;
}
