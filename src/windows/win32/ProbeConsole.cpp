#include "win32/ProbeConsole.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <utility>

#include "comdnc/Probe.h"
#include "comdnc/Registration.h"
#include "common/EventLog.h"
#include "common/NewFile.h"
#include "common/PathText.h"
#include "common/Process.h"
#include "common/StringTable.h"
#include "common/SystemText.h"
#include "common/WideText.h"
#include "protocol/ArgumentParsers.h"
#include "win32/ConsoleAnswers.h"

namespace ostrana::win32 {
namespace {

namespace fs = std::filesystem;

// UTF-8 to the console (written wide there, see WriteSome) or to the stream it leads to.
void Say(const std::string& text) { WriteToStream(stdout, text.data(), text.size()); }

// A text of the event log in the program's UTF-8: a client's connection
// text is logged as it came, in the ANSI code page (its bytes that are no
// UTF-8 escaped as "\xNN": undone first).
std::string AsUtf8(const std::string& text) { return IsUtf8(text) ? text : Utf8FromCodePage(text, CP_ACP); }

// The connection text and number of the last accepted "Machine Connect" in
// the event log, for the console's defaults; "localhost" and 0 without one.
std::pair<std::string, std::string> LastConnection() {
  std::pair<std::string, std::string> last{"localhost", "0"};
  std::ifstream log(PathOf(run::DefaultLogFile()));
  const std::string mark = "INFO  machine: connected to ";
  for (std::string line; std::getline(log, line);) {
    const auto at = line.find(mark);
    const auto base = line.rfind(", base row ");
    if (at == std::string::npos || base == std::string::npos || base < at + mark.size()) continue;
    const std::string data = line.substr(at + mark.size(), base - at - mark.size());  // "TEXT,NUMBER"
    const auto comma = data.rfind(',');
    if (comma != std::string::npos) last = {AsUtf8(FromPrintable(data.substr(0, comma))), data.substr(comma + 1)};
  }
  return last;
}

// A new file of the program's own temporary pattern beside `kept`, open for
// writing and reading; null (and why) when it cannot be made.
std::FILE* NewTemporary(const fs::path& kept, fs::path& temp, std::string& why) {
  std::string name = ".";  // appended, not "." + ...: GCC 12 warns falsely of an overlap there
  name += TextOf(kept.filename()) + ".ostrana-" + RandomName() + ".tmp";
  temp = kept.parent_path() / PathOf(name);
  const HANDLE file =
      CreateFileW(temp.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = SystemText(GetLastError());
    return nullptr;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "w+b");
  if (!stream) {
    why = "it cannot be opened as a stream";
    fd < 0 ? CloseHandle(file) : _close(fd);
    std::error_code ec;
    fs::remove(temp, ec);
  }
  return stream;
}

std::string Header(const std::string& text, const std::string& number) {
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  return std::string(strings::kAppName) + " " + strings::kVersion + ", " + std::to_string(comdnc::ProgramBits()) +
         "-bit: DNC probe of " + date + " (connection " + (text.empty() ? "none given" : text) + ", " +
         (number.empty() ? "-" : number) + ")\n\n";
}

// Runs the probe; its report on the console and, where it can be, kept.
int ProbeAndKeep(const std::string& text, std::int32_t number, const std::string& numberText) {
  std::string why = run::DefaultFoldersProblem();
  const std::string folder = why.empty() ? TextOf(PathOf(run::DefaultLogFile()).parent_path()) : std::string();
  const fs::path kept = PathOf(folder) / "dnc-probe.txt";
  fs::path temp;
  std::FILE* report = nullptr;
  if (why.empty()) {
    std::error_code ec;
    fs::create_directories(PathOf(folder), ec);
    report = NewTemporary(kept, temp, why);
  }
  if (!report) {  // on the console only
    Say(Header(text, numberText));
    std::fflush(stdout);
    const int code = comdnc::RunProbe(text, number, stdout);
    std::fflush(stdout);
    Say("Exit code " + std::to_string(code) + ".\n\nThis report could not be kept" +
        (folder.empty() ? "" : " in " + TextOf(kept)) + ": " + why + ".\n");
    return code;
  }
  std::fputs(Header(text, numberText).c_str(), report);
  const int code = comdnc::RunProbe(text, number, report);
  std::fprintf(report, "Exit code %d.\n", code);
  std::fflush(report);
  std::rewind(report);
  std::string whole;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, report)) > 0;) whole.append(chunk, n);
  const bool written = !std::ferror(report);
  std::fclose(report);
  Say(whole);
  std::error_code ec;
  if (written) fs::rename(temp, kept, ec);
  if (written && !ec) {
    Say("\nThis report is also in " + TextOf(kept) + ", to be sent to whoever supports the machine.\n");
  } else {
    fs::remove(temp, ec);
    Say("\nThis report could not be kept in " + TextOf(kept) + ": " +
        (written ? ec.message() : std::string("it could not be written")) + ".\n");
  }
  return code;
}

}  // namespace

int RunProbeConsole(run::Options options) {
  if (options.probeAsk) {
    const auto [text, number] = LastConnection();
    options.probeMachineText = Ask("The control's connection text", text);
    options.probeNumber = Ask("The connection number", number);
  }
  int code = comdnc::kProbeNotConnected;
  // The number read as the connector reads a client's; what no request could carry is refused.
  const auto data = protocol::ConnectionAsRequested(options.probeMachineText, options.probeNumber);
  if (options.probeMachineText.empty() || data)
    code = ProbeAndKeep(options.probeMachineText, data ? data->connectionNumber : 0, options.probeNumber);
  else
    Say("ostrana: the connection text \"" + options.probeMachineText + "\" with number \"" + options.probeNumber +
        "\" cannot come from a client (a comma or a line's end would split its request): not probed.\n");
  if (options.probeAsk) {
    Say("\nPress Enter to close this window.");
    ReadAnswer();
  }
  std::fflush(stdout);
  return code;
}

}  // namespace ostrana::win32
