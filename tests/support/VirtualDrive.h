// A virtual control over a fresh TNC drive that holds the exchange table
// (the template), for the tests of the virtual control and its NC side.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "mailbox/MailboxRows.h"
#include "support/TestSupport.h"
#include "vc/VirtualControl.h"

namespace ostrana::test {

class VirtualDriveTest : public ::testing::Test {
 protected:
  VirtualDriveTest() : control(dir.path() / "tnc") {
    std::filesystem::create_directories(dir.path() / "tnc" / "Quorvane");
    std::filesystem::copy_file(TemplateFile(), dir.path() / "tnc" / "Quorvane" / mailbox::kTableFileName);
  }
  TempDir dir;
  vc::VirtualControl control;
};

}  // namespace ostrana::test
