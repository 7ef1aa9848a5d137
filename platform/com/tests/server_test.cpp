#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "platform/com/menu.h"
#include "platform/com/tests/test_server_ids.h"
#include "platform/registry/tests/temp_registry.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string output;
};

// Runs velregsvr with `args`; the registry folder travels in the environment.
ToolRun RegSvr(const std::string& args) {
  ToolRun run;
  FILE* pipe = popen((std::string(VELREGSVR_PATH) + " " + args + " 2>&1").c_str(), "r");
  if (!pipe) return run;
  char chunk[256];
  while (size_t n = fread(chunk, 1, sizeof chunk, pipe)) run.output.append(chunk, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::string Default(const std::string& path) {
  char value[512] = "";
  LONG size = sizeof value;
  return RegQueryValueA(HKEY_CLASSES_ROOT, path.c_str(), value, &size) == ERROR_SUCCESS ? value : "<missing>";
}

class ServerTest : public vel::reg::testing::TempRegistry {};

TEST_F(ServerTest, RegisterFindCreateAndUnregister) {
  const std::string lib = TEST_SERVER_PATH;
  ToolRun reg = RegSvr(lib);
  ASSERT_EQ(reg.status, 0) << reg.output;
  EXPECT_EQ(reg.output, "DllRegisterServer in " + lib + " succeeded.\n");
  EXPECT_EQ(RegSvr("/s " + lib).output, "") << "registering twice, silently";

  const std::vector<CLSID> handlers = vel::com::ContextMenuHandlers("*");
  ASSERT_EQ(handlers.size(), 1u);
  EXPECT_EQ(handlers[0], kTestHandlerClsid);
  EXPECT_TRUE(vel::com::ContextMenuHandlers("Folder").empty());
  char real[PATH_MAX];
  ASSERT_NE(realpath(lib.c_str(), real), nullptr);
  EXPECT_EQ(vel::com::InprocServerPath(kTestHandlerClsid), real);

  // The whole path a file manager takes: selection in, one item out.
  vel::com::ServerModule module;
  IShellExtInit* init = nullptr;
  ASSERT_EQ(vel::com::CreateRegisteredInstance(kTestHandlerClsid, IID_IShellExtInit, reinterpret_cast<void**>(&init),
                                               &module),
            S_OK);
  ASSERT_NE(init, nullptr);
  EXPECT_TRUE(module.loaded());
  IDataObject* data = vel::com::NewFileListDataObject({"/a.png", "/b.png", "/c.png"});
  EXPECT_EQ(init->Initialize(nullptr, data, nullptr), S_OK);
  data->Release();
  IContextMenu* menuHandler = nullptr;
  ASSERT_EQ(init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menuHandler)), S_OK);
  HMENU menu = CreatePopupMenu();
  EXPECT_EQ(menuHandler->QueryContextMenu(menu, 0, 100, 200, CMF_EXPLORE), 1);
  char text[32] = "";
  GetMenuStringA(menu, 100, text, sizeof text, MF_BYCOMMAND);
  EXPECT_STREQ(text, "3 files");
  DestroyMenu(menu);
  menuHandler->Release();
  init->Release();

  void* none = nullptr;
  vel::com::ServerModule unused;
  EXPECT_EQ(vel::com::CreateRegisteredInstance(kTestHandlerClsid, IID_IDispatch, &none, &unused), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_FALSE(unused.loaded()) << "a failed creation hands out no module";

  ToolRun unreg = RegSvr("/u " + lib);
  ASSERT_EQ(unreg.status, 0) << unreg.output;
  EXPECT_EQ(unreg.output, "DllUnregisterServer in " + lib + " succeeded.\n");
  EXPECT_TRUE(vel::com::ContextMenuHandlers("*").empty());
  EXPECT_TRUE(KeyExists("*\\shellex\\ContextMenuHandlers")) << "only the entry itself goes";
  EXPECT_FALSE(KeyExists("CLSID\\" + vel::com::GuidText(kTestHandlerClsid)));
  EXPECT_FALSE(KeyExists("TypeLib\\" + vel::com::GuidText(kTestLibid)));
  EXPECT_EQ(vel::com::InprocServerPath(kTestHandlerClsid), "");
  EXPECT_NE(vel::com::CreateRegisteredInstance(kTestHandlerClsid, IID_IUnknown, &none, &unused), S_OK);
}

TEST_F(ServerTest, ToolReportsBadLibrariesWithDistinctCodes) {
  struct Case {
    std::string args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"", 1, "Usage: velregsvr"},
      {TempPath("missing.so"), 3, "cannot load " + TempPath("missing.so")},
      // A shared object without the entry points: the C library is one.
      {"libm.so.6", 4, "libm.so.6 was loaded, but the DllRegisterServer entry point was not found."},
      {"/u libm.so.6", 4, "the DllUnregisterServer entry point"},
      {"/s " + TempPath("missing.so"), 3, ""},
  };
  for (const Case& c : cases) {
    const ToolRun run = RegSvr(c.args);
    EXPECT_EQ(run.status, c.status) << c.args << ": " << run.output;
    if (c.message.empty()) {
      EXPECT_EQ(run.output, "") << c.args;
    } else {
      EXPECT_NE(run.output.find(c.message), std::string::npos) << c.args << ": " << run.output;
    }
  }
}

