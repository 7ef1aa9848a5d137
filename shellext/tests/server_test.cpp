#include <string>

#include "shellext/tests/ferrule_test_support.h"

namespace ferrule::testing {
namespace {

using ServerTest = FerruleTest;
constexpr const char kClsid[] = "{A118FEA0-1D1B-4165-BC37-88F95B250E7A}";
constexpr const char kLibid[] = "{ACFA83F0-DC7E-4CC7-A753-D66FC52AAD49}";

// The text of a value, or "(missing)".
std::string Value(const std::string& key, const char* name = nullptr) {
  HKEY k = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "(missing)";
  char text[512] = {};
  DWORD size = sizeof text - 1;
  const LONG rc = RegQueryValueExA(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
  RegCloseKey(k);
  return rc == ERROR_SUCCESS ? std::string(text) : "(no value)";
}

TEST_F(ServerTest, RegistersAndUnregistersExactlyItsEntries) {
  SetText(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Other", nullptr,
          "{00000000-0000-0000-0000-000000000001}");
  vel::com::ServerModule server;
  std::string error;
  ASSERT_TRUE(server.load(FERRULE_LIBRARY, &error)) << error;
  ASSERT_EQ(server.registerServer(), S_OK);
  ASSERT_EQ(server.registerServer(), S_OK);

  const std::string cls = std::string("CLSID\\") + kClsid;
  const struct {
    std::string key;
    const char* name;
    std::string text;
  } entries[] = {
      {"Ferrule.FerruleATL.1", nullptr, "FerruleATL Class"},
      {"Ferrule.FerruleATL.1\\CLSID", nullptr, kClsid},
      {"Ferrule.FerruleATL", nullptr, "FerruleATL Class"},
      {"Ferrule.FerruleATL\\CLSID", nullptr, kClsid},
      {"Ferrule.FerruleATL\\CurVer", nullptr, "Ferrule.FerruleATL.1"},
      {cls, nullptr, "FerruleATL Class"},
      {cls + "\\ProgID", nullptr, "Ferrule.FerruleATL.1"},
      {cls + "\\VersionIndependentProgID", nullptr, "Ferrule.FerruleATL"},
      {cls + "\\Programmable", nullptr, "(no value)"},
      {cls + "\\InprocServer32", nullptr, FERRULE_LIBRARY},
      {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
      {cls + "\\TypeLib", nullptr, kLibid},
      {"*\\shellex\\ContextMenuHandlers\\Ferrule", nullptr, kClsid},
      {"Folder\\shellex\\ContextMenuHandlers\\Ferrule", nullptr, kClsid},
      {std::string("TypeLib\\") + kLibid + "\\1.0", nullptr, "Ferrule 1.0 Type Library"},
  };
  for (const auto& e : entries) EXPECT_EQ(Value(e.key, e.name), e.text) << e.key;
  EXPECT_EQ(vel::com::ContextMenuHandlers("*").size(), 2u);  // once, beside the other handler

  ASSERT_EQ(server.unregisterServer(), S_OK);
  for (const auto& e : entries) EXPECT_EQ(Value(e.key, e.name), "(missing)") << e.key;
  for (const char* kept : {"CLSID", "*\\shellex\\ContextMenuHandlers\\Other", "Folder\\shellex\\ContextMenuHandlers"})
    EXPECT_NE(Value(kept), "(missing)") << kept;
}

TEST_F(ServerTest, FactoryAggregationAndUnloading) {
  vel::com::ServerModule server;
  ASSERT_TRUE(server.load(FERRULE_LIBRARY));
  auto canUnload = reinterpret_cast<DllCanUnloadNowFn>(server.symbol("DllCanUnloadNow"));
  ASSERT_NE(canUnload, nullptr);
  EXPECT_EQ(server.symbol("_ZN7ferrule9RecogniseEPKc"), nullptr);  // only the entry points are exported
  IClassFactory* factory = nullptr;
  EXPECT_EQ(server.getClassObject(IID_IContextMenu, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(server.getClassObject(CLSID_FerruleATL, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  EXPECT_EQ(canUnload(), S_FALSE);

  // Aggregated: only the inner IUnknown is handed out, and it answers for the menu.
  struct Outer : IUnknown {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;
  } outer;
  void* object = nullptr;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &object), CLASS_E_NOAGGREGATION);
  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the interface's references go to the outer object
  menu->Release();
  IDispatch* dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IFerruleATL, reinterpret_cast<void**>(&dispatch)), S_OK);
  UINT count = 5;
  dispatch->GetTypeInfoCount(&count);
  EXPECT_EQ(count, 0u);
  dispatch->Release();
  inner->Release();

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnload(), S_FALSE);
  factory = nullptr;
  ASSERT_EQ(server.getClassObject(CLSID_FerruleATL, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  factory->LockServer(FALSE);
  factory->Release();
  EXPECT_EQ(canUnload(), S_OK);
}

}  // namespace
}  // namespace ferrule::testing
