// tmode end to end: each subcommand against tmode-sim, in text and JSON,
// its exit codes and its errors on standard error.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

#include "sim/uniformity_block.h"
#include "tests/support/firmware_files.h"
#include "tests/support/run_program.h"
#include "tests/support/scratch_dir.h"

namespace tmode {
namespace {

using nlohmann::json;
using test::ProgramResult;

// tmode-sim with sim_args, running tmode -d {} with the arguments; its
// standard output a pipe, or a terminal.
ProgramResult tmode_on_sim(std::vector<std::string> sim_args, const std::vector<std::string>& args,
                           bool on_terminal = false) {
  sim_args.insert(sim_args.begin(), TMODE_SIM_PATH);
  sim_args.push_back("--");
  const std::vector<std::string> tool = test::program_command(TMODE_CLI_PATH);
  sim_args.insert(sim_args.end(), tool.begin(), tool.end());
  sim_args.insert(sim_args.end(), {"--device", "{}"});
  sim_args.insert(sim_args.end(), args.begin(), args.end());
  return on_terminal ? test::run_program_on_pty(sim_args) : test::run_program(sim_args);
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
  const std::string line = "progress 100%\nhardware parameters saved: " + file + "\n";
  ASSERT_GE(saved.out.size(), line.size());
  EXPECT_EQ(saved.out.substr(saved.out.size() - line.size()), line);
  EXPECT_EQ(test::read_bytes(file).size(), 2112u);

  // With --json on a pipe no progress shows, on either stream.
  const ProgramResult written = tmode_on_sim({}, {"--json", "params", "write", "--hardware", file});
  EXPECT_EQ(written.exit_code, 0) << written.err;
  EXPECT_EQ(json::parse(written.out), (json{{"action", "write"}, {"block", "hardware"}, {"file", file}}));
  EXPECT_EQ(written.err, "");

  std::vector<uint8_t> bad = test::read_bytes(file);
  bad[64 + 100] ^= 0xFF;
  test::write_file(file, bad);
  const ProgramResult refused = tmode_on_sim({}, {"params", "write", "--hardware", file});
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_NE(refused.err.find("tmode: params write: hardware parameters and " + file + ": refused"),
            std::string::npos)
      << refused.err;
}

// The software block goes in ten chunks of 54 bytes and one of 26: a line
// for each whole percent reached.
TEST(TmodeCli, ParameterWriteShowsPlainLinesOnAPipe) {
  test::ScratchDir dir;
  const std::string file = dir.file("sw.bin");
  const ProgramResult saved = tmode_on_sim({}, {"--quiet", "params", "save", "--software", file});
  ASSERT_EQ(saved.exit_code, 0) << saved.err;
  EXPECT_EQ(saved.out, "");

  const ProgramResult written = tmode_on_sim({}, {"params", "write", "--software", file});
  ASSERT_EQ(written.exit_code, 0) << written.err;
  EXPECT_EQ(written.out,
            "progress 0%\nprogress 10%\nprogress 21%\nprogress 31%\nprogress 42%\nprogress 52%\n"
            "progress 63%\nprogress 73%\nprogress 84%\nprogress 94%\nprogress 100%\n"
            "software parameters written: " + file + "\n");
  EXPECT_EQ(written.err, "");

  // A file that does not verify sends nothing, and so shows no progress.
  std::vector<uint8_t> bad = test::read_bytes(file);
  bad[64 + 100] ^= 0xFF;
  test::write_file(file, bad);
  const ProgramResult refused = tmode_on_sim({}, {"params", "write", "--software", file});
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_EQ(refused.out, "");
}

// A save reads both blocks (2048 and 512 bytes): one bar over the 2560.
TEST(TmodeCli, ParameterSaveDrawsABarOnATerminal) {
  test::ScratchDir dir;
  const std::string file = dir.file("sw.bin");
  const ProgramResult result = tmode_on_sim({}, {"params", "save", "--software", file}, true);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind("\rparameters [..............................]   0% (0/2560)", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\rparameters [###############...............]  50% (1296/2560)"), std::string::npos);
  EXPECT_NE(result.out.find("\rparameters [########################......]  80% (2048/2560)"
                            "\rparameters [########################......]  82% (2102/2560)"),
            std::string::npos)
      << "the software block goes on where the hardware block ended";
  const std::string end = "\rparameters [##############################] 100% (2560/2560)\n"
                          "software parameters saved: " + file + "\n";
  ASSERT_GE(result.out.size(), end.size());
  EXPECT_EQ(result.out.substr(result.out.size() - end.size()), end);
  EXPECT_EQ(result.out.find("progress"), std::string::npos);
}

// A tuning file for the simulated panel: two working frequencies, the
// signal window the panel reaches.
const char* const kSimPanelTuning =
    "[AFE Config]\r\nImageSignalLow=35\r\nImageSignalHigh=50\r\nSignalTolerance=2\r\nNumsOfFreq=2\r\n"
    "IgnoreNumsOfRX=2\r\nMinimumMeasureTime=7\r\nMaximumMeasureTime=64\r\nOutputHigh=100\r\n"
    "ImageTouchSignal=30\r\nScalingStart=3\r\nMaxSignalHigh=70\r\n";

// How a shell script starts tmode on the node in $1 (through the emulator in
// a cross build).
std::string tmode_in_script() {
  std::string line;
  for (const std::string& word : test::program_command(TMODE_CLI_PATH)) line += "'" + word + "' ";
  return line + "--device \"$1\" ";
}

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
  const std::string tmode_cmd = tmode_in_script();
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

// With --json the library's own lines go to standard error: a missing file's
// message once landed inside the document.
TEST(TmodeCli, LibraryLinesStayOutOfTheJsonDocument) {
  test::ScratchDir dir;
  const std::string missing = dir.file("none.bin");
  const ProgramResult result = tmode_on_sim({}, {"--json", "params", "write", "--hardware", missing});
  EXPECT_EQ(result.exit_code, 8);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err.rfind("File: " + missing + " dose not Exist\ntmode: params write: hardware parameters and " +
                                 missing + ": refused",
                             0),
            0u)
      << result.err;
}

// The sensor tests of a tuning file: each verdict line of the run's log,
// then the test's own line; exit 7 when it failed.
TEST(TmodeCli, SensorTestsPassACleanPanelAndFailItsDefects) {
  test::ScratchDir dir;
  const std::string ini = dir.file("tests.ini");
  test::write_file(ini, std::string("[Sensor Test]\r\nShortTestThreshold=30\r\n"));
  struct Case {
    std::vector<std::string> sim_args;
    std::string test;
    int exit_code;
    std::string tail;  // the end of standard output
  };
  const std::vector<Case> cases = {
      {{}, "open", 0, "\n  Open Test Pass\nopen: pass\n"},
      {{"--open-tx", "3"}, "open", 7, "\n  Open Test Fail\nopen: fail\n"},
      {{}, "short", 0, "\n  Short Test pass\nshort: pass\n"},
      {{"--short-rx", "3"}, "short", 7, "\n  Short Test fail\nshort: fail\n"},
      // The simulated controller's block has no scaling word for the
      // mutual-capacitance test, which therefore fails; the run says so
      // after the two tests that passed.
      {{}, "all", 7, "Get Scaling FailDiagnostic test fail\n  Open Test Pass\n  Short Test pass\nall: fail\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.test + (c.sim_args.empty() ? "" : " " + c.sim_args[0]));
    const ProgramResult result = tmode_on_sim(c.sim_args, {"test", c.test, "--ini", ini});
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    ASSERT_GE(result.out.size(), c.tail.size()) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - c.tail.size()), c.tail) << result.out;
    EXPECT_EQ(result.err, "");
  }

  // The controller's sensor test 2 (its short test) with threshold 30.
  const ProgramResult sensor = tmode_on_sim({}, {"test", "sensor", "2", "--threshold", "30"});
  EXPECT_EQ(sensor.exit_code, 0) << sensor.err;
  EXPECT_EQ(sensor.out, "  Sensor Test 2 Rx PASS\n  Sensor Test 2 Tx PASS\nsensor 2: pass\n");
  const ProgramResult shorted = tmode_on_sim({"--short-rx", "3"}, {"--json", "test", "sensor", "2", "--threshold", "30"});
  EXPECT_EQ(shorted.exit_code, 7);
  const json sensor_doc = json::parse(shorted.out);
  EXPECT_EQ(sensor_doc["number"], 2);
  EXPECT_EQ(sensor_doc["verdicts"], json::array({"Sensor Test 2 Rx FAIL", "Sensor Test 2 Tx PASS"}));
  EXPECT_NE(sensor_doc["log"].get<std::string>().find("ShortTest,Rx[ 3 ],-100,Fail\r\n"), std::string::npos);
  // One judged row per channel, Rx 3 the one failed; the Tx rows are the
  // panel's 16 driving lines.
  const json& rows = sensor_doc["channels"];
  ASSERT_GT(rows.size(), 4u);
  int tx_rows = 0;
  for (const json& row : rows) tx_rows += row["channel"].get<std::string>().rfind("Tx[", 0) == 0;
  EXPECT_EQ(tx_rows, 16);
  EXPECT_EQ(rows[3], (json{{"channel", "Rx[ 3 ]"}, {"fields", {"ShortTest", "Rx[ 3 ]", "-100", "Fail"}}, {"result", "fail"}}));
  int failed_rows = 0;
  for (const json& row : rows) failed_rows += row["result"] == "fail";
  EXPECT_EQ(failed_rows, 1);

  // JSON: the verdict, the verdict lines and the whole log, which --log
  // also appends to a file; the library's lines go to standard error.
  const std::string log = dir.file("runs.csv");
  test::write_file(log, std::string("earlier\n"));
  const ProgramResult json_run = tmode_on_sim({"--short-rx", "3"}, {"--json", "test", "short", "--ini", ini, "--log", log});
  EXPECT_EQ(json_run.exit_code, 7);
  const json doc = json::parse(json_run.out);
  EXPECT_EQ(doc["test"], "short");
  EXPECT_EQ(doc["passed"], false);
  EXPECT_EQ(doc["verdicts"], json::array({"Short Test fail"}));
  const std::string text = doc["log"].get<std::string>();
  EXPECT_EQ(text.rfind("TUNER MajorVersion: 0, MinorVersion: 1, Bulid NO: 40, Test2 For Test Only", 0), 0u);
  EXPECT_NE(text.find("ShortTest,Rx[3],"), std::string::npos);
  EXPECT_EQ(test::read_file(log), "earlier\n" + text);
  EXPECT_NE(json_run.err.find("TimeStamp @"), std::string::npos);

  struct Refusal {
    std::vector<std::string> args;
    int exit_code;
    std::string err;
  };
  const std::vector<Refusal> refusals = {
      {{"test", "open", "--ini", dir.file("none.ini")}, 8,
       "tmode: " + dir.file("none.ini") + ": No such file or directory\n"},
      {{"test", "open", "--ini", dir.path()}, 8, "tmode: " + dir.path() + ": not a regular file\n"},
      {{"test", "open"}, 2, ""},
      {{"test", "bias", "--ini", ini}, 2, ""},
      {{"test", "noise", "--ini", ini}, 2, ""},
      {{"test", "open", "--ini", ini, "--open-values", "1,2,3,4,5"}, 2, ""},
      {{"test", "mutual", "--ini", ini, "--mutual-values", "1,2,x"}, 2, ""},
      {{"test", "sensor", "5", "--threshold", "30"}, 2, ""},
      {{"test", "sensor", "1"}, 2, ""},
      {{"calibrate", "--bias"}, 2, ""},
      {{"calibrate", "--level", "65536"}, 2, ""},
  };
  for (const Refusal& r : refusals) {
    SCOPED_TRACE(r.args[0] + " " + r.args[1]);
    const ProgramResult result = tmode(r.args);
    EXPECT_EQ(result.exit_code, r.exit_code);
    if (!r.err.empty()) {
      EXPECT_EQ(result.err, r.err);
    }
    EXPECT_EQ(result.out, "");
  }
}

TEST(TmodeCli, CalibrateStoresAndRunsTheTestsAskedFor) {
  // The calibration is stored: Attr, the sensor configuration's first byte
  // (at 8 of the block, after the file's 64-byte header), says calibrated.
  test::ScratchDir dir;
  const std::string block = dir.file("after.bin");
  const std::string tmode_cmd = tmode_in_script();
  const ProgramResult clean = script_on_sim(
      {}, tmode_cmd + "calibrate --bias 20 --stability 50 && " + tmode_cmd + "params save --hardware " + block);
  EXPECT_EQ(clean.exit_code, 0) << clean.err;
  const std::vector<uint8_t> saved = test::read_bytes(block);
  ASSERT_EQ(saved.size(), 2112u);
  EXPECT_EQ(saved[64 + 8] & 1, 1);
  const std::string tail = "\n  Calibration Pass\n  Bias Test PASS\n  Single End Stable Test PASS\ncalibrate: pass\n";
  const size_t end = clean.out.find("calibrate: pass\n") + std::string("calibrate: pass\n").size();
  ASSERT_NE(end, std::string::npos) << clean.out;
  ASSERT_GE(end, tail.size());
  EXPECT_EQ(clean.out.substr(end - tail.size(), tail.size()), tail) << clean.out;

  // A node that moves by 3000 a scan, on the channel the stability test
  // judges: the calibration still passes, both tests fail.
  const ProgramResult noisy =
      tmode_on_sim({"--noisy-node", "15,0,3000"}, {"--json", "calibrate", "--bias", "20", "--stability", "50"});
  EXPECT_EQ(noisy.exit_code, 7);
  const json doc = json::parse(noisy.out);
  EXPECT_EQ(doc["passed"], false);
  EXPECT_EQ(doc["verdicts"], json::array({"Calibration Pass", "Bias Test FAIL", "Single End Stable Test FAIL"}));
  EXPECT_EQ(doc["bias_test"], true);
  EXPECT_EQ(doc["controller_level"], 7) << "the level the controller reports";

  // Without test options only the calibration runs; one the gains cannot
  // bring to its target fails.
  const ProgramResult failed = tmode_on_sim({"--cal-constant", "300"}, {"--json", "calibrate", "--level", "3"});
  EXPECT_EQ(failed.exit_code, 7);
  const json failure = json::parse(failed.out);
  EXPECT_EQ(failure["verdicts"], json::array({"Calibrating Fail..."}));
  EXPECT_EQ(failure["controller_level"], 3);
  EXPECT_EQ(failure["stability_test"], false);
}

// The bias and stability tests alone. The simulated chips measure once a
// committed block has started their front end, as a calibrated controller's
// do: the bias test runs after a calibration.
TEST(TmodeCli, BiasAndStabilityTestsAlone) {
  const std::string tmode_cmd = tmode_in_script();
  const std::string bias = tmode_cmd + "--quiet calibrate > /dev/null && " + tmode_cmd + "test bias --threshold 20";
  struct Case {
    std::vector<std::string> sim_args;
    std::string script;
    int exit_code;
    std::string tail;
  };
  const std::vector<Case> cases = {
      {{}, bias, 0, "\n  Bias Test PASS\nbias: pass\n"},
      {{"--noisy-node", "15,0,3000"}, bias, 7, "\n  Bias Test FAIL\nbias: fail\n"},
      {{}, tmode_cmd + "test stability --threshold 50", 0, "\n  Single End Stable Test PASS\nstability: pass\n"},
      {{"--noisy-node", "15,0,3000"}, tmode_cmd + "test stability --threshold 50", 7,
       "\n  Single End Stable Test FAIL\nstability: fail\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script + (c.sim_args.empty() ? "" : " on a noisy node"));
    const ProgramResult result = script_on_sim(c.sim_args, c.script);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    ASSERT_GE(result.out.size(), c.tail.size()) << result.out;
    EXPECT_EQ(result.out.substr(result.out.size() - c.tail.size()), c.tail) << result.out;
  }
  EXPECT_EQ(tmode({"test", "bias", "--threshold", "20", "--frames", "0"}).exit_code, 2);
  EXPECT_EQ(tmode({"test", "stability", "--threshold", "50", "--frames", "4"}).exit_code, 2);
  EXPECT_EQ(tmode({"test", "bias"}).exit_code, 2);
}

// A controller of the family with indexed tables (type PCT-6144 at level
// 10): tuning gives it two working frequencies, then the table made from
// captures of a panel with an open driving line has that line's points at
// both, and reads back valid.
TEST(TmodeCli, UniformityTableCreatedFromCapturesReadsBack) {
  test::ScratchDir dir;
  const std::string ini = dir.file("panel.ini");
  test::write_file(ini, std::string(kSimPanelTuning));
  const std::string log = dir.file("creation.csv");
  const std::string tmode_cmd = tmode_in_script();
  const std::vector<std::string> family = {"--model", "PCT-6144", "--type", "PCT-6144", "--level", "10", "--open-tx", "5"};

  // Before tuning the block names no working frequency: nothing is written.
  const ProgramResult untuned = tmode_on_sim(family, {"uniformity", "create", "--threshold", "100"});
  EXPECT_EQ(untuned.exit_code, 6);
  EXPECT_EQ(untuned.err.rfind("tmode: uniformity create: no table written", 0), 0u) << untuned.err;

  const ProgramResult made = script_on_sim(
      family, tmode_cmd + "--quiet tune --ini " + ini + " && " + tmode_cmd + "uniformity create --threshold 100 --log " +
                  log + " && " + tmode_cmd + "--json uniformity dump");
  ASSERT_EQ(made.exit_code, 0) << made.err;
  const std::string head = "uniformity table written: 2 frequencies, threshold 100\n";
  ASSERT_EQ(made.out.rfind(head, 0), 0u) << made.out;
  const json table = json::parse(made.out.substr(head.size()));
  EXPECT_EQ(table["valid"], true);
  EXPECT_EQ(table["threshold"], 100);
  for (int f = 0; f < 2; ++f) {
    SCOPED_TRACE(f);
    const json& points = table["frequencies"][f]["points"];
    EXPECT_EQ(table["frequencies"][f]["valid_count"], 54);
    ASSERT_EQ(points.size(), 54u);
    // The open line reads low: the step into it and out of it.
    for (const json& p : points) {
      EXPECT_TRUE(p["tx"] == 4 || p["tx"] == 5) << p;
      EXPECT_EQ(p["offset"].get<int>() < 0, p["tx"] == 4) << p;
    }
  }
  EXPECT_EQ(table["frequencies"][2]["valid_count"], 0);
  const std::string creation = test::read_file(log);
  EXPECT_NE(creation.find("\r\nKernel Version:,10\r\n"), std::string::npos) << creation;
  EXPECT_NE(creation.find("Get Image Data Done\r\n"), std::string::npos) << creation;
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

// The simulator's software block holds byte i * 7 at offset i: layout A
// counts 448 % 256 = 192 records, mode 1's level is at 281 + 70 = 351
// (2457 % 256 = 153, -103 signed); layout B counts 156 at 132 and keeps mode
// 1's level at 314 + 64 = 378 (86); layout C's level is at 124 (100).
TEST(TmodeCli, ThresholdGetInTheThreeLayouts) {
  const ProgramResult text = tmode_on_sim({"--mode", "1"}, {"threshold"});
  EXPECT_EQ(text.exit_code, 0) << text.err;
  EXPECT_EQ(text.out, "records: 192\nmode: 1\nlevel: -103\n");
  EXPECT_EQ(text.err, "Nums Of Thresholds = 192\nCurrent:\n\tThreshold mode= 1\n\tSensitivityLevel = -103\n");
  struct Case {
    std::string layout;
    json expected;
  };
  const std::vector<Case> cases = {
      {"a", {{"layout", "a"}, {"records", 192}, {"mode", 1}, {"level", -103}}},
      {"b", {{"layout", "b"}, {"records", 156}, {"mode", 1}, {"level", 86}}},
      {"c", {{"layout", "c"}, {"records", 1}, {"mode", 0}, {"level", 100}}},
  };
  for (const Case& c : cases) {
    const ProgramResult out = tmode_on_sim({"--mode", "1"}, {"--json", "threshold", "get", "--layout", c.layout});
    ASSERT_EQ(out.exit_code, 0) << out.err;
    EXPECT_EQ(json::parse(out.out), c.expected) << c.layout;
  }
  EXPECT_EQ(tmode({"threshold", "set", "1", "11"}).exit_code, 2);
  EXPECT_EQ(tmode({"threshold", "--layout", "d"}).exit_code, 2);
}

TEST(TmodeCli, ThresholdSetIsWrittenBackAndReadAgain) {
  const std::string tmode_cmd = tmode_in_script();
  const ProgramResult result =
      script_on_sim({}, tmode_cmd + "threshold set 2 3 && " + tmode_cmd + "--json threshold");
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const std::string first = "threshold mode 2 set to level 3\n";
  ASSERT_EQ(result.out.substr(0, first.size()), first);
  EXPECT_EQ(json::parse(result.out.substr(first.size())),
            (json{{"layout", "a"}, {"records", 192}, {"mode", 2}, {"level", 3}}));
}

// The simulator's stray frame: noise line 12, water line 0, node (t, r)
// 40 + 5t + r. Without the water-line setting the record shows the noise
// line, then buffer lines 1 to N - 2: the water line and all but the last
// driving line.
const std::vector<std::vector<int>> kStrayRows = {{12, 0, 40, 45}, {12, 0, 41, 46}, {12, 0, 42, 47}, {12, 0, 43, 48}};

TEST(TmodeCli, CaptureShowsFramesAsTextAndJson) {
  const ProgramResult text = tmode_on_sim({"--tx", "3", "--rx", "4"}, {"capture", "stray-l2"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  EXPECT_EQ(text.out,
            "frame 1: stray-l2, frequency index 3, error code 0x0A0B0100\n"
            "        Noise Tx[ 00 ] Tx[ 01 ] Tx[ 02 ]\n"
            "Rx[00] 12 0 40 45\nRx[01] 12 0 41 46\nRx[02] 12 0 42 47\nRx[03] 12 0 43 48\n");

  const ProgramResult touch = tmode_on_sim({}, {"--json", "capture", "11"});
  ASSERT_EQ(touch.exit_code, 0) << touch.err;
  const json doc = json::parse(touch.out);
  EXPECT_EQ(doc["type"], "touch-info");
  EXPECT_EQ(doc["frames"][0]["touch_info"]["FreqIndex"], 3);
  EXPECT_EQ(doc["frames"][0]["touch_info"].size(), 10u);

  // A saturation L2 record exists for model codes 24 and 28 only (this is 67).
  const ProgramResult none = tmode_on_sim({}, {"capture", "sat-l2-max"});
  EXPECT_EQ(none.exit_code, 6);
  EXPECT_EQ(none.err, "tmode: capture sat-l2-max: no record written (a data type this controller model does "
                      "not have, or no frame buffer)\n");

  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"capture", "raw-l3"}, {"capture", "raw", "--count", "0"},
        {"capture", "raw", "--count", "2", "--continuous"}, {"capture", "raw", "--out"}}) {
    EXPECT_EQ(tmode(args).exit_code, 2) << args.back();
  }
}

TEST(TmodeCli, CaptureAppendsTheLibrarysRecords) {
  test::ScratchDir dir;
  const std::string file = dir.file("stray.csv");
  const ProgramResult result =
      tmode_on_sim({"--tx", "3", "--rx", "4"}, {"--json", "capture", "stray-l2", "--count", "2", "--out", file});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  const json doc = json::parse(result.out);
  EXPECT_EQ(doc["out"], file);
  ASSERT_EQ(doc["frames"].size(), 2u);
  for (const json& frame : doc["frames"]) EXPECT_EQ(frame["rx"], kStrayRows);

  const std::string records = test::read_file(file);
  const size_t second = records.find("Date:,", 1);
  ASSERT_NE(second, std::string::npos);
  for (const std::string& record : {records.substr(0, second), records.substr(second)}) {
    EXPECT_NE(record.find("\r\nFreqency Index:,3\r\nError Code:,0x0A0B0100\r\nData Type:,StrayL2\r\n"),
              std::string::npos);
    EXPECT_NE(record.find("Image Data Start\r\nRx[ 00 ],12,0,40,45\r\nRx[ 01 ],12,0,41,46\r\n"),
              std::string::npos);
    const std::string footer = "Rx[ 03 ],12,0,43,48\r\n,Noise,Tx[ 00 ],Tx[ 01 ],Tx[ 02 ],\r\nImage Data End\r\n\r\n\r\n";
    ASSERT_GE(record.size(), footer.size());
    EXPECT_EQ(record.substr(record.size() - footer.size()), footer);
  }
  EXPECT_NE(records.find("Log Counts:,1\r\n"), std::string::npos);
  EXPECT_NE(records.find("Log Counts:,2\r\n"), std::string::npos);
}

TEST(TmodeCli, CaptureShowsProgressOnATerminal) {
  test::ScratchDir dir;
  const std::string file = dir.file("stray.csv");
  const ProgramResult result =
      tmode_on_sim({"--tx", "3", "--rx", "4"}, {"capture", "stray-l2", "--count", "4", "--out", file}, true);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out,
            "\rcapture [..............................]   0% (0/4)"
            "\rcapture [#######.......................]  25% (1/4)"
            "\rcapture [###############...............]  50% (2/4)"
            "\rcapture [######################........]  75% (3/4)"
            "\rcapture [##############################] 100% (4/4)\n"
            "4 stray-l2 records appended to " + file + "\n");
}

// Ctrl-C ends a capture after its frame: the document holds every frame,
// each whole. It is how a continuous capture ends (0); a counted one it cuts
// short (130).
TEST(TmodeCli, InterruptEndsACaptureCleanly) {
  struct Case {
    std::string how_many;
    int exit_code;
    std::string err;
  };
  for (const Case& c : {Case{"--continuous", 0, ""}, Case{"--count 100000", 130, "tmode: capture: interrupted after "}}) {
    const ProgramResult result =
        script_on_sim({"--tx", "3", "--rx", "4"}, tmode_in_script() + "--json capture stray-l2 " + c.how_many +
                                                      " & p=$!; sleep 0.5; kill -INT $p; wait $p");
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    const json doc = json::parse(result.out);
    ASSERT_GE(doc["frames"].size(), 1u);
    for (const json& frame : doc["frames"]) EXPECT_EQ(frame["rx"], kStrayRows);
    EXPECT_EQ(result.err.substr(0, c.err.size()), c.err);
    if (!c.err.empty()) {
      EXPECT_EQ(result.err, c.err + std::to_string(doc["frames"].size()) + " of 100000 frames\n");
    }
  }
}

// A wide table on a controller of code 22 (type "PCT-6140") at level 8: the
// old generation, Rx first.
TEST(TmodeCli, UniformityDumpAsTheLibraryWritesItAndInJson) {
  test::ScratchDir dir;
  sim::UniformityBlockDescription table;
  table.layout = sim::UniformityLayout::kWide;
  table.threshold = 35;
  table.frequencies = {{{1, 2, -5}, {3, 4, 300}}, {{5, 6, 7}}};
  const std::string block = dir.file("utable.bin");
  test::write_file(block, sim::build_uniformity_block(table));
  const std::vector<std::string> sim_args = {"--type", "PCT-6140", "--model", "PLVX-7100", "--level", "8",
                                             "--uniformity-block", block};

  const ProgramResult text = tmode_on_sim(sim_args, {"uniformity", "dump"});
  ASSERT_EQ(text.exit_code, 0) << text.err;
  const std::string head =
            "Table is Valid.\r\nUniformity Threshold=35\r\n"
            "\r\nFreqIndex=0,\tValidCount=2\r\n,\tIndex,\tRxCh,\tTxCh,\tOffset\r\n"
            ",\t[00],\t2,\t1,\t-5\r\n,\t[01],\t4,\t3,\t300\r\n"
            "\r\nFreqIndex=1,\tValidCount=1\r\n";
  EXPECT_EQ(text.out.substr(0, head.size()), head);

  const ProgramResult out = tmode_on_sim(sim_args, {"--json", "uniformity", "dump"});
  ASSERT_EQ(out.exit_code, 0) << out.err;
  const json doc = json::parse(out.out);
  EXPECT_EQ(doc["valid"], true);
  EXPECT_EQ(doc["threshold"], 35);
  ASSERT_EQ(doc["frequencies"].size(), 20u);
  EXPECT_EQ(doc["frequencies"][0],
            (json{{"index", 0},
                  {"valid_count", 2},
                  {"points", {{{"index", 0}, {"rx", 2}, {"tx", 1}, {"offset", -5}},
                              {{"index", 1}, {"rx", 4}, {"tx", 3}, {"offset", 300}}}}}));
  EXPECT_EQ(doc["frequencies"][1]["points"], (json{{{"index", 0}, {"rx", 6}, {"tx", 5}, {"offset", 7}}}));

  table.bad_checksum = true;
  test::write_file(block, sim::build_uniformity_block(table));
  const ProgramResult invalid = tmode_on_sim(sim_args, {"uniformity", "dump"});
  EXPECT_EQ(invalid.exit_code, 6);
  EXPECT_EQ(invalid.err, "(E) Dump Error, Table is Invalid!!\r\ntmode: uniformity dump: Table is Invalid!!\n");
  // Nor has every model a table (67 has none).
  EXPECT_EQ(tmode_on_sim({}, {"uniformity", "dump"}).exit_code, 6);
}

// 200 main records and a list of 2: a transfer long enough for every percent.
std::string record_file(test::TempFiles& files, const std::string& name) {
  test::RecordFilePlan plan;
  plan.main = test::numbered_records(200);
  plan.lists[0] = test::numbered_records(2, 300);
  return files.write(name, test::build_record_file(plan));
}

TEST(TmodeCli, FirmwareUpdateShowsPlainLinesOnAPipe) {
  test::TempFiles files;
  const std::string file = record_file(files, "panel_6300_V0102.bin");
  const ProgramResult result = tmode_on_sim({}, {"firmware", "update", file});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::string expected;
  for (int percent = 0; percent <= 99; ++percent) expected += "progress " + std::to_string(percent) + "%\n";
  expected += "progress 100%\nmodel check: match (file chip 6300, controller chip 6300)\n";
  expected += "firmware updated: " + file + " (record file, 202 records)\n";
  EXPECT_EQ(result.out, expected);
  EXPECT_EQ(result.err, "");
}

TEST(TmodeCli, FirmwareUpdateDrawsABarOnATerminal) {
  test::TempFiles files;
  const std::string file = record_file(files, "panel.bin");
  const ProgramResult result = tmode_on_sim({}, {"firmware", "update", file}, true);
  ASSERT_EQ(result.exit_code, 0) << result.err;
  EXPECT_EQ(result.out.rfind("\rfirmware [..............................]   0% (0/202)", 0), 0u) << result.out;
  EXPECT_NE(result.out.find("\rfirmware [###############...............]  50% (101/202)"), std::string::npos);
  EXPECT_NE(result.out.find("\rfirmware [##############################] 100% (202/202)\n"
                            "model check: unchecked (the file name names no chip)\n"),
            std::string::npos)
      << result.out;
  EXPECT_EQ(result.out.find("progress"), std::string::npos);
  EXPECT_EQ(result.out.find("(I)"), std::string::npos) << "the library's own lines are replaced";
}

// Ctrl-C does not cut a firmware transfer short: the first is noted and the
// update goes on to its end; a second one stops it at once. The records'
// replies come 10 ms late, so the transfer lasts about 2 s; the signal goes
// once progress shows, whatever the machine's load.
TEST(TmodeCli, InterruptDoesNotCutAFirmwareTransferShort) {
  test::TempFiles files;
  const std::string file = record_file(files, "panel.bin");
  const std::string note =
      "tmode: firmware update: the transfer goes on to its end (cut short, it would leave the controller without "
      "working firmware); interrupt again to stop it anyway\n";
  struct Case {
    std::string signals;
    int exit_code;
    bool updated;
  };
  const Case cases[] = {{"kill -INT $p", 0, true},
                        {"kill -TERM $p", 0, true},
                        {"kill -INT $p; sleep 0.2; kill -INT $p", 130, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.signals);
    // A file of its own: the wait below must not find the last case's lines.
    const std::string out = files.dir() + "/out" + std::to_string(&c - cases) + ".txt";
    const ProgramResult result = script_on_sim(
        {"--late", "3A,10"}, tmode_in_script() + "firmware update " + file + " >" + out +
                                 " & p=$!; until grep -q 'progress 5%' " + out +
                                 " 2>/dev/null; do sleep 0.02; done; " + c.signals + "; wait $p");
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    EXPECT_EQ(result.err, note);
    const std::string printed = test::read_file(out);
    EXPECT_EQ(printed.find("firmware updated: " + file + " (record file, 202 records)\n") != std::string::npos,
              c.updated)
        << printed;
    EXPECT_EQ(printed.find("progress 100%") != std::string::npos, c.updated) << printed;
  }
}

TEST(TmodeCli, FirmwarePackageInJsonAndTheModelCheck) {
  test::TempFiles files;
  test::PackagePlan plan;
  plan.main = test::numbered_records(5);
  const test::FileBytes package = test::build_package(plan);
  const std::string for_6123 = files.write("panel_6123_V0100.pkg", package);

  // A file named for another chip is refused before anything is sent.
  const std::string trace = files.dir() + "/refused.trace";
  const ProgramResult refused = tmode_on_sim({}, {"--json", "--trace", trace, "firmware", "update", for_6123});
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_NE(test::read_file(trace).find(" > 03 01 46\n"), std::string::npos) << "the type name was read";
  EXPECT_EQ(test::read_file(trace).find(" 3a 01 "), std::string::npos) << "no record command";
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "tmode: " + for_6123 +
                             ": refused: the file is for chip 6123, the controller (PLVX-6300) is chip 6300; "
                             "--force updates anyway\n");

