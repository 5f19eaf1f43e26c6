#include "standin/OutOfProcess.h"

#include "standin/InProcess.h"

namespace ostrana::standin {
namespace {

std::wstring Text(const CLSID& id) {
  wchar_t text[64];
  StringFromGUID2(id, text, 64);
  return text;
}

}  // namespace

bool WaitForRpcService() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = manager ? OpenServiceW(manager, L"RpcSs", SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;
  SERVICE_STATUS status{};
  bool running = false;
  for (int i = 0; service && i < 600 && QueryServiceStatus(service, &status); ++i) {
    if ((running = status.dwCurrentState == SERVICE_RUNNING)) break;
    if (status.dwCurrentState == SERVICE_STOPPED) StartServiceW(service, 0, nullptr);
    Sleep(100);
  }
  if (service) CloseServiceHandle(service);
  if (manager) CloseServiceHandle(manager);
  return running;
}

OutOfProcessComponent::OutOfProcessComponent(dnc::IComponent& direct, const std::wstring& server)
    : factory_(direct, Options{}) {
  if (!WaitForRpcService()) {
    registration_ = CO_E_SERVER_EXEC_FAILURE;
  } else if (SUCCEEDED(registration_ = RegisterTypeLibrary()) && SUCCEEDED(registration_ = CoCreateGuid(&served_)) &&
             SUCCEEDED(registration_ = CoCreateGuid(&backing_)) &&
             SUCCEEDED(registration_ = CoRegisterClassObject(backing_, &factory_, CLSCTX_LOCAL_SERVER,
                                                             REGCLS_MULTIPLEUSE, &cookie_))) {
    const std::wstring command = L"\"" + server + L"\" " + Text(served_) + L" " + Text(backing_);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Text(served_) + L"\\LocalServer32").c_str(), 0, nullptr, 0,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
      registration_ = REGDB_E_WRITEREGDB;
    if (key) RegCloseKey(key);
  }
  component_ = std::make_unique<comdnc::ComComponent>(served_);
}

OutOfProcessComponent::~OutOfProcessComponent() {
  if (cookie_) CoRevokeClassObject(cookie_);
  if (!IsEqualCLSID(served_, CLSID_NULL)) RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + Text(served_)).c_str());
}

std::unique_ptr<dnc::IComponent> LateBound(dnc::IComponent& direct, const std::string& server, HRESULT* registration) {
  if (server.empty()) {
    auto inProcess = std::make_unique<InProcessComponent>(direct);
    *registration = inProcess->Registration();
    return inProcess;
  }
  auto outOfProcess = std::make_unique<OutOfProcessComponent>(direct, std::wstring(server.begin(), server.end()));
  *registration = outOfProcess->Registration();
  return outOfProcess;
}

}  // namespace ostrana::standin
