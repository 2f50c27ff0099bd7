// The application as a program of its own: its application class served by
// a local server, its open projects registered in the running-object table.
// Windows starts the server and binds across processes; the platform layer
// serves in-process classes only and keeps one table per process.
#include <string.h>

#include <chrono>
#include <thread>
#include <vector>

#include "component_fixture.h"
#include "standin_record.h"
#ifdef _WIN32
#include <tlhelp32.h>
#endif

namespace {

WString Text(const char *s) { return WString(s, s + strlen(s)); }

// Release 15's application ProgId registered to the stand-in executable as
// its local server, as the application's installer registers it.
class LocalServer : public MachineKeysTest {
 protected:
  void SetUp() override {
    SetMachineString((kClasses + kApplication + OLESTR("\\CLSID")).c_str(), nullptr, m_clsid.c_str());
    WString command = OLESTR("\"") + Executable() + OLESTR("\" /Automation");
    SetMachineString((kClasses + OLESTR("CLSID\\") + m_clsid + OLESTR("\\LocalServer32")).c_str(), nullptr,
                     command.c_str());
  }
  void TearDown() override {
    DeleteMachineTree((kClasses + kApplication).c_str());
    DeleteMachineTree((kClasses + OLESTR("CLSID\\") + m_clsid).c_str());
    MachineKeysTest::TearDown();
  }
  WString Executable() const { return m_installation.WindowsBin() + OLESTR("\\Quillon.Exe"); }
  void Revision15(ComPtr<IRevision_V2> &revision) {
    m_directory = InitializedDirectory();
    ComPtr<IRevision> found;
    ASSERT_EQ(m_directory->GetRevisionFromSoftwareVersion(15, 1, found.Out()), S_OK);
    ASSERT_EQ(found->QueryInterface(IID_IRevision_V2, revision.OutVoid()), S_OK);
  }

  static inline const WString kClasses = OLESTR("SOFTWARE\\Classes\\");
  static inline const WString kApplication = OLESTR("Quillon.Application.15.00");
  const WString m_clsid = Text(STANDIN_LOCAL_APPLICATION_CLSID_TEXT);
  StandInInstallation m_installation;
  ComPtr<IRevisionDirectory_V6> m_directory;
};

}  // namespace

#ifdef _WIN32
namespace {

// The ids of the processes running the program at `path`.
std::vector<DWORD> ProcessesOf(const WString &path) {
  std::vector<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (!process) continue;
    WCHAR image[MAX_PATH];
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, image, &size) && !_wcsicmp(image, path.c_str()))
      ids.push_back(entry.th32ProcessID);
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return ids;
}

// A stand-in process, ended by force when the test is done with it and it
// has not ended by itself.
class StandInProcess {
 public:
  StandInProcess(const WString &program, const WString &arguments) {
    WString line = OLESTR("\"") + program + OLESTR("\" ") + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
      CloseHandle(info.hThread);
      m_handle = info.hProcess;
      m_id = info.dwProcessId;
    }
  }
  explicit StandInProcess(DWORD id) : m_handle(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id)), m_id(id) {}
  ~StandInProcess() {
    if (!m_handle) return;
    if (!EndsWithin(0)) {
      TerminateProcess(m_handle, 1);
      EndsWithin(5000);
    }
    CloseHandle(m_handle);
  }
  StandInProcess(const StandInProcess &) = delete;
  StandInProcess &operator=(const StandInProcess &) = delete;

  explicit operator bool() const { return m_handle != nullptr; }
  DWORD Id() const { return m_id; }
  bool EndsWithin(DWORD ms) const { return WaitForSingleObject(m_handle, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE m_handle = nullptr;
  DWORD m_id = 0;
};

// The server's own answer: the id of the process the call ran in.
DWORD ProcessIdOf(IDispatch *application) {
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(InvokeByName(application, OLESTR("ProcessId"), DISPATCH_PROPERTYGET, nullptr, 0, &result), S_OK);
  EXPECT_EQ(V_VT(&result), VT_I4);
  return V_VT(&result) == VT_I4 ? static_cast<DWORD>(V_I4(&result)) : 0;
}

// How long the stand-in may take to register its project or to end; it does
// either at once.
constexpr DWORD kEndsWithinMs = 20000;

}  // namespace

TEST_F(LocalServer, ApplicationRunsInTheServerItStartsWhichEndsWhenReleased) {
  ComPtr<IRevision_V2> revision;
  ASSERT_NO_FATAL_FAILURE(Revision15(revision));
  ASSERT_TRUE(ProcessesOf(Executable()).empty()) << "the server was running before it was asked for";
  ComPtr<IDispatch> application;
  ASSERT_EQ(revision->CreateQuillonApplicationInstance(application.Out()), S_OK);
  DWORD id = ProcessIdOf(application.Get());
  EXPECT_NE(id, GetCurrentProcessId());
  EXPECT_EQ(ProcessesOf(Executable()), std::vector<DWORD>{id}) << "the call did not reach the server COM started";
  StandInProcess server(id);
  ASSERT_TRUE(server);
  application.Reset();
  EXPECT_TRUE(server.EndsWithin(kEndsWithinMs)) << "the server runs on with no object held";
}

TEST_F(LocalServer, ProjectOpenInAnotherProcessIsFoundUntilItIsClosed) {
  WString project = m_installation.WindowsBin() + OLESTR("\\Line 4.ACD");
  StandInProcess holder(Executable(), OLESTR("/Open \"") + project + OLESTR("\""));
  ASSERT_TRUE(holder);
  auto directory = InitializedDirectory();
  Bstr path(project.c_str());
  ComPtr<IDispatch> found;
  // The project is registered some time after the program starts.
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndsWithinMs);
  while (directory->FindQuillonApplicationInstance(path.Get(), found.Out()) != S_OK &&
         std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(found) << "the open project was not found";
  EXPECT_EQ(ProcessIdOf(found.Get()), holder.Id());

  ComPtr<IDispatch> none;
  Bstr other((m_installation.WindowsBin() + OLESTR("\\Line 5.ACD")).c_str());
  EXPECT_EQ(directory->FindQuillonApplicationInstance(other.Get(), none.Out()), RdE_FileNotOpenedByQuillon);
  EXPECT_FALSE(none);

  // Closing the project revokes its registration; the program ends with
  // the last reference.
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(InvokeByName(found.Get(), OLESTR("Quit"), DISPATCH_METHOD, nullptr, 0, &result), S_OK);
  EXPECT_EQ(directory->FindQuillonApplicationInstance(path.Get(), none.Out()), RdE_FileNotOpenedByQuillon);
  found.Reset();
  EXPECT_TRUE(holder.EndsWithin(kEndsWithinMs)) << "the application runs on with no project and no client";
}

#else

// No local servers here: the class has no server this platform can start.
TEST_F(LocalServer, ApplicationClassIsNotRegisteredHere) {
  ComPtr<IRevision_V2> revision;
  ASSERT_NO_FATAL_FAILURE(Revision15(revision));
  ComPtr<IDispatch> application;
  EXPECT_EQ(revision->CreateQuillonApplicationInstance(application.Out()), REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(application);
  EXPECT_TRUE(TakeErrorInfo().present);
}

#endif
