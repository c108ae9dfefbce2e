#include <gtest/gtest.h>

#include <windows.h>
#include <winspool.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "in_memory_registry.h"
#include "win32/job_history.h"
#include "win32/spooler_error.h"
#include "win32/system_error_text.h"
#include "fake_winspool.h"
#include "warmup_job.h"
#include "win32/win32_device_status.h"
#include "win32/win32_job_watcher.h"
#include "win32/win32_spooler.h"
#include "windows_printer_status.h"
#include "within_deadline.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;

// Windows' documented codes, each as the verdict it is, for a printer of
// this computer and for a connection to another server's.
TEST(SpoolerFailureOf, EachCodeIsItsVerdict) {
  using V = ServerVerdict;
  struct Row {
    DWORD code;
    V local;
    bool localUnknown;
    V connection;
    bool connectionUnknown;
  };
  const Row rows[] = {
      // No print provider took the name: a typo here, a lost server there,
      // for every name the program opens was listed a moment before.
      {ERROR_INVALID_PRINTER_NAME, V::Refused, true, V::Unreachable, false},
      {ERROR_PRINTER_DELETED, V::Refused, true, V::Refused, true},
      {ERROR_ACCESS_DENIED, V::Refused, false, V::Refused, false},  // a user without rights
      {ERROR_LOGON_FAILURE, V::WantsPassword, false, V::WantsPassword, false},
      {RPC_S_SERVER_UNAVAILABLE, V::Unreachable, false, V::Unreachable, false},
      {RPC_S_CALL_FAILED, V::Unreachable, false, V::Unreachable, false},
      {EPT_S_NOT_REGISTERED, V::Unreachable, false, V::Unreachable, false},  // no spooler there
      {ERROR_BAD_NETPATH, V::Unreachable, false, V::Unreachable, false},
      {ERROR_NETWORK_UNREACHABLE, V::Unreachable, false, V::Unreachable, false},
      {ERROR_INVALID_DATATYPE, V::Refused, false, V::Refused, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const SpoolerFailure local = SpoolerFailureOf(row.code, "localhost");
    EXPECT_EQ(local.verdict, row.local);
    EXPECT_EQ(local.unknownPrinter, row.localUnknown);
    const SpoolerFailure connection = SpoolerFailureOf(row.code, "druckserver");
    EXPECT_EQ(connection.verdict, row.connection);
    EXPECT_EQ(connection.unknownPrinter, row.connectionUnknown);
    // The system's own words, and the server's name when it is lost.
    EXPECT_NE(connection.reason.find(SystemErrorText(row.code)), std::string::npos);
    if (connection.ServerLost()) {
      EXPECT_NE(connection.reason.find("druckserver"), std::string::npos) << connection.reason;
    }
  }

  // A failure that set no error still has a reason, and not "success".
  const SpoolerFailure silent = SpoolerFailureOf(ERROR_SUCCESS, "localhost");
  EXPECT_EQ(silent.verdict, ServerVerdict::Refused);
  EXPECT_FALSE(silent.reason.empty());
  EXPECT_NE(silent.reason, SystemErrorText(ERROR_SUCCESS));

  EXPECT_EQ(SpoolerTimedOut("druckserver").verdict, ServerVerdict::TimedOut);
  EXPECT_EQ(SpoolerTimedOut("druckserver").reason,
            "The print server druckserver did not answer within 3 seconds.");
}

TEST(PrintServerOf, TheConnectionsServerOrThisComputer) {
  EXPECT_EQ(PrintServerOf("\\\\druckserver\\Laser 3"), "druckserver");
  EXPECT_EQ(PrintServerOf("Laser 3"), "localhost");
  EXPECT_EQ(PrintServerOf("\\\\"), "localhost");
}

// Wine's spooler answers a name it does not have as Windows does.
TEST(Win32Spooler, AnUnknownNameIsNotRecognizedNotRefused) {
  Win32Spooler spooler;
  Deadline deadline(kServerPatience);
  SpoolerFailure failure;
  EXPECT_EQ(spooler.Open("No Such Printer 7f3a", deadline, failure), nullptr);
  EXPECT_TRUE(failure.unknownPrinter) << failure.reason;
  EXPECT_FALSE(failure.reason.empty());
}

// A print server that stalls in WritePrinter: the job's answer keeps its
// deadline, and once the server answers, the job left behind is removed
// before its handle is closed.
TEST(Win32Spooler, AStalledCallKeepsTheDeadlineAndItsJobIsRemovedAfterwards) {
  auto winspool = std::make_shared<testing::FakeWinspool>();
  winspool->writeStalls = true;
  Win32Spooler spooler(winspool);
  Deadline deadline(300ms);
  const auto started = std::chrono::steady_clock::now();
  const JobResult job = SubmitWarmUpJob(spooler, "\\\\druckserver\\Laser 3", deadline);
  EXPECT_LT(std::chrono::steady_clock::now() - started, 300ms + kCancelPatience + 200ms);
  EXPECT_FALSE(job.accepted);
  EXPECT_EQ(job.failure.verdict, ServerVerdict::TimedOut);

  winspool->Release();
  std::vector<std::string> calls;
  for (int i = 0; i < 200 && (calls = winspool->Calls()).back() != "close"; ++i) {
    std::this_thread::sleep_for(10ms);
  }
  const std::vector<std::string> expected = {
      "open \\\\druckserver\\Laser 3 uncached", "datatypes \\\\druckserver", "startdoc RAW",
      "startpage", "write", "abort", "close"};
  EXPECT_EQ(calls, expected);
}

// Every name the program opens was on the spooler's list a moment before.
TEST(Win32Spooler, ANameNoLongerTakenIsALostServerForAConnectionAndUnknownHere) {
  auto winspool = std::make_shared<testing::FakeWinspool>();
  winspool->openFails = {{L"\\\\druckserver\\Laser 3", ERROR_INVALID_PRINTER_NAME},
                         {L"Laser 3", ERROR_INVALID_PRINTER_NAME}};
  Win32Spooler spooler(winspool);
  Deadline deadline(kServerPatience);
  const JobResult connection = SubmitWarmUpJob(spooler, "\\\\druckserver\\Laser 3", deadline);
  EXPECT_EQ(connection.failure.verdict, ServerVerdict::Unreachable);
  EXPECT_FALSE(connection.failure.unknownPrinter);
  EXPECT_TRUE(SubmitWarmUpJob(spooler, "Laser 3", deadline).failure.unknownPrinter);
}

// Stands for a printer handle: counts its closing.
struct Held {
  explicit Held(std::shared_ptr<std::atomic<int>> closed) : closed(std::move(closed)) {}
  Held(Held&& other) noexcept : closed(std::move(other.closed)) {}
  ~Held() {
    if (closed) ++*closed;
  }
  std::shared_ptr<std::atomic<int>> closed;
};

TEST(WithinDeadline, LeavesASlowCallBehindAndItsLateResultIsReleased) {
  auto closed = std::make_shared<std::atomic<int>>(0);
  const Deadline deadline(100ms);
  const auto started = std::chrono::steady_clock::now();
  const std::optional<Held> late = WithinDeadline(deadline, [closed] {
    std::this_thread::sleep_for(600ms);
    return Held(closed);
  });
  EXPECT_FALSE(late.has_value());
  EXPECT_LT(std::chrono::steady_clock::now() - started, 500ms);
  for (int i = 0; i < 200 && *closed == 0; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(*closed, 1);

  const std::optional<int> quick = WithinDeadline(Deadline(1s), [] { return 7; });
  EXPECT_EQ(quick, 7);
  EXPECT_FALSE(WithinDeadline(Deadline(0ms), [] { return 7; }).has_value());
}

JobReading Known(DWORD status, DWORD printerStatus = 0) {
  return {true, status, {}, printerStatus};
}
const JobReading kGone{};

TEST(JobHistory, AVanishedJobCountsAsPrintedOnlyWhenTheSpoolerSaidItPrinted) {
  // Printing, then gone: deleted while printing looks the same.
  JobHistory printing;
  EXPECT_EQ(printing.Take(Known(JOB_STATUS_SPOOLING | JOB_STATUS_PRINTING)).state,
            JobLook::State::Waiting);
  const JobLook vanished = printing.Take(kGone);
  EXPECT_EQ(vanished.state, JobLook::State::Vanished);
  EXPECT_FALSE(vanished.reason.empty());

  JobHistory heard;
  heard.Hear(JOB_STATUS_PRINTING | JOB_STATUS_COMPLETE);
  heard.Hear(JOB_STATUS_DELETING);  // removed after it printed
  EXPECT_EQ(heard.Take(kGone).state, JobLook::State::Completed);

  EXPECT_EQ(JobHistory().Take(Known(JOB_STATUS_PRINTED)).state, JobLook::State::Completed);
  EXPECT_EQ(JobHistory().Take(Known(JOB_STATUS_DELETING)).state, JobLook::State::Canceled);
  // A blocked job stays queued and may print later.
  EXPECT_EQ(JobHistory().Take(Known(JOB_STATUS_BLOCKED_DEVQ)).state, JobLook::State::Waiting);
}

// What FindNextPrinterChangeNotification hands over: entries follow the
// first in one block.
struct Announced {
  PRINTER_NOTIFY_INFO info;
  PRINTER_NOTIFY_INFO_DATA more[2];
};
static_assert(offsetof(Announced, more) == offsetof(Announced, info.aData) + sizeof(PRINTER_NOTIFY_INFO_DATA));

PRINTER_NOTIFY_INFO_DATA JobStatus(DWORD id, DWORD status, WORD field = JOB_NOTIFY_FIELD_STATUS) {
  PRINTER_NOTIFY_INFO_DATA data{};
  data.Type = JOB_NOTIFY_TYPE;
  data.Field = field;
  data.Id = id;
  data.NotifyData.adwData[0] = status;
  return data;
}

TEST(JobHistory, ANotifiedStatusIsTheWordOnAJobNoLookSawPrinted) {
  Announced told{};
  told.info.Version = 2;
  told.info.Count = 3;
  told.info.aData[0] = JobStatus(7, JOB_STATUS_PRINTED);
  told.more[0] = JobStatus(8, JOB_STATUS_PRINTING | JOB_STATUS_DELETING);
  // Not a status: a job's document name is a pointer, not status bits.
  told.more[1] = JobStatus(9, JOB_STATUS_PRINTED, JOB_NOTIFY_FIELD_DOCUMENT);
  std::map<int, JobHistory> histories;
  histories[8].Take(Known(JOB_STATUS_PRINTING));
  EXPECT_FALSE(HearJobStatuses(told.info, histories));
  EXPECT_EQ(histories[7].Take(kGone).state, JobLook::State::Completed);
  EXPECT_EQ(histories[8].Take(kGone).state, JobLook::State::Vanished);
  EXPECT_EQ(histories[9].Take(kGone).state, JobLook::State::Vanished);

  told.info.Count = 1;
  told.info.Flags = PRINTER_NOTIFY_INFO_DISCARDED;
  EXPECT_TRUE(HearJobStatuses(told.info, histories));
}

// Through the winspool seam, with change notifications Wine cannot give.
TEST(Win32JobWatcher, ReadsFirstThenHearsAndAsksAgainForWhatWasDiscarded) {
  using Reply = testing::FakeWinspool::Reply;
  constexpr DWORD kGoneJob = testing::FakeWinspool::kGone;
  auto winspool = std::make_shared<testing::FakeWinspool>();
  winspool->jobStatuses[7] = {JOB_STATUS_PRINTING, JOB_STATUS_PRINTING, kGoneJob};
  winspool->jobStatuses[8] = {kGoneJob};
  // Job 8 prints and goes just before it is read.
  winspool->onRead[8] = Reply{0, {{8, JOB_STATUS_PRINTED | JOB_STATUS_DELETING}}};
  Deadline deadline(kServerPatience);
  const std::unique_ptr<JobFollower> follower =
      Win32JobWatcher(winspool).Follow(std::chrono::seconds(60), deadline);
  const std::vector<WatchedJob> jobs = {{"Laser 3", 7}, {"Laser 3", 8}};

  std::vector<SpoolerAnswer<JobLook>> looks = follower->Look(jobs, deadline);
  EXPECT_EQ(looks[0].value.state, JobLook::State::Waiting);
  EXPECT_EQ(looks[1].value.state, JobLook::State::Completed);

  // Discarded twice: no more notifications come until a refresh comes whole.
  winspool->announced.push_back(Reply{PRINTER_NOTIFY_INFO_DISCARDED, {}});
  winspool->refreshes = {Reply{PRINTER_NOTIFY_INFO_DISCARDED, {}},
                         Reply{0, {{7, JOB_STATUS_PRINTED}}}};
  EXPECT_EQ(follower->Look({jobs[0]}, deadline)[0].value.state, JobLook::State::Waiting);
  EXPECT_EQ(follower->Look({jobs[0]}, deadline)[0].value.state, JobLook::State::Completed);
  std::vector<std::string> heard;
  for (const std::string& call : winspool->Calls()) {
    if (call == "next" || call == "refresh") heard.push_back(call);
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"next", "next", "refresh", "refresh"}));

  const ServerAnswer cancelled = follower->Cancel({jobs[0]}, deadline).at(0);
  EXPECT_EQ(cancelled.verdict, ServerVerdict::Refused);
  EXPECT_EQ(cancelled.reason, "the job had already left the queue");
}

