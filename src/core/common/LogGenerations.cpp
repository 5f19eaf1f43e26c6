#include "common/LogGenerations.h"

#include <chrono>
#include <filesystem>

#include "common/PathText.h"
#include <system_error>
#include <thread>

#include "common/Console.h"

namespace ostrana {
namespace fs = std::filesystem;

namespace {
void Say(const std::string& text) { console::Err("ostrana: " + text); }
}  // namespace

bool LogGenerations::Open(const std::string& path) {
  path_ = path;
  std::string why;
  if (!file_.Open(path_, &why)) {
    if (lostWhy_.empty()) Say("the log " + path_ + " cannot be written: " + why);
    lostWhy_ = why;
    return false;
  }
  written_ = file_.Size();
  return true;
}

void LogGenerations::Append(const std::string& line) {
  if (!file_.IsOpen()) {
    ++lost_;
    if (lostWhy_.empty()) lostWhy_ = "it is not open";
    return;
  }
  if (file_.Regular() && written_ > 0 && written_ + line.size() > fileBytes_) Rotate();
  std::string why;
  if (lost_ > 0) {
    // The file takes lines again: first the count of those it did not.
    const std::string notice = stamp_() + " WARN  log: " + std::to_string(lost_) +
                               " lines were not kept: the log could not be written (" + lostWhy_ + ")\n";
    if (!file_.IsOpen() || !file_.Write(notice, &why)) {
      ++lost_;
      return;
    }
    written_ += notice.size();
    lost_ = 0;
    lostWhy_.clear();
  }
  if (file_.IsOpen() && file_.Write(line, &why)) {
    written_ += line.size();
    return;
  }
  if (lostWhy_.empty()) Say("the log " + path_ + " cannot be written: " + why + "; its lines are counted until it can");
  lostWhy_ = why.empty() ? "it is not open" : why;
  ++lost_;
}

void LogGenerations::Finish() {
  if (lost_ == 0) return;
  const std::string said = std::to_string(lost_) + " lines were not kept: the log could not be written (" + lostWhy_ + ")";
  std::string why;
  // The disk may have room again for this one line; stderr has it in any case.
  if (file_.IsOpen()) file_.Write(stamp_() + " WARN  log: " + said + "\n", &why);
  Say("the log " + path_ + ": " + said);
  lost_ = 0;
  lostWhy_.clear();
}

void LogGenerations::Rotate() {
  file_.Close();
  std::error_code ec, renamed;
  // ostrana.log.3 -> .4, ..., ostrana.log -> .1; the oldest goes.
  for (int i = files_ - 1; i >= 1; --i) {
    const std::string from = i == 1 ? path_ : path_ + "." + std::to_string(i - 1);
    // A file another program holds open for a moment (a virus scanner, an
    // indexer) cannot be renamed on Windows: tried again a little later.
    for (int attempt = 0; attempt < 5; ++attempt) {
      fs::rename(PathOf(from), PathOf(path_ + "." + std::to_string(i)), ec);
      std::error_code missing;
      if (!ec || !fs::exists(PathOf(from), missing)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (i == 1) renamed = ec;
  }
  std::string notice;
  std::error_code missing;
  if (renamed && fs::exists(PathOf(path_), missing)) {
    // The log itself cannot be renamed (on Windows, a viewer holding it
    // without delete sharing): it is kept as the newest older generation by
    // a copy where it can be, and emptied so that it stays within its size.
    // Tried again at every rotation; said on stderr once until one succeeds.
    std::error_code copyFailed, emptied;
    const bool copied =
        fs::copy_file(PathOf(path_), PathOf(path_ + ".1"), fs::copy_options::overwrite_existing, copyFailed) &&
        fs::is_regular_file(PathOf(path_ + ".1"), copyFailed);
    fs::resize_file(PathOf(path_), 0, emptied);
    const std::string why = "the log " + path_ + " could not be rotated (" + renamed.message() + ")";
    notice = why + (emptied  ? ", nor emptied (" + emptied.message() + "): it grows past its size"
                    : copied ? ": it was copied to " + path_ + ".1 and emptied"
                             : ": the " + std::to_string(written_) + " bytes written before this line are lost (" +
                                   (copyFailed ? copyFailed.message() : "no copy could be made") + ")");
    if (!rotationFails_) Say(notice);
    rotationFails_ = true;
  } else {
    rotationFails_ = false;
  }
  std::string why;
  if (!file_.Open(path_, &why) && lostWhy_.empty()) {
    Say("the log " + path_ + " cannot be written: " + why);
    lostWhy_ = why;
  }
  written_ = file_.IsOpen() ? file_.Size() : 0;
  if (!notice.empty() && file_.IsOpen() && file_.Write(stamp_() + " WARN  log: " + notice + "\n", &why))
    written_ = file_.Size();
}

}  // namespace ostrana
