// The member check over type information as a server of either pointer
// width describes it: over marshaling the offsets are the server's.
#include <gtest/gtest.h>

#include "comdnc/MemberCheck.h"

using namespace ostrana::comdnc;

namespace {

// Every operation of `published` as found at its published DISPID, which on
// these interfaces is its vtable slot, in a vtable of `width`-byte pointers;
// set value `gap` slots further on; and the interface's first member.
std::vector<FoundMember> Described(const Interface& published, int width, int gap) {
  const char* words[] = {"BSTR", "long", "VARIANT_BOOL", "VARIANT", "object"};
  std::vector<FoundMember> members{{.name = L"First", .dispid = 1000, .vtableOffset = 7 * width}};
  for (const Member* m : published.members) {
    FoundMember& found = members.emplace_back(FoundMember{.name = m->name, .dispid = m->dispid, .kind = m->kind});
    for (Arg arg : m->parameters) found.parameters.push_back(words[static_cast<int>(arg)]);
    found.optional = m->optional;
    found.returnsValue = m->returnsValue;
    found.vtableOffset = (6 + m->dispid + (m == &published::kSetPropertyValue ? gap : 0)) * width;
  }
  return members;
}

TEST(MemberCheck, TheOrderIsJudgedInTheWidthOfTheServerThatDescribedIt) {
  for (const Interface* published : {&published::kMachine, &published::kDataEntry, &published::kFileSystem})
    for (int width : {4, 8})
      for (int gap : {0, 1}) {
        SCOPED_TRACE(std::string(published->name) + ", " + std::to_string(width) + "-byte pointers, gap " +
                     std::to_string(gap));
        const Inspection inspection = Judge(Described(*published, width, gap), *published);
        EXPECT_TRUE(inspection.AllOk()) << inspection.Problems(*published);
        EXPECT_EQ(inspection.members[1].vtableSlot, published->members[0]->dispid);
        const bool apart = gap && published == &published::kDataEntry;
        EXPECT_EQ(inspection.OrderProblem(*published),
                  apart ? "get value and set value do not stand side by side" : "");
      }
}

}  // namespace