TEST(JobHistory, APrinterInErrorNeedsAttentionAndOnlyAnOfflineOneIsNotReachable) {
  const JobLook error = JobHistory().Take(Known(0, PRINTER_STATUS_ERROR));
  EXPECT_EQ(error.state, JobLook::State::Waiting);
  EXPECT_EQ(error.reason, "printer needs attention");
  for (const DWORD status :
       {PRINTER_STATUS_OFFLINE, PRINTER_STATUS_NOT_AVAILABLE, PRINTER_STATUS_SERVER_UNKNOWN}) {
    EXPECT_EQ(JobHistory().Take(Known(0, status | PRINTER_STATUS_ERROR)).reason,
              "printer not reachable");
  }
  EXPECT_EQ(JobHistory().Take(Known(0, PRINTER_STATUS_PAUSED)).reason, "queue stopped");
}

TEST(PrinterPorts, OnlyStandardTcpIpPortsWithSnmpOnReportTheDevicesStatus) {
  testing::InMemoryRegistry registry;
  const std::string ports =
      "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports\\";
  const auto dword = [](std::uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
  };
  registry.SetValue(kHkeyLocalMachine, ports + "IP_192.0.2.7", "SNMP Enabled", kRegDword, dword(1));
  registry.SetValue(kHkeyLocalMachine, ports + "IP_192.0.2.8", "SNMP Enabled", kRegDword, dword(1));
  registry.SetValue(kHkeyLocalMachine, ports + "IP_192.0.2.9", "SNMP Enabled", kRegDword, dword(0));
  registry.SetValue(kHkeyLocalMachine, ports + "Text", "SNMP Enabled", kRegSz, "1");
  registry.SetValue(kHkeyLocalMachine, ports + "NoSnmp", "Protocol", kRegDword, dword(1));
  for (const char* port : {"IP_192.0.2.9", "Text", "NoSnmp", "USB001", "FILE:", ""}) {
    EXPECT_FALSE(TcpIpPortAsksDevice(registry, port)) << port;
  }
  EXPECT_TRUE(TcpIpPortAsksDevice(registry, "IP_192.0.2.7"));
  // The monitor keeps what it polls to itself.
  testing::InMemoryRegistry silentMonitor = registry;
  silentMonitor.SetValue(kHkeyLocalMachine, ports.substr(0, ports.size() - 1),
                         "StatusUpdateEnabled", kRegDword, dword(0));
  EXPECT_FALSE(TcpIpPortAsksDevice(silentMonitor, "IP_192.0.2.7"));
  EXPECT_EQ(registry.opened, registry.closed);

  const auto asksDevice = [&](const std::string& port) { return TcpIpPortAsksDevice(registry, port); };
  struct Row {
    const char* deviceName;
    const char* portNames;
    bool reports;
  };
  const Row rows[] = {
      {"Laser 3", "IP_192.0.2.7", true},
      {"Laser 3", "IP_192.0.2.7, IP_192.0.2.8,", true},  // a pool, as the spooler lists it
      {"Laser 3", "IP_192.0.2.7,USB001", false},
      {"Laser 3", "IP_192.0.2.9", false},
      {"Laser 3", "WSD-5f1c2a3e-0000-4d8b-9a61-1b2c3d4e5f60.0036", false},
      {"Laser 3", "LPT1:", false},
      {"Laser 3", "CUPS:Laser_3", false},  // Wine's
      {"Laser 3", "", false},
      {"\\\\druckserver\\Laser 3", "IP_192.0.2.7", false},  // that server's port of that name
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.deviceName) + " on " + row.portNames);
    EXPECT_EQ(PortReportsStatus(row.deviceName, row.portNames, asksDevice), row.reports);
    const DeviceAddress address = AddressOfPrinter(row.deviceName, row.reports);
    EXPECT_EQ(address.host, row.reports ? row.deviceName : "");
    EXPECT_EQ(address.whyNot, row.reports ? "" : kPortDoesNotReport);
  }
}

