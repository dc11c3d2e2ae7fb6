#include "update/cycle_watchdog.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/unique_handle.h"
#include "net/download_folder.h"
#include "support/log_capture.h"
#include "support/test_files.h"

namespace {

// Longer than any bound below: a watchdog that has not acted by then never
// will.
constexpr DWORD kEndWaitMilliseconds = 30000;

// Bounds of seconds: the whole cycle an hour unless a test says otherwise,
// no grace after a network wait.
ServiceBounds Bounds(uint32_t cycleSeconds = 3600) {
  ServiceBounds bounds = kServiceBounds;
  bounds.cycleSeconds = cycleSeconds;
  bounds.graceSeconds = 0;
  return bounds;
}

// Stands for the service's end: counts the calls and lets the test wait for
// the first.
class EndRecorder {
 public:
  EndRecorder() : ended_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  std::function<void()> Action() {
    return [this] {
      ++calls_;
      SetEvent(ended_.get());
    };
  }
  bool WaitEnded(DWORD milliseconds) {
    return WaitForSingleObject(ended_.get(), milliseconds) == WAIT_OBJECT_0;
  }
  int calls() const { return calls_; }

 private:
  UniqueKernelHandle ended_;
  int calls_ = 0;
};

}  // namespace

// A network wait past its bound, or the whole cycle past its own, ends the
// cycle once, with its own event.
TEST(CycleWatchdog, BoundPassedEndsTheCycleOnceWithItsEvent) {
  struct Case {
    uint32_t cycleSeconds;
    bool networkWait;
    const wchar_t* event;
  };
  for (const Case& c : {Case{3600, true, L"1303 1460"}, Case{1, false, L"1304 1460"}}) {
    LogCapture log(false);
    EndRecorder end;
    {
      CycleWatchdog watchdog(Bounds(c.cycleSeconds), end.Action());
      CycleWatchdog::NetworkWait wait(c.networkWait ? &watchdog : nullptr, 1);
      EXPECT_TRUE(end.WaitEnded(kEndWaitMilliseconds)) << c.event;
    }
    EXPECT_EQ(1, end.calls()) << c.event;
    EXPECT_EQ(std::vector<std::wstring>{c.event}, log.Messages());
  }
}

// A wait that ends, or is extended, within its bound ends nothing; neither
// does the watchdog of a cycle that returned.
TEST(CycleWatchdog, WaitsWithinTheirBoundsEndNothing) {
  LogCapture log(false);
  EndRecorder end;
  {
    CycleWatchdog watchdog(Bounds(), end.Action());
    { CycleWatchdog::NetworkWait ended(&watchdog, 1); }
    EXPECT_FALSE(end.WaitEnded(2500));
    CycleWatchdog::NetworkWait extended(&watchdog, 1);
    extended.Extend(3600);
    EXPECT_FALSE(end.WaitEnded(2500));
  }
  EXPECT_EQ(0, end.calls());
  EXPECT_TRUE(log.Messages().empty());
}

// The cycle's thread may be held inside a call with the download file open:
// the watchdog closes it and removes the folder, and a later write fails.
TEST(CycleWatchdog, EndingTheCycleRemovesTheDownloadFolderWithItsOpenFile) {
  LogCapture log(false);
  EndRecorder end;
  CycleWatchdog watchdog(Bounds(), end.Action());
  DownloadFolder folder(kSystemPlatform, &watchdog);
  ASSERT_TRUE(folder.Create());
  ASSERT_TRUE(folder.OpenDownloadFile());
  ASSERT_TRUE(folder.WriteToFile("half a package", 14));
  CycleWatchdog::NetworkWait wait(&watchdog, 1);
  ASSERT_TRUE(end.WaitEnded(kEndWaitMilliseconds));
  std::wstring path = folder.filePath();
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(FileExists(path.substr(0, path.rfind(L'\\'))));
  EXPECT_FALSE(folder.WriteToFile("more", 4));
  EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());
  EXPECT_EQ(std::vector<std::wstring>{L"1303 1460"}, log.Messages());
}
