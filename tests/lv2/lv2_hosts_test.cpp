// The plug-ins in real LV2 hosts. ecasound renders every object with all
// its controls set, at its own cycle length, which it cuts short at the end
// of the file: the same bits as tildefx render at the internal block length
// (64: ecasound states none), as late as the FIFO makes them. (ecasound
// clips what it writes to -1 to 1, so the input is quiet enough for every
// setting to stay inside.) jalv, on a
// JACK server of the test's own with the dummy backend, loads all seven
// headless, runs them (a refused value comes back as the plug-in's trace),
// reports their latency, and loads a preset.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "lv2_reference.h"
#include "lv2_world.h"

namespace {

const size_t LENGTH = 30000;  // not a whole number of ecasound's cycles

// A working setting of every control, in port order.
const std::vector<std::pair<std::string, std::vector<float>>> SETTINGS = {
    {"grainfall", {250, 8, 60, 4000, 30, 120, 40, 40, 0, 1.2f, 35, 0}},
    {"echoloom", {60, 70, 0.3f, 10, 1, 90, 3500, 40, 1, 0, 2}},
    {"tonewarp", {250, 19, 80, -1, 40}},
    {"levelsway", {0.25f, -30, 1, 300, 0.5f, 12, 1}},
    {"bitgrind", {8.5f, 2}},
    {"sidesplit", {-6, 6, 1}},
    {"overtoner", {-3, 0, -6, -10, -20, -3}}};

TEST(Ecasound, RendersAsTildefxDoes) {
  const std::string folder = test_folder();
  for (const auto& [object, values] : SETTINGS) {
    const std::vector<ControlPort> ports = control_ports(object);
    ASSERT_EQ(ports.size(), values.size()) << object;
    const int channels = object == "sidesplit" ? 2 : 1;
    const std::string in = folder + "/" + object + "-in.wav";
    Channels input = test_input(channels, LENGTH, 256);
    for (std::vector<float>& channel : input)
      for (float& sample : channel) sample *= 0.25f;
    write_wav(in, input);
    std::string render = TILDEFX_TOOL " render --quiet --block 64 " + object + "~ " + in + " " + folder + "/render.wav";
    std::string effect = "-elv2:urn:tildefx:" + object;
    for (size_t p = 0; p < ports.size(); p++) {
      render += " '" + message_for(ports[p], values[p]) + "'";
      effect += "," + number_text(values[p]);
    }
    const CommandRun rendered = run_command(render);
    ASSERT_EQ(rendered.status, 0) << rendered.output;
    const Channels expected = late(read_wav(folder + "/render.wav"), fifo_latency(object, 64));
    for (int cycle : {1024, 100}) {
      const std::string out = folder + "/" + object + "-" + std::to_string(cycle) + ".wav";
      const std::string format = "-f:f32_le," + std::to_string(channels) + ",44100";
      const CommandRun applied = run_command(lv2_command("ecasound -q -b:" + std::to_string(cycle) + " " + format +
                                                         " -i " + in + " " + format + " -o " + out + " " + effect));
      ASSERT_EQ(applied.status, 0) << applied.output;
      EXPECT_EQ(applied.output.find("value must be"), std::string::npos) << applied.output;
      EXPECT_EQ(first_difference(expected, read_wav(out)), "") << object << " in cycles of " << cycle;
    }
  }
}

// A JACK server with the dummy backend, for the length of the test suite.
class Jalv : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = "tildefx-test-" + std::to_string(getpid());
    jackd_ = fork();
    if (jackd_ == 0) {
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      execlp("jackd", "jackd", "-n", server_.c_str(), "-r", "-d", "dummy", "-r", "44100", "-p", "256", nullptr);
      _exit(127);
    }
    run_command("JACK_DEFAULT_SERVER=" + server_ + " jack_wait -w -t 10");
  }
  static void TearDownTestSuite() {
    if (jackd_ > 0) {
      kill(jackd_, SIGTERM);
      waitpid(jackd_, nullptr, 0);
    }
  }

  // jalv's console output for the commands, each line after a pause that
  // lets the plug-in run some cycles.
  static CommandRun jalv(const std::string& uri, const std::vector<std::string>& commands,
                         const std::string& extraPath = "") {
    std::string input = "(";
    for (const std::string& command : commands) input += "sleep 0.3; echo '" + command + "'; ";
    input += "sleep 0.3)";
    return run_command(input + " | " +
                       lv2_command("JACK_DEFAULT_SERVER=" + server_ + " timeout 20 jalv -t -n tildefx-test " + uri,
                                   extraPath));
  }

  static std::string server_;
  static pid_t jackd_;
};
std::string Jalv::server_;
pid_t Jalv::jackd_ = -1;

