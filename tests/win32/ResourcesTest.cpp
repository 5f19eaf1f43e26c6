// The resources ostrana.exe carries, read back from the built program the
// way the window loads them: every text of the string table as the shared
// texts say it, each icon at the sizes it is used at, the sounds, the
// dialogs and the menu; the events' texts and categories as Event Viewer
// formats them from the program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/EventIds.h"
#include "common/StringTable.h"

namespace {

class ResourcesTest : public ::testing::Test {
 protected:
  static std::string Folder() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string program = path;
    return program.substr(0, program.find_last_of("\\/") + 1);
  }
  void SetUp() override {
    const std::string program = Folder() + "ostrana.exe";
    module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << program;
  }
  void TearDown() override {
    if (module) FreeLibrary(module);
  }
  std::string Text(UINT id) {
    char text[1024] = "";
    const int length = LoadStringA(module, id, text, sizeof text);
    return std::string(text, static_cast<std::size_t>(length > 0 ? length : 0));
  }
  HMODULE module = nullptr;
};

TEST_F(ResourcesTest, TextsSoundsIconsAndTheMenu) {
  using namespace ostrana::strings;
  const std::pair<UINT, const char*> texts[] = {
      {1000, kAppName},          {1001, kVersion},          {1002, kLegal1},
      {1003, kLegal2},           {1020, kAskScanPorts},     {1022, kNoDiscoverablePort},
      {1024, kCannotAccept},     {1026, kComponentMissing}, {1027, kEnterPortRange},
      {1030, kPortTipTitle},     {1031, kPortTipValid},     {1032, kPortTipInvalid},
      {1033, kInfoTipTitle},     {1034, kInfoTipText},      {1035, kStatusTipTitle},
      {1036, kStatusNeither},    {1037, kStatusBoth},       {1038, kStatusMachineOnly},
      {1039, kStatusClientOnly},
  };
  for (const auto& [id, text] : texts) EXPECT_EQ(Text(id), text) << id;
  EXPECT_EQ(Text(1040), "guide.html");  // the information page: the guide beside the program
  // The sounds (the window's tests record requests, not playing) and the menu's
  // texts; the dialogs and icons show in the window's own tests and pictures.
  for (int sound = 140; sound <= 146; ++sound) {
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(sound), "WAVE");
    ASSERT_NE(found, nullptr) << sound;
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    EXPECT_EQ(std::string(bytes, 4) + std::string(bytes + 8, 4), "RIFFWAVE") << sound;
  }
  // The window icon in every size it comes in.
  for (int size : {16, 32, 48, 64, 256})
    EXPECT_NE(LoadImageA(module, MAKEINTRESOURCEA(128), IMAGE_ICON, size, size, 0), nullptr) << size;
  HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(136));
  ASSERT_NE(menu, nullptr);
  HMENU popup = GetSubMenu(menu, 0);
  EXPECT_EQ(GetMenuItemCount(popup), 3);
  for (const auto& [id, text] : {std::pair<UINT, const char*>{137, "Mute"}, {138, "Help"}, {139, "About"}}) {
    char label[32] = "";
    GetMenuStringA(popup, id, label, sizeof label, MF_BYCOMMAND);
    EXPECT_STREQ(label, text);
  }
  DestroyMenu(menu);
  // Every event's text with its fields in their places, every category's name, and nothing beyond them.
  auto message = [&](DWORD id) {
    const char* fields[] = {"line", "client", "machine", "command", "values", "result", "reason", "3"};
    char text[1024] = "";
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, id, 0,
                                        text, sizeof text, reinterpret_cast<va_list*>(const_cast<char**>(fields)));
    return std::string(text, length);
  };
  for (const auto& event : ostrana::kEvents)
    EXPECT_EQ(message(static_cast<DWORD>(event.id)),
              event.description + std::string("\r\nline\r\nClient: client\r\nMachine: machine\r\nCommand: command\r\n"
                                              "Values: values\r\nResult: result\r\nReason: reason\r\nRepeats: 3\r\n"));
  const char* categories[] = {"", "Start and stop", "Client", "Machine", "Audit", "DNC component", "Log", ""};
  for (int id = 1; id <= ostrana::kCategoryCount + 1; ++id)
    EXPECT_EQ(message(static_cast<DWORD>(id)), categories[id] + std::string(*categories[id] ? "\r\n" : "")) << id;
}

// Windows refuses a program whose manifest names another architecture.
TEST_F(ResourcesTest, EachProgramsManifestNamesItsArchitecture) {
  for (std::string name : {"ostrana", "ostrana-client"}) {
    HMODULE program = LoadLibraryExA((Folder() + name + ".exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    HRSRC found = FindResourceA(program, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(found, nullptr) << name;
    const std::string manifest(static_cast<const char*>(LockResource(LoadResource(program, found))),
                               SizeofResource(program, found));
    EXPECT_NE(manifest.find("name=\"Quorvane.Ostrana." + name + "\" version=\"1.1.0.0\" processorArchitecture=\"" +
                            (sizeof(void*) == 8 ? "amd64" : "x86") + "\""),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
    FreeLibrary(program);
  }
}

}  // namespace
