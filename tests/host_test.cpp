// The stand-in host: loading, message dispatch, bad input, the signal chain.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <iterator>

#include "object_list.h"
#include "overtoner/overtoner.h"
#include "rig.h"
#include "sidesplit/sidesplit.h"

namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> console_lines() {
  std::vector<std::string> lines;
  for (const auto& line : standin::take_console_lines()) lines.push_back(standin::format_console_line(line));
  return lines;
}

TEST(HostMessages, ParsesMessageBoxTexts) {
  standin::Message message;
  std::string errorText;
  ASSERT_TRUE(standin::parse_message("time 500", message, errorText));
  EXPECT_EQ(message.inlet, 0);
  EXPECT_EQ(message.selector, "time");
  ASSERT_EQ(message.arguments.size(), 1u);
  EXPECT_TRUE(message.arguments[0].isInteger);
  EXPECT_EQ(message.arguments[0].number, 500.0);

  ASSERT_TRUE(standin::parse_message("2: -6", message, errorText));
  EXPECT_EQ(message.inlet, 2);
  EXPECT_EQ(message.selector, "int");
  ASSERT_TRUE(standin::parse_message("1:60 100", message, errorText));
  EXPECT_EQ(message.inlet, 1);
  EXPECT_EQ(message.selector, "list");
  EXPECT_EQ(message.arguments.size(), 2u);
  ASSERT_TRUE(standin::parse_message("0.5", message, errorText));
  EXPECT_EQ(message.selector, "float");
  ASSERT_TRUE(standin::parse_message("12tet", message, errorText));
  EXPECT_EQ(message.selector, "12tet");
  EXPECT_TRUE(message.arguments.empty());

  EXPECT_FALSE(standin::parse_message("   ", message, errorText));
  EXPECT_FALSE(standin::parse_message("3:", message, errorText));
}

TEST(HostMessages, BadInputGetsAConsoleLineAndChangesNothing) {
  Rig rig("overtoner~");
  rig.send("p2 -6");
  const float level = rig.record<Overtoner>().level2;
  rig.send("foo 1");
  rig.send("p2");
  rig.send("p2 loud");
  rig.send("p2 -3 -4");
  rig.send("p2 nan");
  rig.send("p2 inf");
  rig.send("p2 -inf");
  rig.send("dsp");
  rig.send("assist 1");
  rig.send("0.5");
  rig.send("1: 3");
  EXPECT_EQ(rig.console(), (Lines{
                               "error: overtoner~: no method for 'foo'",
                               "error: overtoner~: 'p2' needs a number",
                               "error: overtoner~: 'p2' needs a number, not 'loud'",
                               "error: overtoner~: 'p2' takes one number, not 2",
                               "error: overtoner~: 'p2' needs finite numbers",
                               "error: overtoner~: 'p2' needs finite numbers",
                               "error: overtoner~: 'p2' needs finite numbers",
                               "error: overtoner~: 'dsp' is called by the host and cannot be sent",
                               "error: overtoner~: 'assist' is called by the host and cannot be sent",
                               "error: overtoner~: no method for 'float'",
                               "error: overtoner~: no inlet 1",
                           }));
  EXPECT_EQ(rig.record<Overtoner>().level2, level);
}

TEST(HostMessages, NumbersReachTheFloatInletsAtTheirPositions) {
  Rig rig("sidesplit~");
  EXPECT_EQ(rig.instance().inlet_count(), 5);
  EXPECT_EQ(rig.instance().inlet_kind(1), standin::InletKind::Signal);
  EXPECT_EQ(rig.instance().inlet_kind(2), standin::InletKind::Float);
  rig.send("3: -12");
  rig.send("4: 1");
  EXPECT_EQ(rig.record<Sidesplit>().sideGain, 0.25118864f);
  EXPECT_EQ(rig.record<Sidesplit>().direction, 1);
  rig.send("2: 1 2");
  rig.send("2: nan");
  rig.send("1: 5");
  rig.send("4: mode");
  EXPECT_EQ(rig.console(), (Lines{
                               "error: sidesplit~: inlet 2 takes one number",
                               "error: sidesplit~: inlet 2 needs finite numbers",
                               "error: sidesplit~: inlet 1 takes signals only",
                               "error: sidesplit~: inlet 4 takes one number",
                           }));
  EXPECT_EQ(rig.record<Sidesplit>().midGain, 1.0f);
}