TEST_F(Jalv, LoadsAndRunsEveryObject) {
  const std::vector<std::pair<std::string, std::string>> refusals = {
      {"grainfall", "time value must be >= 1.0 ms and <= 10000.0 ms."},
      {"echoloom", "time value must be >= 1.0 ms and <= 5000.0 ms."},
      {"tonewarp", "time value must be >= 1.0 ms and <= 5000.0 ms."},
      {"levelsway", "attack value must be >= 1.0ms and <= 100.0ms."},
      {"bitgrind", "depth value must be >= 1.0 and <= 24.0."},
      {"sidesplit", "value must be >= -12.0dB and <= 12.0dB."},
      {"overtoner", "value must be >= -60.0dB and <= 0.0dB."}};
  for (const auto& [object, refusal] : refusals) {
    const std::string symbol = control_ports(object)[object == "levelsway" ? 2 : 0].symbol;
    const CommandRun run = jalv("urn:tildefx:" + object, {"set " + symbol + " 100000", "monitors"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("error: " + object + "~: " + refusal), std::string::npos) << run.output;
    const size_t latency = fifo_latency(object, 64) + own_latency(object, 64);
    EXPECT_NE(run.output.find("latency = " + std::to_string(latency) + ".000000"), std::string::npos) << run.output;
  }
}

TEST_F(Jalv, LoadsAPreset) {
  const std::string bundle = test_folder() + "/presets.lv2";
  ASSERT_EQ(run_command("mkdir -p " + bundle).status, 0);
  const std::string prefixes =
      "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
      "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
  std::ofstream(bundle + "/manifest.ttl")
      << prefixes << "<urn:tildefx:test:preset> a pset:Preset ; lv2:appliesTo <urn:tildefx:echoloom> ;\n"
      << "  rdfs:seeAlso <preset.ttl> .\n";
  std::ofstream(bundle + "/preset.ttl")
      << prefixes << "<urn:tildefx:test:preset> a pset:Preset ; lv2:appliesTo <urn:tildefx:echoloom> ;\n"
      << "  rdfs:label \"Short and swaying\" ;\n"
      << "  lv2:port [ lv2:symbol \"time\" ; pset:value 60.0 ] , [ lv2:symbol \"lfoDepth\" ; pset:value 30.0 ] ,\n"
      << "    [ lv2:symbol \"heads\" ; pset:value 2.0 ] .\n";
  const CommandRun run = jalv("urn:tildefx:echoloom", {"presets", "preset urn:tildefx:test:preset", "controls"},
                              bundle.substr(0, bundle.rfind('/')));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("urn:tildefx:test:preset (Short and swaying)"), std::string::npos) << run.output;
  const size_t controls = run.output.rfind("time = ");
  ASSERT_NE(controls, std::string::npos) << run.output;
  for (const char* line : {"time = 60.000000", "lfoDepth = 30.000000", "heads = 2.000000"})
    EXPECT_NE(run.output.find(line, controls), std::string::npos) << line << "\n" << run.output;
  EXPECT_EQ(run.output.find("error:"), std::string::npos) << run.output;
}

}  // namespace
