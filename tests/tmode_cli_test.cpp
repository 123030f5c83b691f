// tmode end to end: each subcommand against tmode-sim, in text and JSON,
// its exit codes and its errors on standard error.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"

namespace tmode {
namespace {

using nlohmann::json;
using test::ProgramResult;

// tmode-sim with sim_args, running tmode -d {} with the arguments.
ProgramResult tmode_on_sim(std::vector<std::string> sim_args, const std::vector<std::string>& args) {
  sim_args.insert(sim_args.begin(), TMODE_SIM_PATH);
  sim_args.push_back("--");
  const std::vector<std::string> tool = test::program_command(TMODE_CLI_PATH);
  sim_args.insert(sim_args.end(), tool.begin(), tool.end());
  sim_args.insert(sim_args.end(), {"--device", "{}"});
  sim_args.insert(sim_args.end(), args.begin(), args.end());
  return test::run_program(sim_args);
}

ProgramResult tmode(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {TMODE_CLI_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  return test::run_program(argv);
}

TEST(TmodeCli, InfoInTextAndJson) {
  const ProgramResult text = tmode_on_sim({"--model", "PLVX-7100"}, {"info"});
  EXPECT_EQ(text.exit_code, 0) << text.err;
  EXPECT_EQ(text.out.substr(0, text.out.find("features: ")),
            "type: Plovex PCT\nmodel: PLVX-7100\nfirmware: 6300.1.02\nmodel-code: -1\ncontroller-level: 7\n"
            "sensor: 28 rx x 16 tx\n");
  EXPECT_EQ(text.err, "");

  const ProgramResult out = tmode_on_sim({"--tx", "20", "--rx", "30"}, {"--json", "info"});
  ASSERT_EQ(out.exit_code, 0) << out.err;
  const json doc = json::parse(out.out);
  EXPECT_EQ(doc["type"], "Plovex PCT");
  EXPECT_EQ(doc["model"], "PLVX-6300");
  EXPECT_EQ(doc["firmware"], "6300.1.02");
  EXPECT_EQ(doc["model_code"], 67);
  EXPECT_EQ(doc["controller_level"], 7);
  EXPECT_EQ(doc["sensor"]["rx"], 30);
  EXPECT_EQ(doc["sensor"]["tx"], 20);
  EXPECT_EQ(doc["features"].get<std::string>().size(), 60u * 3 - 1);
}

TEST(TmodeCli, ModeGetAndSet) {
  EXPECT_EQ(tmode_on_sim({"--mode", "2"}, {"mode"}).out, "2\n");
  EXPECT_EQ(tmode_on_sim({"--mode", "2"}, {"mode", "get"}).out, "2\n");
  const ProgramResult set = tmode_on_sim({"--mode", "2"}, {"--json", "mode", "set", "3"});
  EXPECT_EQ(set.exit_code, 0) << set.err;
  EXPECT_EQ(json::parse(set.out)["mode"], 3);
  EXPECT_EQ(tmode_on_sim({}, {"--quiet", "mode", "set", "1"}).out, "");

  // Mode 4 is beyond the four the controller takes: it refuses.
  const ProgramResult refused = tmode_on_sim({}, {"mode", "set", "4"});
  EXPECT_EQ(refused.exit_code, 6);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "tmode: set touch mode: refused by the controller\n");
}

TEST(TmodeCli, UsageErrorsAndMissingDevices) {
  struct Case {
    std::vector<std::string> args;
    int exit_code;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"mode", "set", "256"}, 2, "tmode: mode: set takes one mode, 0 to 255 (see tmode mode --help)\n"},
      {{"mode", "set", "-1"}, 2, "tmode: mode: set takes one mode, 0 to 255 (see tmode mode --help)\n"},
      {{"mode", "set", "1x"}, 2, "tmode: mode: set takes one mode, 0 to 255 (see tmode mode --help)\n"},
      {{"mode", "put"}, 2, "tmode: mode: expected get or set N (see tmode mode --help)\n"},
      {{"flash"}, 2, "tmode: unknown command \"flash\" (see tmode --help)\n"},
      {{"--colour", "info"}, 2, "tmode: unknown or incomplete option \"--colour\" (see tmode --help)\n"},
      {{"params", "save", "--both", "x"}, 2,
       "tmode: params: expected --hardware or --software (see tmode params --help)\n"},
      {{"--device", "/nonexistent/node", "info"}, 4,
       "tmode: /nonexistent/node: cannot open: No such file or directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    const ProgramResult result = tmode(c.args);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
  }
  const ProgramResult bare = tmode({});
  EXPECT_EQ(bare.exit_code, 2);
  EXPECT_EQ(bare.err.rfind("Usage: tmode [global options] COMMAND [arguments]\n", 0), 0u);
  const ProgramResult help = tmode({"mode", "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage: tmode [global options] mode [get]\n", 0), 0u);
}

TEST(TmodeCli, ParameterFilesRoundTrip) {
  test::ScratchDir dir;
  const std::string file = dir.file("hw.bin");
  const ProgramResult saved = tmode_on_sim({}, {"params", "save", "--hardware", file});
  EXPECT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_EQ(saved.out, "hardware parameters saved: " + file + "\n");
  EXPECT_EQ(test::read_bytes(file).size(), 2112u);

  const ProgramResult written = tmode_on_sim({}, {"--json", "params", "write", "--hardware", file});
  EXPECT_EQ(written.exit_code, 0) << written.err;
  EXPECT_EQ(json::parse(written.out), (json{{"action", "write"}, {"block", "hardware"}, {"file", file}}));

  std::vector<uint8_t> bad = test::read_bytes(file);
  bad[64 + 100] ^= 0xFF;
  test::write_file(file, bad);
  const ProgramResult refused = tmode_on_sim({}, {"params", "write", "--hardware", file});
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_NE(refused.err.find("tmode: params write: hardware parameters and " + file + ": refused"),
            std::string::npos)
      << refused.err;
}

// A tuning file for the simulated panel: two working frequencies, the
// signal window the panel reaches.
const char* const kSimPanelTuning =
    "[AFE Config]\r\nImageSignalLow=35\r\nImageSignalHigh=50\r\nSignalTolerance=2\r\nNumsOfFreq=2\r\n"
    "IgnoreNumsOfRX=2\r\nMinimumMeasureTime=7\r\nMaximumMeasureTime=64\r\nOutputHigh=100\r\n"
    "ImageTouchSignal=30\r\nScalingStart=3\r\nMaxSignalHigh=70\r\n";

// tmode-sim running a shell script with the node in $1, so that several
// tmode runs meet the same controller.
ProgramResult script_on_sim(std::vector<std::string> sim_args, const std::string& script) {
  sim_args.insert(sim_args.begin(), TMODE_SIM_PATH);
  sim_args.insert(sim_args.end(), {"--", "/bin/sh", "-c", script, "sh", "{}"});
  return test::run_program(sim_args);
}

TEST(TmodeCli, TuneWritesTheTunedBlockUnlessAskedNotTo) {
  test::ScratchDir dir;
  const std::string ini = dir.file("panel.ini");
  test::write_file(ini, std::string(kSimPanelTuning));
  const std::string tmode_cmd = std::string(TMODE_CLI_PATH) + " --device \"$1\" ";
  const std::string before = dir.file("before.bin"), after = dir.file("after.bin"), kept = dir.file("kept.bin");

  // --no-store: the controller's block stays as it was.
  const ProgramResult dry = script_on_sim(
      {}, tmode_cmd + "params save --hardware " + before + " && " + tmode_cmd + "--json tune --no-store --ini " + ini +
              " && " + tmode_cmd + "params save --hardware " + kept);
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  const json summary = json::parse(dry.out.substr(dry.out.find('{'), dry.out.rfind('}') - dry.out.find('{') + 1));
  EXPECT_EQ(summary["tuned"], true);
  EXPECT_EQ(summary["stored"], false);
  EXPECT_TRUE(summary["failed_stage"].is_null());
  ASSERT_EQ(summary["frequencies"].size(), 2u);
  EXPECT_EQ(summary["frequencies"][0]["groups"].size(), 7u);
  EXPECT_NE(dry.err.find("Register a new working freq."), std::string::npos) << "progress on stderr with --json";
  // Frequency block 0 (90 bytes at 400 of the block, after the file's
  // 64-byte header). The run itself sets calibration references in the
  // sensor configuration as it measures; the tuned frequencies stay unwritten.
  const auto frequency_block_of = [](const std::string& path) {
    const std::vector<uint8_t> file = test::read_bytes(path);
    if (file.size() < 64 + 490) return std::vector<uint8_t>();
    return std::vector<uint8_t>(file.begin() + 64 + 400, file.begin() + 64 + 490);
  };
  ASSERT_EQ(frequency_block_of(before).size(), 90u);
  EXPECT_EQ(frequency_block_of(before), frequency_block_of(kept));

  // Stored: frequency block 0 of the controller's block carries the tuned
  // prescaler (byte 3) and the first group's delay (byte 13).
  const ProgramResult tuned = script_on_sim(
      {}, tmode_cmd + "--json tune --ini " + ini + " 2>/dev/null && " + tmode_cmd + "params save --hardware " + after);
  ASSERT_EQ(tuned.exit_code, 0) << tuned.err;
  const json stored = json::parse(tuned.out.substr(0, tuned.out.rfind('}') + 1));
  EXPECT_EQ(stored["stored"], true);
  const std::vector<uint8_t> block = test::read_bytes(after);
  ASSERT_EQ(block.size(), 2112u);
  EXPECT_EQ(block[64 + 400 + 3], stored["frequencies"][0]["prescaler"].get<int>());
  EXPECT_EQ(block[64 + 400 + 13], stored["frequencies"][0]["groups"][0]["delay"].get<int>());
  EXPECT_NE(frequency_block_of(after), frequency_block_of(before));

  // Text: the pipeline's lines, then the summary.
  const ProgramResult text = tmode_on_sim({}, {"tune", "--no-store", "--ini", ini});
  EXPECT_EQ(text.exit_code, 0) << text.err;
  EXPECT_NE(text.out.find(" Total available working frequencies = 2\n"), std::string::npos);
  EXPECT_EQ(text.out.substr(text.out.rfind("tuned: ")), "tuned: 2 working frequencies (not written)\n");
}

TEST(TmodeCli, TuneFailuresNameTheirCause) {
  test::ScratchDir dir;
  const std::string ini = dir.file("panel.ini");
  test::write_file(ini, std::string(kSimPanelTuning));
  // A calibration constant the gains cannot bring to target.
  const ProgramResult failed = tmode_on_sim({"--cal-constant", "300"}, {"tune", "--ini", ini});
  EXPECT_EQ(failed.exit_code, 7);
  EXPECT_NE(failed.out.find("Calibration Fail...\n"), std::string::npos) << failed.out;
  EXPECT_EQ(failed.err, "tmode: tune: the image tuning failed\n");

  const ProgramResult missing = tmode({"tune", "--ini", dir.file("none.ini")});
  EXPECT_EQ(missing.exit_code, 8);
  EXPECT_EQ(missing.err, "tmode: tune: " + dir.file("none.ini") + ": No such file or directory\n");
  EXPECT_EQ(tmode({"tune"}).exit_code, 2);
  EXPECT_EQ(tmode({"tune", "--ini"}).exit_code, 2);
}

// A session recorded with --trace, replayed by a simulator that answers only
// from the recording, prints the same.
TEST(TmodeCli, TraceRecordedAndReplayed) {
  test::ScratchDir dir;
  const std::string trace = dir.file("info.trace");
  const ProgramResult recorded = tmode_on_sim({"--model", "PLVX-7100", "--mode", "1"}, {"--trace", trace, "info"});
  ASSERT_EQ(recorded.exit_code, 0) << recorded.err;
  EXPECT_EQ(test::read_file(trace).rfind("# tmode report trace 1: seconds, > written or < read, bytes\n", 0), 0u);

  const ProgramResult replayed = tmode_on_sim({"--replay", trace}, {"info"});
  EXPECT_EQ(replayed.exit_code, 0) << replayed.err;
  EXPECT_EQ(replayed.out, recorded.out);
}

// A controller that does not answer: the wait is the library's (three
// attempts), and the error says so.
TEST(TmodeCli, SlowSilentControllerTimesOut) {
  const ProgramResult silent = tmode_on_sim({"--no-reply", "3F65"}, {"mode"});
  EXPECT_EQ(silent.exit_code, 5);
  EXPECT_EQ(silent.err.rfind("tmode: get touch mode: no controller answered within ", 0), 0u) << silent.err;
}

}  // namespace
}  // namespace tmode
