// The context: its count across threads, the initialize record's Size rules,
// registry parameters, targets from path strings with their cache, and the
// packet log.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "comm_fixture.h"
#include "context.h"
#include "cvapi_loader.h"
#include "packet_server.h"
#include "scratch.h"

using namespace comm;

namespace {

class ContextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ConfigureDrivers(); }
  static void TearDownTestSuite() { RemoveConfiguration(); }
  void SetUp() override { SetOptions(""); }
  void TearDown() override { EXPECT_EQ(QxOnlineReferenceCount(), 0u); }
  std::string Path(const char *rest) { return Computer() + "!" + rest; }
};

TEST_F(ContextTest, EveryStartNeedsItsEndAndNothingWorksWithout) {
  DWORD size = 0;
  EXPECT_EQ(QxOnlineGetTargetSize("X!Y", &size), comm::QxE_NOT_INITIALIZED);
  comm::QxASAPacketServer *server = nullptr;
  EXPECT_EQ(comm::QxASAPacketServer::Create(&server), comm::QxE_NOT_INITIALIZED);
  QxOnlineUninitialize();  // at 0: nothing
  QxOnlineInitialize(nullptr, nullptr);
  QxOnlineInitialize(nullptr, nullptr);
  QxOnlineUninitialize();
  EXPECT_EQ(QxOnlineReferenceCount(), 1u);
  ASSERT_EQ(comm::QxASAPacketServer::Create(&server), S_OK);
  delete server;
  QxOnlineUninitialize();
  EXPECT_EQ(QxOnlineReferenceCount(), 0u);
}

// Start and end race on the count unless one lock guards both from load on.
TEST_F(ContextTest, CountingHoldsAcrossThreads) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&failures] {
      for (int n = 0; n < 100; ++n) {
        QxOnlineInitialize(nullptr, nullptr);
        auto target = std::make_unique<QxCommTarget>();
        if (QxOnlineCopyDefaultTarget(target.get()) != S_OK || target->DefaultTimeOut != 32000) ++failures;
        QxOnlineUninitialize();
      }
    });
  }
  for (auto &t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(QxOnlineReferenceCount(), 0u);
}

TEST_F(ContextTest, TheRecordIsReadOnlyAsFarAsItsSize) {
  // The option string only where the record's hive points (HKCU).
  SetText(kParameters, "CommandLine", "/TimeOut=700", HKEY_CURRENT_USER);
  struct Case {
    DWORD size;
    DWORD testMode;
    DWORD timeOut;
  } cases[] = {
      {0, 0, 32000},
      {kQxInitSizeBase - 1, 0, 32000},       // too short for any field
      {kQxInitSizeBase, 2, 32000},           // test mode, not yet the hive
      {kQxInitSizeHive - 1, 2, 32000},
      {kQxInitSizeHive, 2, 700},             // the hive too
      {kQxInitSizeFull, 2, 700},             // the whole record
  };
  for (const Case &c : cases) {
    QxOnlineInitInfo info;
    QxOnlineFillInitInfo(&info, sizeof info);
    info.Size = c.size;
    info.TestMode = 2;
    info.RegistryKeyHive = static_cast<DWORD>(reinterpret_cast<uintptr_t>(HKEY_CURRENT_USER));
    QxOnlineInitialize("Probe", &info);
    auto target = std::make_unique<QxCommTarget>();
    ASSERT_EQ(QxOnlineCopyDefaultTarget(target.get()), S_OK);
    EXPECT_EQ(comm::TestMode(), c.testMode) << c.size;
    EXPECT_EQ(+target->DefaultTimeOut, c.timeOut) << c.size;
    QxOnlineUninitialize();
  }
  DeleteTree(kParameters, HKEY_CURRENT_USER);
}