// The plain numbers the reading knows are the spooler's own bits.
TEST(PrinterPorts, TheSpoolersStatusBitsReadAsTheDevicesState) {
  const std::pair<DeviceReadiness, std::vector<DWORD>> groups[] = {
      {DeviceReadiness::NeedsAttention,
       {PRINTER_STATUS_PAUSED, PRINTER_STATUS_ERROR, PRINTER_STATUS_PAPER_JAM,
        PRINTER_STATUS_PAPER_OUT, PRINTER_STATUS_MANUAL_FEED, PRINTER_STATUS_PAPER_PROBLEM,
        PRINTER_STATUS_OFFLINE, PRINTER_STATUS_OUTPUT_BIN_FULL, PRINTER_STATUS_NOT_AVAILABLE,
        PRINTER_STATUS_NO_TONER, PRINTER_STATUS_PAGE_PUNT, PRINTER_STATUS_OUT_OF_MEMORY,
        PRINTER_STATUS_DOOR_OPEN, PRINTER_STATUS_USER_INTERVENTION}},
      {DeviceReadiness::WarmingUp,
       {PRINTER_STATUS_INITIALIZING, PRINTER_STATUS_WARMING_UP, PRINTER_STATUS_POWER_SAVE}},
      {DeviceReadiness::NotKnown,
       {PRINTER_STATUS_IO_ACTIVE, PRINTER_STATUS_BUSY, PRINTER_STATUS_PRINTING,
        PRINTER_STATUS_WAITING, PRINTER_STATUS_PROCESSING, PRINTER_STATUS_SERVER_UNKNOWN,
        PRINTER_STATUS_TONER_LOW, PRINTER_STATUS_PENDING_DELETION}},
  };
  for (const auto& [readiness, bits] : groups) {
    for (const DWORD bit : bits) {
      const DeviceStatus status = ReadWindowsPrinterStatus(bit);
      EXPECT_EQ(status.readiness, readiness) << bit;
      EXPECT_EQ(status.said.find("status bits"), std::string::npos) << bit;
    }
  }
}

