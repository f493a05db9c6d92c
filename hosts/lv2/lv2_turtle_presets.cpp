// A plug-in's demo preset: the settings its object's demo starts with
// (DEMO_MESSAGES in objects/NAME/demo.sh), as control values.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "lv2_turtle.h"

namespace lv2_turtle {

namespace {

using tildefx::Parameter;
using tildefx::Route;

bool read_number(const std::string& text, float& value) {
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  value = static_cast<float>(number);
  return !text.empty() && *end == '\0';
}

bool all_numbers(const std::vector<std::string>& words) {
  float value = 0.0f;
  for (const std::string& word : words)
    if (!read_number(word, value)) return false;
  return true;
}

// The parameter a message sets and the value it gives it: "time 250",
// "2: -6" (float inlet 2), "12tet" (a choice's name). Null for a note list,
// which is no control's.
const Parameter* parameter_of(const tildefx::Description& description, const std::string& message, float& value) {
  std::istringstream stream(message);
  std::vector<std::string> words;
  for (std::string word; stream >> word;) words.push_back(word);
  if (!words.empty() && all_numbers(words)) return nullptr;
  for (int i = 0; i < description.parameterCount; i++) {
    const Parameter& parameter = description.parameters[i];
    if (parameter.route == Route::ChoiceNames && words.size() == 1) {
      for (int k = 0; k < parameter.choices.count; k++) {
        value = static_cast<float>(parameter.minimum + k);
        if (words[0] == parameter.choices.names[k]) return &parameter;
      }
    }
    const std::string address =
        parameter.route == Route::FloatInlet ? std::to_string(parameter.inlet) + ":" : parameter.name;
    if (parameter.route != Route::ChoiceNames && words.size() == 2 && words[0] == address &&
        read_number(words[1], value))
      return &parameter;
  }
  fail("the demo message '" + message + "' sets no parameter of the description");
}

}  // namespace

std::map<std::string, std::vector<std::string>> read_demo_messages(const std::string& path) {
  std::ifstream in(path);
  if (!in) fail("cannot read " + path);
  std::map<std::string, std::vector<std::string>> messages;
  for (std::string line; std::getline(in, line);) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) fail("not a NAME<tab>MESSAGE line in " + path + ": " + line);
    messages[line.substr(0, tab)].push_back(line.substr(tab + 1));
  }
  return messages;
}

std::string preset_uri(const std::string& pluginUri) { return pluginUri + ":demo"; }

std::string preset_turtle(const std::string& pluginUri, const tildefx::Description& description,
                          const std::vector<std::string>& messages) {
  std::vector<float> values;
  for (int i = 0; i < description.parameterCount; i++) values.push_back(tildefx::resting_float(description.parameters[i]));
  for (const std::string& message : messages) {
    float value = 0.0f;
    const Parameter* parameter = parameter_of(description, message, value);
    if (parameter == nullptr) continue;
    if (!(value >= tildefx::lowest_float(*parameter) && value <= tildefx::highest_float(*parameter)))
      fail("the demo message '" + message + "' is out of range");
    values[static_cast<size_t>(parameter - description.parameters)] = value;
  }
  std::string ports;
  for (int i = 0; i < description.parameterCount; i++)
    ports += std::string(i == 0 ? "[\n" : " , [\n") + "\t\tlv2:symbol \"" + description.parameters[i].name +
             "\" ;\n\t\tpset:value " + float_text(values[static_cast<size_t>(i)]) + "\n\t]";
  const std::string comment = std::string("The settings the object's demo starts with") +
                              (description.noteLists ? "; the notes it holds are not part of them." : ".");
  return "<" + preset_uri(pluginUri) + ">\n\ta pset:Preset ;\n\tlv2:appliesTo <" + pluginUri +
         "> ;\n\trdfs:label \"Demo\" ;\n\trdfs:comment \"" + comment + "\" ;\n\tlv2:port " + ports + " .\n";
}

}  // namespace lv2_turtle
