#include <gtest/gtest.h>

#include "mailbox/MailboxLayout.h"
#include "support/VirtualDrive.h"
#include "vc/VcComponent.h"

using namespace ostrana;
using dnc::ComPtr;
using dnc::InterfaceId;
using VcComponentTest = test::VirtualDriveTest;

// A data entry lives on after its session ends, disconnected or replaced by a
// new connection request: it must fail "not connected", never act on the
// session that came after it.
TEST_F(VcComponentTest, ADataEntryOfAnEndedSessionFailsNotConnected) {
  vc::VcComponent component(control);
  ComPtr<dnc::IMachine> machine;
  ComPtr<dnc::IJHConnection2> connection;
  ASSERT_EQ(component.CreateMachine(machine.Put()), dnc::kOk);
  ASSERT_EQ(machine.As(InterfaceId::Connection2, &connection), dnc::kOk);
  for (const bool replaced : {true, false}) {
    ASSERT_EQ(machine->ConnectionRequest(connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()), dnc::kOk);
    ComPtr<dnc::IUnknown> object;
    ComPtr<dnc::IJHDataAccess> access;
    ComPtr<dnc::IDataEntry> entry;
    ASSERT_EQ(machine->GetInterfaceObject(dnc::kDataAccessObject, object.Put()), dnc::kOk);
    ASSERT_EQ(object.As(InterfaceId::DataAccess, &access), dnc::kOk);
    ASSERT_EQ(access->GetDataEntry(mailbox::CellPath(5), dnc::kDataEntryKind, dnc::kDataEntryOptions, entry.Put()),
              dnc::kOk);
    ComPtr<dnc::IDataEntry> same;
    EXPECT_EQ(entry.As(InterfaceId::DataEntry, &same), dnc::kOk);
    EXPECT_EQ(same.get(), entry.get());
    EXPECT_EQ(entry->QueryInterface(InterfaceId::DataEntry, nullptr), dnc::kPointer);
    dnc::Variant value;
    EXPECT_EQ(entry->GetValue(dnc::kValueFlags, &value), dnc::kOk);
    if (replaced)
      ASSERT_EQ(machine->ConnectionRequest(connection.get(), dnc::Variant::Missing(), dnc::Variant::Missing()),
                dnc::kOk);
    else
      machine->Disconnect();
    EXPECT_EQ(entry->GetValue(dnc::kValueFlags, &value), dnc::kNotConnected) << replaced;
    EXPECT_EQ(entry->SetValue(dnc::kValueFlags, dnc::Variant::FromR8(1), dnc::kValueFlags), dnc::kNotConnected);
  }
}
