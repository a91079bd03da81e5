#include "shell/ScreenSaverApplicationInfo.h"

#include "resources/ScreenSaverStrings.h"

AnsiString TScreenSaverApplicationInfo::GetCompanyName() { return ScreenSaverStrings::Company; }
AnsiString TScreenSaverApplicationInfo::GetProductName() { return ScreenSaverStrings::Product; }
AnsiString TScreenSaverApplicationInfo::GetCopyright() { return ScreenSaverStrings::RightsNotice; }
AnsiString TScreenSaverApplicationInfo::GetWebAddress() { return ScreenSaverStrings::WebAddress; }
AnsiString TScreenSaverApplicationInfo::GetHelpFile() { return ScreenSaverStrings::HelpFile; }

TScreenSaverPluginApplicationInfo::TScreenSaverPluginApplicationInfo()
    : info_(std::make_shared<TScreenSaverApplicationInfo>()) {}

namespace {

// The process-wide application information, unless it is this very object (which
// would ask itself for ever).
std::shared_ptr<IApplicationInfo> Outer(const IApplicationInfo* self) {
    auto info = GetApplicationInfo();
    return info.get() == self ? nullptr : info;
}

}  // namespace

AnsiString TScreenSaverPluginApplicationInfo::GetReserved8() {
    auto info = Outer(this);
    return info ? info->GetReserved8() : AnsiString();
}
AnsiString TScreenSaverPluginApplicationInfo::GetReserved15() {
    auto info = Outer(this);
    return info ? info->GetReserved15() : AnsiString();
}
AnsiString TScreenSaverPluginApplicationInfo::GetReserved18() {
    auto info = Outer(this);
    return info ? info->GetReserved18() : AnsiString();
}

namespace SetApplicationScreenSaver {

void Initialize() {
    SetProductIdentity(std::make_shared<TScreenSaverApplicationInfo>());
    SetPluginApplicationInfo(std::make_shared<TScreenSaverPluginApplicationInfo>());
}

void Finalize() {
    SetPluginApplicationInfo(nullptr);
    SetProductIdentity(nullptr);
}

}  // namespace SetApplicationScreenSaver