// Whatever size a caller gives, the record says its revision, size and
// library type in every field the size holds whole, and nothing beyond the
// size (or the record) is written.
TEST(InitRecord, TheFillerSetsEveryFieldTheSizeHoldsAndNothingBeyond) {
  const DWORD record = sizeof(QxOnlineInitInfo);
  for (DWORD size : {DWORD{0}, DWORD{6}, DWORD{8}, DWORD{20}, DWORD{24}, DWORD{54}, kQxInitSizeBase - 1,
                     kQxInitSizeConsole, record, record + 16}) {
    std::vector<BYTE> bytes(record + 32, 0xAB);
    QxOnlineFillInitInfo(reinterpret_cast<QxOnlineInitInfo *>(bytes.data()), size);
    const DWORD filled = std::min(size, record);
    std::vector<BYTE> want(bytes.size(), 0xAB);
    std::fill(want.begin(), want.begin() + filled, BYTE{0});
    // Revision 5 at 0, Size at 4, Library Type "STATIC" at 16 (8 bytes).
    const BYTE revision[4] = {5, 0, 0, 0};
    const BYTE length[4] = {static_cast<BYTE>(filled), static_cast<BYTE>(filled >> 8), 0, 0};
    const BYTE type[8] = {'S', 'T', 'A', 'T', 'I', 'C', 0, 0};
    auto put = [&](DWORD at, const BYTE *field, DWORD n) {
      if (at + n <= filled) std::copy(field, field + n, want.begin() + at);
    };
    put(0, revision, 4);
    put(4, length, 4);
    put(16, type, 8);
    EXPECT_EQ(bytes, want) << "size " << size;
  }
}

// QxParsePathString with no record works on the default one, which another
// thread may be copying: every copy holds one path whole, never a mix.
TEST_F(ContextTest, TheDefaultRecordsPathIsSetAndCopiedUnderTheLock) {
  Context context;
  const char *texts[] = {"01 02", "0A 0B 0C 0D"};
  const WORD counts[] = {2, 4};
  QxParsePathString(nullptr, texts[0]);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 1; !stop; ++i) QxParsePathString(nullptr, texts[i % 2]);
  });
  auto copy = std::make_unique<QxCommTarget>();
  int torn = 0;
  for (int i = 0; i < 2000; ++i) {
    if (QxOnlineCopyDefaultTarget(copy.get()) != S_OK) {
      ++torn;
      continue;
    }
    bool whole = false;
    for (int k = 0; k < 2; ++k)
      whole = whole || (std::strcmp(copy->PathString, texts[k]) == 0 && copy->PathBytes.count == counts[k]);
    torn += !whole;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(ContextTest, TheDefaultRecordStartsAsSpecifiedAndTakesTheOptionString) {
  {
    Context context;
    auto t = std::make_unique<QxCommTarget>();
    ASSERT_EQ(QxOnlineCopyDefaultTarget(t.get()), S_OK);
    EXPECT_EQ(+t->NetworkKind, static_cast<DWORD>(kQxNetDf1));
    EXPECT_EQ(+t->Protocol, static_cast<DWORD>(kQxProtoAsa));
    EXPECT_STREQ(t->DriverName, "MK_DF1-1");
    EXPECT_EQ(+t->NetworkType, 1);
    EXPECT_EQ(+t->DefaultTimeOut, 32000u);
    EXPECT_EQ(+t->ConnectionSize, 500u);
    EXPECT_EQ(+t->RequestedPacketInterval, 8000000u);
    EXPECT_EQ(+t->OptionsWord, 0);  // bit 0x2000 is taken away at start
    EXPECT_STREQ(t->FilePathString, "NOLOGFILE");
    EXPECT_EQ(comm::CurrentLog(), nullptr);
    ASSERT_NE(comm::Definitions(), nullptr) << "comm\\CIP001R01V01.ADF beside the program";
  }
  SetOptions("/TimeOut=250 \"/ConnectionSize=300\" /Bogus=1 /TimeOut=x");
  {
    Context context;
    auto t = std::make_unique<QxCommTarget>();
    ASSERT_EQ(QxOnlineCopyDefaultTarget(t.get()), S_OK);
    EXPECT_EQ(+t->DefaultTimeOut, 250u);
    EXPECT_EQ(+t->ConnectionSize, 300u);
  }
}

TEST_F(ContextTest, TargetDataComesFromTheServerThenFromTheCache) {
  Context context;
  std::string path = Path("SIM-1\\2");
  DWORD size = 0;
  ASSERT_EQ(QxOnlineGetTargetSize(path.c_str(), &size), S_OK);
  std::string top = "SIM-1\\2";
  EXPECT_EQ(size, 4 + Computer().size() + 1 + top.size() + 1);
  std::vector<BYTE> data(512, 0xEE);
  ASSERT_EQ(QxOnlineGetTargetData(path.c_str(), data.data(), 512), S_OK);
  EXPECT_EQ(data[size], 0xEE) << "nothing written beyond the data";
  std::vector<BYTE> small(size - 1);
  EXPECT_EQ(QxOnlineGetTargetData(path.c_str(), small.data(), size - 1), comm::QxE_COMM_BUFFERTOOSMALL);
  EXPECT_EQ(QxOnlineGetTargetSize(nullptr, &size), E_INVALIDARG);
  EXPECT_EQ(QxOnlineGetTargetSize((Computer() + "!NOSUCH\\2").c_str(), &size), comm::QxE_COMM_DTLERROR);

  // With the server's client interface ended behind the library's back, only
  // the cache can answer: the same path in other letters, or its top path.
  ASSERT_EQ(QxOnlineGetTargetSize(path.c_str(), &size), S_OK);
  ASSERT_EQ(cvapi::DTL_UNINIT(0), 0);
  DWORD cached = 0;
  std::string lower = path;
  for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(QxOnlineGetTargetSize(lower.c_str(), &cached), S_OK);
  EXPECT_EQ(cached, size);
  std::vector<BYTE> again(512);
  EXPECT_EQ(QxOnlineGetTargetData(top.c_str(), again.data(), 512), S_OK);
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + size, again.begin()));
  EXPECT_EQ(QxOnlineGetTargetSize(Path("SIM-1\\3").c_str(), &cached), comm::QxE_COMM_DTLERROR);
  ASSERT_EQ(cvapi::DTL_INIT_BSW_EX(1, nullptr), 0);
}