// Wine's printers print through CUPS on ports of its own, so under Wine
// no printer is asked: --wait reports each delivered, with the port as the
// reason. What Wine's spooler does show is the rest: an unknown printer is
// its refusal, and a connection is not asked at all.
TEST(Win32DeviceLocator, AnUnknownPrinterIsTheSpoolersAnswerAndAConnectionIsNotAsked) {
  Deadline deadline(kServerPatience);
  const auto located =
      Win32DeviceLocator().Locate({"No Such Printer 7f3a", "\\\\druckserver\\Laser 3"}, deadline);
  ASSERT_EQ(located.size(), 2u);
  EXPECT_EQ(located[0].verdict, ServerVerdict::Refused);
  EXPECT_FALSE(located[0].reason.empty());
  EXPECT_TRUE(located[1].Answered());
  EXPECT_EQ(located[1].value.whyNot, kPortDoesNotReport);

  std::promise<SpoolerAnswer<DeviceStatus>> asked;
  const auto questions = Win32DeviceStatus().Open("public");
  questions->Ask("No Such Printer 7f3a",
                 [&asked](SpoolerAnswer<DeviceStatus> answer) { asked.set_value(std::move(answer)); });
  EXPECT_EQ(asked.get_future().get().verdict, ServerVerdict::Refused);
}

}  // namespace
}  // namespace brisakett
