// close-console.exe: what Windows does to ostrana.exe when the console it is
// attached to is closed, for the process tests under Wine, whose console
// closes without telling its processes: kernelbase's console control
// routine runs with CTRL_CLOSE_EVENT on a new thread of every ostrana.exe of
// this bitness, as Windows starts it, and the process is ended once the
// routine has returned, or after five seconds.
#include <windows.h>
#include <tlhelp32.h>

int main() {
  const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine")));
  const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(all, &entry); more; more = Process32Next(all, &entry)) {
    if (lstrcmpiA(entry.szExeFile, "ostrana.exe")) continue;
    const HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
    WaitForSingleObject(
        CreateRemoteThread(process, nullptr, 0, routine, reinterpret_cast<void*>(CTRL_CLOSE_EVENT), 0, nullptr), 5000);
    TerminateProcess(process, STATUS_CONTROL_C_EXIT);
  }
}