TEST(HostLoading, AMissingPlugInNamesTheFoldersSearched) {
  EXPECT_EQ(standin::Instance::create("nothing~"), nullptr);
  const auto lines = console_lines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("error: tildefx: no object 'nothing~' found (searched: "), std::string::npos);
  EXPECT_NE(lines[0].find(TILDEFX_PLUGIN_DIR), std::string::npos);
  EXPECT_EQ(standin::Instance::create("../plugins/sidesplit~"), nullptr);
  console_lines();
}

TEST(HostLoading, PlugInsWithoutMainOrClassAreRefused) {
  standin::set_extra_plugin_folders({TILDEFX_TEST_PLUGIN_DIR});
  EXPECT_EQ(standin::Instance::create("no-main~"), nullptr);
  EXPECT_EQ(standin::Instance::create("no-class~"), nullptr);
  const auto lines = console_lines();
  standin::set_extra_plugin_folders({});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("no-main~.so has no main"), std::string::npos);
  EXPECT_EQ(lines[1], "error: no-class~: the plug-in registered no class");
}

// Files that are not plug-ins, made in a folder of their own.
TEST(HostLoading, FilesThatAreNotPlugInsGetALineEach) {
  const std::string folder = testing::TempDir() + "tildefx_broken_plugins";
  mkdir(folder.c_str(), 0755);
  std::ifstream real(std::string(TILDEFX_PLUGIN_DIR) + "/overtoner~.so", std::ios::binary);
  const std::string library((std::istreambuf_iterator<char>(real)), std::istreambuf_iterator<char>());
  const std::vector<std::pair<std::string, std::string>> files = {
      {"empty~", ""},
      {"text~", "not a library\n"},
      {"header~", library.substr(0, 64)},
      {"truncated~", library.substr(0, 2000)},
      {"half~", library.substr(0, library.size() / 2)},
  };
  for (const auto& [name, content] : files) std::ofstream(folder + "/" + name + ".so", std::ios::binary) << content;
  standin::set_extra_plugin_folders({folder});
  for (const auto& file : files) {
    EXPECT_EQ(standin::Instance::create(file.first), nullptr);
    const auto lines = console_lines();
    ASSERT_EQ(lines.size(), 1u) << file.first;
    EXPECT_EQ(lines[0].find("error: tildefx: cannot load " + folder + "/" + file.first + ".so: "), 0u) << lines[0];
  }
  standin::set_extra_plugin_folders({});
}

TEST(HostLoading, ListsTheObjectsOnTheSearchPath) {
  const auto names = standin::list_objects();
  EXPECT_NE(std::find(names.begin(), names.end(), "sidesplit~"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "overtoner~"), names.end());
}

TEST(HostChain, RefusesBadRatesAndBlockSizes) {
  Rig rig("overtoner~");
  EXPECT_FALSE(rig.instance().dsp(0.0f, 64));
  EXPECT_FALSE(rig.instance().dsp(NAN, 64));
  EXPECT_FALSE(rig.instance().dsp(44100.0f, -1));
  EXPECT_EQ(rig.console().size(), 3u);
  EXPECT_EQ(rig.instance().block_size(), 64);
}

TEST(HostChain, OddBlockSizesAndRebuildsKeepRunning) {
  Rig rig("overtoner~", 44100.0f, 7);
  std::vector<float> ramp(100);
  for (size_t i = 0; i < ramp.size(); i++) ramp[i] = static_cast<float>(i) / 100.0f;
  const auto sevens = rig.run(ramp);
  rig.dsp(96000.0f, 1);
  EXPECT_EQ(rig.run(ramp), sevens);
  EXPECT_EQ(rig.record<Overtoner>().sampleRate, 96000.0f);
}