  const ProgramResult forced = tmode_on_sim({}, {"--json", "firmware", "update", for_6123, "--force"});
  ASSERT_EQ(forced.exit_code, 0) << forced.err;
  EXPECT_EQ(json::parse(forced.out),
            (json{{"file", for_6123},
                  {"format", "package"},
                  {"records", 5},
                  {"model_check", {{"result", "forced"}, {"file_chip", "6123"}, {"controller_chip", "6300"}}}}));

  // A controller whose names carry no chip number cannot be checked.
  const ProgramResult unchecked = tmode_on_sim({"--model", "PLVX-7100"}, {"--json", "firmware", "update", for_6123});
  ASSERT_EQ(unchecked.exit_code, 0) << unchecked.err;
  EXPECT_EQ(json::parse(unchecked.out)["model_check"],
            (json{{"result", "unchecked"}, {"file_chip", "6123"}, {"controller_chip", nullptr}}));
}

TEST(TmodeCli, FirmwareFilesThatDoNotVerifyAreRefused) {
  test::TempFiles files;
  test::RecordFilePlan plan;
  plan.main = test::numbered_records(3);
  test::FileBytes bad = test::build_record_file(plan);
  ++bad[19];  // the main checksum
  const std::string path = files.write("bad.bin", bad);
  const ProgramResult refused = tmode_on_sim({}, {"firmware", "update", path});
  EXPECT_EQ(refused.exit_code, 8);
  EXPECT_EQ(refused.err, "tmode: " + path +
                             ": refused: not a valid firmware record file (a header, count or checksum does not "
                             "add up)\n");
  const ProgramResult missing = tmode({"firmware", "update", files.dir() + "/none.bin"});
  EXPECT_EQ(missing.exit_code, 8);
  EXPECT_EQ(missing.err, "tmode: " + files.dir() + "/none.bin: No such file or directory\n");
  EXPECT_EQ(tmode({"firmware", "update"}).exit_code, 2);
}

}  // namespace
}  // namespace tmode