TEST_F(ContextTest, ATesselControllerIsKnownByItsFamilyOrByTheRegistry) {
  Context context;
  auto t = std::make_unique<QxCommTarget>();
  ASSERT_EQ(QxOnlineCopyDefaultTarget(t.get()), S_OK);
  EXPECT_FALSE(QxOnlineIsTesselController(t.get())) << "no target data";
  for (const char *station : {"2", "3"}) {
    std::string path = Path((std::string("SIM-1\\") + station).c_str());
    DWORD size = 0;
    BYTE data[512];
    ASSERT_EQ(QxOnlineGetTargetSize(path.c_str(), &size), S_OK);
    ASSERT_EQ(QxOnlineGetTargetData(path.c_str(), data, sizeof data), S_OK);
    ASSERT_EQ(QxSetTargetFromTargetData(t.get(), data, size), S_OK);
    char top[64];
    ASSERT_EQ(QxOnlineGetTopPathString(t.get(), top, sizeof top), S_OK);
    EXPECT_EQ(std::string(top), std::string("SIM-1\\") + station);
    EXPECT_EQ(QxOnlineGetTopPathString(t.get(), top, 3), comm::QxE_COMM_BUFFERTOOSMALL);
  }
  // Station 3 has family 0: a controller only when the registry says so.
  EXPECT_FALSE(QxOnlineIsTesselController(t.get()));
  const char *key = "Software\\Brenmoor Software\\Quillon\\CommParameters.1";
  SetDword(key, "CorvidDoesntKnowAllProcessors", 1, HKEY_CURRENT_USER);
  EXPECT_TRUE(QxOnlineIsTesselController(t.get()));
  DeleteTree("Software\\Brenmoor Software\\Quillon", HKEY_CURRENT_USER);
}

TEST_F(ContextTest, VirtualBackplaneStandsForTheConfiguredDriverOfItsType) {
  {
    Context context;
    auto t = std::make_unique<QxCommTarget>();
    EXPECT_EQ(QxSetTargetOtherNetwork(t.get(), "MK_VBP-1", "01 00"), comm::QxE_NO_VIRTUAL_BACKPLANE);
    EXPECT_STREQ(t->DriverName, "MK_VBP-1");  // path and kind are set all the same
    EXPECT_EQ(+t->NetworkKind, static_cast<DWORD>(kQxNetOnet));
    EXPECT_EQ(+t->PathBytes.count, 2);
    EXPECT_EQ(QxSetTargetOtherNetwork(t.get(), "SIM-1", nullptr), S_OK);
    EXPECT_STREQ(t->PathString, "00");
    EXPECT_EQ(+t->PathBytes.count, 0);
  }
  SetText(std::string(kDrivers) + "VBP-A", "Kind", "VirtualBackplane");
  {
    Context context;
    auto t = std::make_unique<QxCommTarget>();
    EXPECT_EQ(QxSetTargetOtherNetwork(t.get(), "MK_VBP-1", "01 00"), S_OK);
    EXPECT_STREQ(t->DriverName, "VBP-A");
  }
  {
    Context context(1);  // test modes keep the name as given
    auto t = std::make_unique<QxCommTarget>();
    EXPECT_EQ(QxSetTargetOtherNetwork(t.get(), "MK_VBP-1", "01 00"), S_OK);
    EXPECT_STREQ(t->DriverName, "MK_VBP-1");
  }
  DeleteTree(std::string(kDrivers) + "VBP-A");
}

