// The screen saver's identity: the product identity and the application information
// that plug-ins ask for, and the module that installs both.
#pragma once

#include "foundation/AppInfo.h"

#include <memory>

class TScreenSaverApplicationInfo : public IProductInfo {
public:
    AnsiString GetCompanyName() override;
    AnsiString GetProductName() override;
    AnsiString GetCopyright() override;
    AnsiString GetHomePageURL() override { return "http://" + GetWebAddress(); }
    AnsiString GetWebAddress() override;
    AnsiString GetMajorVersion() override { return "2"; }
    AnsiString GetVersion() override { return GetMajorVersion() + ".0"; }
    AnsiString GetReleaseSuffix() override { return ".1"; }
    AnsiString GetFullVersion() override { return GetVersion() + GetReleaseSuffix(); }
    AnsiString GetRegistryBase() override {
        return "\\Software\\" + GetCompanyName() + "\\" + GetProductName() + "\\" + GetMajorVersion() + ".x\\";
    }
    AnsiString GetCompanyProductPath() override { return GetCompanyName() + "\\" + GetProductName() + "\\"; }
    AnsiString GetHelpFile() override;
    AnsiString GetPictureFile() override { return GetProductName() + ".jpg"; }
    AnsiString GetKindWord() override { return "Screensaver"; }
};

// Answers from a screen-saver identity of its own; the three reserved methods go to
// the process-wide application information.
class TScreenSaverPluginApplicationInfo : public IApplicationInfo {
public:
    TScreenSaverPluginApplicationInfo();

    AnsiString GetCompanyName() override { return info_->GetCompanyName(); }
    AnsiString GetProductName() override { return info_->GetProductName(); }
    AnsiString GetCopyright() override { return info_->GetCopyright(); }
    AnsiString GetHomePageURL() override { return info_->GetHomePageURL(); }
    AnsiString GetWebAddress() override { return info_->GetWebAddress(); }
    AnsiString GetReserved8() override;
    AnsiString GetMajorVersion() override { return "2"; }
    AnsiString GetVersion() override { return info_->GetVersion(); }
    AnsiString GetReleaseSuffix() override { return info_->GetReleaseSuffix(); }
    AnsiString GetFullVersion() override { return info_->GetFullVersion(); }
    AnsiString GetRegistryBase() override { return info_->GetRegistryBase(); }
    AnsiString GetCompanyProductPath() override { return info_->GetCompanyProductPath(); }
    AnsiString GetReserved15() override;
    AnsiString GetPictureFile() override { return info_->GetPictureFile(); }
    AnsiString GetHelpFile() override { return info_->GetHelpFile(); }
    AnsiString GetReserved18() override;

private:
    std::shared_ptr<TScreenSaverApplicationInfo> info_;
};

// Installs a TScreenSaverApplicationInfo as the product identity and a
// TScreenSaverPluginApplicationInfo as the plug-in application information; the
// finalisation releases both.
namespace SetApplicationScreenSaver {
void Initialize();
void Finalize();
}  // namespace SetApplicationScreenSaver
