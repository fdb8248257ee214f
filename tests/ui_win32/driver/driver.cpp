// Drives QelvoInstall.exe from outside, as a person would: starts it, selects a profile,
// clicks the install button, answers each box the way the command line says, waits for
// the run to end, and finally closes the main window. Everything it sees goes to a log:
//
//   qelvo-ui-driver PROGRAM.exe LOG [--screens DIR]
//                   [--profile N [--confirm yes|no] [--input TEXT]...]...
//
// Each --profile starts one run; --confirm answers its "download again?" boxes (default
// no); each --input answers one input box in order (none left: Cancel). Message boxes
// are confirmed with OK; an error box fails the drive. --screens saves pictures of the
// status window (the first time it shows) and of the main window after each run. Exit
// status 0 when every run ended and the program closed, 1 otherwise.
#include <chrono>
#include <cstdio>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "box_driver.h"
#include "ui/win32/window_names.h"
#include "window_shot.h"

namespace {

using namespace qelvo::ui::win32;
using namespace qelvo::ui::win32::testing;
using Clock = std::chrono::steady_clock;

struct TRun {
  int Profile = 0;
  bool Confirm = false;
  std::deque<std::string> Inputs;
};

class TDriver {
 public:
  TDriver(FILE* log, std::wstring screens) : log_(log), screens_(std::move(screens)) {}
  bool Start(const std::wstring& program);
  bool Drive(TRun run);
  bool Close();
  ~TDriver() {
    if (process_) ::CloseHandle(process_);
  }

 private:
  void Log(const std::string& line) {
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
  }
  HWND Control(int id) const;
  bool Exited() const { return ::WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; }

  void Picture(HWND w, const std::string& name);

  FILE* log_;
  std::wstring screens_;
  int runs_ = 0;
  bool statusPictured_ = false;
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

struct TFind {
  int Id;
  HWND Found = nullptr;
};

BOOL CALLBACK VisitControl(HWND c, LPARAM p) {
  auto& f = *reinterpret_cast<TFind*>(p);
  if (::GetDlgCtrlID(c) == f.Id) {
    f.Found = c;
    return FALSE;
  }
  return TRUE;
}

HWND TDriver::Control(int id) const {
  TFind f{id};
  ::EnumChildWindows(main_, VisitControl, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

void TDriver::Picture(HWND w, const std::string& name) {
  if (screens_.empty()) return;
  const std::string file = Narrow(screens_) + "\\" + name;
  Log((SavePng(ShootFromScreen(w), file) ? "picture " : "picture not saved: ") + file);
}

bool TDriver::Start(const std::wstring& program) {
  std::wstring folder = program.substr(0, program.find_last_of(L"\\/") + 1);
  std::wstring commandLine = L"\"" + program + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    Log("cannot start the program (error " + std::to_string(::GetLastError()) + ")");
    return false;
  }
  ::CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  const auto deadline = Clock::now() + std::chrono::seconds(60);
  while (!(main_ = FindProcessWindow(pid_, kMainClass))) {
    if (Exited() || Clock::now() > deadline) {
      Log("the main window did not appear");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Log("main window \"" + ControlText(main_) + "\"");
  return true;
}

bool TDriver::Drive(TRun run) {
  Log("run profile " + std::to_string(run.Profile) + " \"" + ControlText(Control(kFirstProfileId + run.Profile)) + "\"");
  // Clicks, as the mouse would give them: the profile's item, then the button (posted: its
  // handler is the whole run).
  ::SendMessageW(Control(kFirstProfileId + run.Profile), BM_CLICK, 0, 0);
  const HWND button = Control(kInstallButtonId);
  ::PostMessageW(button, BM_CLICK, 0, 0);

  // Started once the button is disabled, a box is open or the status window shows; ended
  // when the button is enabled again with no box open.
  bool started = false, ok = true;
  HWND answered = nullptr;
  const auto deadline = Clock::now() + std::chrono::minutes(3);
  int quiet = 0;
  while (true) {
    if (Exited()) {
      Log("the program ended during the run");
      return false;
    }
    if (Clock::now() > deadline) {
      Log("the run did not end in 3 minutes");
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (answered && ::IsWindow(answered) && ::IsWindowVisible(answered)) continue;
    answered = nullptr;
    const HWND status = FindProcessWindow(pid_, kStatusClass);
    if (!::IsWindowEnabled(button) || status) started = true;
    if (status && !statusPictured_) {
      statusPictured_ = true;
      std::this_thread::sleep_for(std::chrono::milliseconds(150));  // painted
      Picture(status, "status-window.png");
    }
    if (auto box = FindOpenBox(pid_)) {
      started = true;
      quiet = 0;
      bool accept = true;
      std::string text;
      if (box->Kind == "confirm") accept = run.Confirm;
      if (box->Kind == "input") {
        accept = !run.Inputs.empty();
        if (accept) {
          text = run.Inputs.front();
          run.Inputs.pop_front();
        }
      }
      if (box->Kind == "error") ok = false;
      Log(box->Kind + " [" + box->Caption + "] " + box->Text +
          (box->Kind == "confirm" ? (accept ? " -> yes" : " -> no") : "") +
          (box->Kind == "input" ? (accept ? " -> " + text : " -> cancel") : ""));
      AnswerBox(*box, accept, text);
      answered = box->Window;
      continue;
    }
    if (started && ::IsWindowEnabled(button) && ++quiet >= 5) break;
  }
  HWND progress = Control(kProgressBarId);
  Log("end of run: progress " + std::to_string(::SendMessageW(progress, PBM_GETPOS, 0, 0)) + " of " +
      std::to_string(::SendMessageW(progress, PBM_GETRANGE, FALSE, 0)) + ", status window " +
      (FindProcessWindow(pid_, kStatusClass) ? "shown" : "hidden"));
  Picture(main_, "main-window-run" + std::to_string(++runs_) + ".png");
  return ok;
}

bool TDriver::Close() {
  ::PostMessageW(main_, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(process_, 30000) != WAIT_OBJECT_0) {
    Log("the program did not end after the close");
    ::TerminateProcess(process_, 1);
    return false;
  }
  DWORD code = 0;
  ::GetExitCodeProcess(process_, &code);
  Log("program ended with " + std::to_string(code));
  return code == 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qelvo-ui-driver PROGRAM.exe LOG [--screens DIR] [--profile N [--confirm yes|no] "
                         "[--input TEXT]...]...\n");
    return 2;
  }
  std::vector<TRun> runs;
  std::wstring screens;
  for (int i = 3; i < argc; ++i) {
    const std::wstring a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == L"--screens" && hasValue) screens = argv[++i];
    else if (a == L"--profile" && hasValue) runs.push_back(TRun{_wtoi(argv[++i]), false, {}});
    else if (a == L"--confirm" && hasValue && !runs.empty()) runs.back().Confirm = std::wstring(argv[++i]) == L"yes";
    else if (a == L"--input" && hasValue && !runs.empty()) runs.back().Inputs.push_back(Narrow(argv[++i]));
    else {
      std::fprintf(stderr, "qelvo-ui-driver: unexpected argument %ls\n", argv[i]);
      return 2;
    }
  }
  FILE* log = _wfopen(argv[2], L"w");
  if (!log) {
    std::fprintf(stderr, "qelvo-ui-driver: cannot write %ls\n", argv[2]);
    return 2;
  }
  bool ok = false;
  {
    TDriver driver(log, screens);
    ok = driver.Start(argv[1]);
    for (auto& run : runs) ok = ok && driver.Drive(std::move(run));
    ok = driver.Close() && ok;
  }
  std::fclose(log);
  return ok ? 0 : 1;
}