// Text of the given shape: 'A' an upper-case letter, 'a' a lower-case one, '0' a
// digit, anything else itself.
bool HasShape(const std::string &text, size_t at, const std::string &shape) {
  if (at > text.size() || text.size() - at < shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[at + i]);
    bool ok = shape[i] == 'A' ? std::isupper(c) : shape[i] == 'a' ? std::islower(c) : shape[i] == '0' ? std::isdigit(c)
                                                                                                      : c == shape[i];
    if (!ok) return false;
  }
  return true;
}

TEST_F(ContextTest, ThePacketLogIsWrittenOnlyWhenAFolderIsConfigured) {
  ScratchDir dir;
  {
    Context context(0, "Probe");
    DWORD size;
    QxOnlineGetTargetSize(Path("SIM-1\\2").c_str(), &size);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
  SetOptions("\"/LogPath=" + dir.Path().string() + "\"");
  {
    Context context(0, "Probe");
    DWORD size;
    QxOnlineGetTargetSize(Path("SIM-1\\2").c_str(), &size);
    QxOnlineGetTargetSize(Path("SIM-1\\2").c_str(), &size);
  }
  std::string log = ReadAll(dir.Path() / "Probe.Log");
  const std::string opened = "\nASA Packet Log File Opened on ";
  EXPECT_EQ(log.find(opened), 0u) << log;
  EXPECT_TRUE(HasShape(log, opened.size(), "Aaa Aaa 00 00:00:00.000 0000\n")) << log;
  EXPECT_NE(log.find("QxOnline Initialize Information"), std::string::npos);
  EXPECT_NE(log.find("Tracery Path String = " + Path("SIM-1\\2")), std::string::npos);
  EXPECT_NE(log.find(" - Target Data Cached"), std::string::npos);
  EXPECT_NE(log.find("*pSize = 0x"), std::string::npos) << "the second look-up came from the cache";
  EXPECT_NE(log.find("SUCCESS"), std::string::npos);
}

#ifndef _WIN32
// Starts and ends a context in a child process that its parent (this test)
// traces, as a debugger would: the child's exit status, kNoTracing when the
// system forbids tracing.
constexpr int kNoTracing = 77;
int RunContextUnderATracer() {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (ptrace(PTRACE_TRACEME, 0, nullptr, nullptr) != 0) _exit(kNoTracing);
    QxOnlineInitialize("Watch", nullptr);
    QxOnlineUninitialize();
    _exit(0);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(ContextTest, ADebuggedHostIsToldTheWatchDogIsOff) {
  ScratchDir dir;
  const std::string options = "\"/LogPath=" + dir.Path().string() + "\"";
  const std::string disabled = "MSVC Lockup -- ASAPacketServer Connection Watch Dog Thread is DISABLED\n"
                               "               Set Registry Key HKEY_LOCAL_MACHINE\\" +
                               std::string(kParameters) +
                               "ConnectionWatchDog = 1\n"
                               "               to ENABLE Connection Watch Dog Thread\n";
  SetOptions(options);
  int status = RunContextUnderATracer();
  if (status == kNoTracing) GTEST_SKIP() << "this system does not allow tracing";
  ASSERT_EQ(status, 0);
  EXPECT_NE(ReadAll(dir.Path() / "Watch.Log").find(disabled), std::string::npos) << ReadAll(dir.Path() / "Watch.Log");
  // Not debugged, or the watch dog on: nothing said.
  { Context context(0, "Watch"); }
  EXPECT_EQ(ReadAll(dir.Path() / "Watch.Log").find("Watch Dog"), std::string::npos);
  SetDword(kParameters, "ConnectionWatchDog", 1);
  ASSERT_EQ(RunContextUnderATracer(), 0);
  EXPECT_EQ(ReadAll(dir.Path() / "Watch.Log").find("Watch Dog"), std::string::npos);
}
#endif

}  // namespace