TEST_F(ServerTest, HandlersComeFromDefaultValuesOrClassIdNames) {
  const std::string base = "Folder\\shellex\\ContextMenuHandlers\\";
  const std::string idText = vel::com::GuidText(kTestHandlerClsid);
  const std::string libText = vel::com::GuidText(kTestLibid);
  HKEY key = nullptr;
  ASSERT_EQ(
      RegCreateKeyExA(HKEY_CLASSES_ROOT, (base + "ByValue").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
      ERROR_SUCCESS);
  RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(idText.c_str()),
                 static_cast<DWORD>(idText.size() + 1));
  RegCloseKey(key);
  for (const std::string& name : {base + libText, base + "NotAnId"}) {
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, name.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  const std::vector<CLSID> found = vel::com::ContextMenuHandlers("Folder");
  ASSERT_EQ(found.size(), 2u) << "the key without a class id is skipped";
  EXPECT_EQ(found[0], kTestHandlerClsid);  // "ByValue" sorts before "{2B9C..."
  EXPECT_EQ(found[1], kTestLibid);
}

TEST_F(ServerTest, TypeLibraryKeys) {
  const std::string lib = "TypeLib\\" + vel::com::GuidText(kTestLibid);
  ASSERT_EQ(vel::com::RegisterTypeLibrary(kTestLibid, 1, 0, "Test 1.0 Type Library", "/opt/v/libtest.so"), S_OK);
  ASSERT_EQ(vel::com::RegisterTypeLibrary(kTestLibid, 2, 10, "Test 2.10", "/opt/v/libtest2.so"), S_OK);
  const std::pair<std::string, std::string> expected[] = {
      {lib + "\\1.0", "Test 1.0 Type Library"},
      {lib + "\\1.0\\0\\win32", "/opt/v/libtest.so"},
      {lib + "\\1.0\\FLAGS", "0"},
      {lib + "\\1.0\\HELPDIR", "/opt/v"},
      {lib + "\\2.a\\0\\win32", "/opt/v/libtest2.so"},
  };
  for (const auto& [key, value] : expected) EXPECT_EQ(Default(key), value) << key;

  EXPECT_EQ(vel::com::UnRegisterTypeLib(kTestLibid, 1, 0, 0, 1), S_OK);
  EXPECT_FALSE(KeyExists(lib + "\\1.0"));
  EXPECT_TRUE(KeyExists(lib + "\\2.a")) << "another version keeps the library";
  EXPECT_EQ(vel::com::UnRegisterTypeLib(kTestLibid, 1, 0, 0, 1), TYPE_E_REGISTRYACCESS) << "already gone";
  EXPECT_EQ(vel::com::UnRegisterTypeLib(kTestLibid, 2, 10, 0, 1), S_OK);
  EXPECT_FALSE(KeyExists(lib));
  EXPECT_TRUE(KeyExists("TypeLib"));
}

}  // namespace