// The host fills the header of every record and a guard after it with a
// known pattern: an object that writes into either is reported once, and the
// instance stops running.
TEST(HostChain, AnObjectThatWritesOutsideItsFieldsIsCaught) {
  standin::set_extra_plugin_folders({TILDEFX_TEST_PLUGIN_DIR});
  for (const char* where : {"header", "past"}) {
    auto instance = standin::Instance::create("trespasser~");
    ASSERT_TRUE(instance);
    ASSERT_TRUE(instance->dsp(44100.0f, 64));
    EXPECT_TRUE(instance->run());
    EXPECT_TRUE(console_lines().empty());
    instance->send_text(where);
    EXPECT_FALSE(instance->intact());
    EXPECT_FALSE(instance->run());
    const std::string expected = std::string(where) == "header" ? "into the host's header" : "past the end of its";
    const Lines lines = console_lines();
    ASSERT_EQ(lines.size(), 1u) << where;
    EXPECT_EQ(lines[0].find("error: trespasser~: the object wrote " + expected), 0u) << lines[0];
  }
  standin::set_extra_plugin_folders({});
}

// Every object keeps to its own fields through its whole life.
TEST(HostChain, EveryObjectLeavesTheHeaderAndTheGuardAlone) {
  for (const std::string object : OBJECT_NAMES) {
    auto instance = standin::Instance::create(object);
    ASSERT_TRUE(instance) << object;
    instance->dsp(44100.0f, 64);
    for (const auto& binding : instance->class_info().messages)
      instance->send_text(binding.selector + (binding.kind == host::ARG_FLOAT ? " 1" : ""));
    for (int i = 0; i < instance->signal_inlets(); i++) std::fill_n(instance->inlet_vector(i), 64, 0.5f);
    EXPECT_TRUE(instance->run()) << object;
    EXPECT_TRUE(instance->intact()) << object;
    instance.reset();
    for (const std::string& line : console_lines()) EXPECT_EQ(line.find("the object wrote"), std::string::npos) << line;
  }
}

TEST(HostRuntime, RandIsTheClassicGeneratorStartingAtOne) {
  standin::seed_rand(1);
  EXPECT_EQ(host::rand(), 41);
  EXPECT_EQ(host::rand(), 18467);
  EXPECT_EQ(host::rand(), 6334);
  EXPECT_EQ(host::rand(), 26500);
  standin::seed_rand(1);
  EXPECT_EQ(host::rand(), 41);
}

TEST(HostRuntime, AtomsBecomeSaturatedIntegers) {
  host::Atom big{host::ATOM_FLOAT, {}};
  big.value.number = 1.0e12f;
  host::Atom negative{host::ATOM_FLOAT, {}};
  negative.value.number = -3.7f;
  host::Atom whole{host::ATOM_LONG, {}};
  whole.value.integer = -60;
  host::Atom word{host::ATOM_SYMBOL, {}};
  word.value.symbol = core::symbol("sixty");
  EXPECT_EQ(host::atom_getlong(&big), 2147483647);
  EXPECT_EQ(host::atom_getlong(&negative), -3);
  EXPECT_EQ(host::atom_getlong(&whole), -60);
  EXPECT_EQ(host::atom_getlong(&word), 0);
}

TEST(HostRuntime, AllocationsCanBeMadeToFail) {
  standin::limit_allocations(1024);
  EXPECT_EQ(host::malloc(2048), nullptr);
  EXPECT_EQ(host::sysmem_newptr(2048), nullptr);
  void* small = host::sysmem_newptr(0);
  EXPECT_NE(small, nullptr);
  host::sysmem_freeptr(small);
  standin::limit_allocations(0);
}

// The nth allocation of new fails, for every n until the instance can be
// made: each time the instance is refused with a line, and nothing leaks
// (the sanitizer build checks for leaks).
TEST(HostRuntime, EachAllocationOfNewCanFailAndRefusesTheInstance) {
  for (const char* object : OBJECT_NAMES) {
    std::unique_ptr<standin::Instance> instance;
    long n = 1;
    for (; n < 100 && !instance; n++) {
      standin::fail_allocation(n);
      instance = standin::Instance::create(object);
      standin::fail_allocation(0);
      const auto lines = console_lines();
      if (instance) break;
      ASSERT_FALSE(lines.empty()) << object << " allocation " << n;
      EXPECT_EQ(lines.back(), "error: " + std::string(object) + ": could not create the object");
    }
    ASSERT_TRUE(instance) << object;
    EXPECT_GT(n, 1) << object;  // the record itself is an allocation
    ASSERT_TRUE(instance->dsp(44100.0f, 64));
    for (int i = 0; i < instance->signal_inlets(); i++) std::fill_n(instance->inlet_vector(i), 64, 0.5f);
    EXPECT_TRUE(instance->run()) << object;
  }
}

}  // namespace
