#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <vector>

#include <filesystem>
#include <fstream>

#include "mailbox/MailboxRows.h"
#include "support/TestSupport.h"
#include "support/VirtualDrive.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
using namespace ostrana::vc;
namespace fs = std::filesystem;

using VirtualControlTest = test::VirtualDriveTest;

// Column widths come from the header: a value that does not fit is refused
// and the table keeps its size, however long the value. A table the user
// made read-only is not written, whoever runs the connector (its mode is
// looked at: root's open would pass), and the write fails with the reason; a
// table rewritten keeps its mode.
TEST_F(VirtualControlTest, AValueWiderThanItsColumnOrAReadOnlyTableIsRefusedAndTheTableKeepsItsShape) {
  const auto file = dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName;
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(-2.5)), dnc::kOk);
  const auto size = fs::file_size(file);
  EXPECT_LT(control.WriteCell(mailbox::kTablePath, 900, "PARAM", dnc::Variant::FromText(std::string(100000, '9'))), 0);
  ASSERT_EQ(control.WriteCell(mailbox::kTablePath, 6, "PARAM", dnc::Variant::FromR8(-2.2250738585072014e-308)),
            dnc::kOk);
  EXPECT_EQ(fs::file_size(file), size);
  dnc::Variant v;
  ASSERT_EQ(control.ReadCell(mailbox::kTablePath, 900, "PARAM", &v), dnc::kOk);
  EXPECT_EQ(v.i4, 0);
  dnc::TakeFailureText();
  for (const auto mode : {fs::perms(0640), fs::perms(0444)}) {
    fs::permissions(file, mode);
    const std::string before = test::ReadText(file);
    const bool writable = mode == fs::perms(0640);
    EXPECT_EQ(control.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(7)) == dnc::kOk, writable);
    EXPECT_EQ(dnc::TakeFailureText(),
              writable ? "" : "the table " + file.string() + " cannot be written: it is read-only");
    EXPECT_EQ(test::ReadText(file) == before, !writable);
#ifndef _WIN32  // Windows keeps only the read-only mark
    EXPECT_EQ(fs::status(file).permissions(), mode);
#endif
  }
}

// What a killed run left is cleaned, and nothing of the user's; no path, and
// no link, leads off the drive.
TEST_F(VirtualControlTest, TheDriveIsCleanedAndClosedWhenItOpens) {
  EXPECT_EQ(control.MapPath("TNC:\\Quorvane\\x.TAB"), dir.path() / "tnc" / "Quorvane" / "x.TAB");
  EXPECT_EQ(control.MapPath("tnc:/a/./b"), dir.path() / "tnc" / "a" / "b");
  for (const char* outside : {"TNC:\\..\\etc\\passwd", "TNC:\\a\\..\\..\\x", "C:\\Windows", "XNC:\\Quorvane"})
    EXPECT_FALSE(control.MapPath(outside)) << outside;
  EXPECT_FALSE(control.FileExists("TNC:\\Quorvane\\", "../Quorvane/Quorvane_Relavio.TAB"));  // a name, not a path
  const auto folder = dir.path() / "tnc" / "Quorvane";
  const auto stale = folder / ".Quorvane_Relavio.TAB.ostrana-0123456789abcdef.tmp";  // a killed run's
  std::ofstream(stale) << "half a table";
  fs::create_directories(dir.path() / "tnc" / "NC_PROG");
  for (const auto& mine :
       {folder / "Quorvane_Relavio.TAB.tmp2147483647", dir.path() / "tnc" / "NC_PROG" / "part.tmp99999",
        folder / "notes.tmp", folder / ".x.ostrana-0123456789abcdeg.tmp", folder / ".x.ostrana-0123456789abcdef.bak"})
    std::ofstream(mine) << "a file of the user's";
  fs::create_directories(dir.path() / "elsewhere");
  std::error_code linkError;  // Windows makes links only with a privilege
  fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "tnc" / "Linked", linkError);
  VirtualControl reopened(dir.path() / "tnc");
  EXPECT_EQ(reopened.RemoveStaleTemporaries(), std::vector<fs::path>{stale});
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator(dir.path() / "tnc"), {}),
            linkError ? 8 : 9);  // the user's five, the table, two folders, the link
#ifndef _WIN32
  // A link planted where a table's temporary file once was leads the write nowhere.
  fs::create_symlink(dir.path() / "elsewhere" / "victim",
                     folder / ("Quorvane_Relavio.TAB.tmp" + std::to_string(::getpid())));
  ASSERT_EQ(reopened.WriteCell(mailbox::kTablePath, 5, "PARAM", dnc::Variant::FromR8(1.5)), dnc::kOk);
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "victim"));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder / mailbox::kTableFileName)));
#endif
  if (!linkError) {
    EXPECT_FALSE(reopened.MapPath("TNC:\\Linked\\Quorvane_Relavio.TAB"));
    EXPECT_LT(reopened.MakeDirectory("TNC:\\Linked\\sub"), 0);
    EXPECT_FALSE(fs::exists(dir.path() / "elsewhere" / "sub"));
  }
  std::ofstream(dir.path() / "tnc" / ".ostrana.lock") << "4242";  // the connector's drive lock: out of reach
  for (const char* lock : {"TNC:\\.ostrana.lock", "TNC:/./.OSTRANA.LOCK. ", "TNC:\\.ostrana.lock::$DATA"})
    EXPECT_FALSE(reopened.MapPath(lock)) << lock;
  EXPECT_FALSE(reopened.FileExists("TNC:\\", ".ostrana.lock"));
}
