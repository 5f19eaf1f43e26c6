#include <gtest/gtest.h>

#include "mailbox/MailboxLayout.h"
#include "support/VirtualDrive.h"
#include "vc/VcComponent.h"

using namespace ostrana;
using namespace ostrana::dnc;
using VcComponentTest = test::VirtualDriveTest;

// A data entry lives on after its session ends, disconnected or replaced by a
// new connection request: it must fail "not connected", never act on the
// session that came after it.
TEST_F(VcComponentTest, ADataEntryOfAnEndedSessionFailsNotConnected) {
  vc::VcComponent component(control);
  ComPtr<IMachine> machine;
  ComPtr<IJHConnection2> connection;
  ASSERT_TRUE(component.CreateMachine(machine.Put()) == kOk && machine.As(InterfaceId::Connection2, &connection) == kOk);
  const auto request = [&] { return machine->ConnectionRequest(connection.get(), Variant::Missing(), {}); };
  for (const bool replaced : {true, false}) {
    ComPtr<IUnknown> object;
    ComPtr<IJHDataAccess> access;
    ComPtr<IDataEntry> entry, same;
    Variant value;
    ASSERT_EQ(request(), kOk);
    ASSERT_TRUE(machine->GetInterfaceObject(kDataAccessObject, object.Put()) == kOk &&
                object.As(InterfaceId::DataAccess, &access) == kOk);
    ASSERT_EQ(access->GetDataEntry(mailbox::CellPath(5), kDataEntryKind, kDataEntryOptions, entry.Put()), kOk);
    EXPECT_TRUE(entry.As(InterfaceId::DataEntry, &same) == kOk &&  // itself, and a null out-pointer refused
                entry->QueryInterface(InterfaceId::DataEntry, nullptr) == kPointer);
    EXPECT_EQ(entry->GetValue(kValueFlags, &value), kOk);
    EXPECT_EQ(replaced ? request() : machine->Disconnect(), kOk);
    EXPECT_EQ(entry->GetValue(kValueFlags, &value), kNotConnected) << replaced;
    EXPECT_EQ(entry->SetValue(kValueFlags, Variant::FromR8(1), 0), kNotConnected);
  }
}
