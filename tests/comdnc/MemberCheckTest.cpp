// The member check over type information as a server of either pointer
// width describes it: over marshaling the offsets are the server's.
#include <gtest/gtest.h>

#include "comdnc/MemberCheck.h"

using namespace ostrana::comdnc;

// Every operation found at its published DISPID, which on these interfaces
// is its vtable slot, in a vtable of `width`-byte pointers (set value `gap`
// slots further on), after the interface's first member.
TEST(MemberCheck, TheOrderIsJudgedInTheWidthOfTheServerThatDescribedIt) {
  const char* words[] = {"BSTR", "long", "VARIANT_BOOL", "VARIANT", "object"};
  for (const Interface* published : {&published::kMachine, &published::kDataEntry, &published::kFileSystem})
    for (int width : {4, 8})
      for (int gap : {0, 1}) {
        SCOPED_TRACE(std::string(published->name) + " " + std::to_string(width) + " " + std::to_string(gap));
        std::vector<FoundMember> members{{.name = L"First", .dispid = 1000, .vtableOffset = 7 * width}};
        for (const Member* m : published->members) {
          members.push_back({.name = m->name,
                             .dispid = m->dispid,
                             .kind = m->kind,
                             .optional = m->optional,
                             .returnsValue = m->returnsValue,
                             .vtableOffset = (6 + m->dispid + (m == &published::kSetPropertyValue ? gap : 0)) * width});
          for (Arg arg : m->parameters) members.back().parameters.push_back(words[static_cast<int>(arg)]);
        }
        const Inspection inspection = Judge(members, *published);
        EXPECT_TRUE(inspection.AllOk()) << inspection.Problems(*published);
        EXPECT_EQ(inspection.members[1].vtableSlot, published->members[0]->dispid);
        EXPECT_EQ(inspection.OrderProblem(*published), gap && published == &published::kDataEntry
                                                           ? "get value and set value do not stand side by side"
                                                           : "");
      }
}
