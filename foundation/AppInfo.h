// Application identity: the product's names, version, registry base and help file,
// asked for through two interfaces without knowing which executable runs; the
// process-wide holders; and the application information built on the product identity.
#pragma once

#include "foundation/Plugins.h"
#include "platform/SysUtils.h"

#include <memory>

// {531D9A82-9EAC-4FC4-B746-9CEDA3333F4B}
extern const TGUID IID_IProductInfo;
// {E7B658AD-B7AB-4A33-857C-6DFF676D025E}
extern const TGUID IID_IApplicationInfo;

class IProductInfo {
public:
    virtual ~IProductInfo() = default;
    virtual AnsiString GetCompanyName() = 0;
    virtual AnsiString GetProductName() = 0;
    virtual AnsiString GetCopyright() = 0;
    virtual AnsiString GetHomePageURL() = 0;
    virtual AnsiString GetWebAddress() = 0;
    virtual AnsiString GetMajorVersion() = 0;
    virtual AnsiString GetVersion() = 0;
    virtual AnsiString GetReleaseSuffix() = 0;
    virtual AnsiString GetFullVersion() = 0;
    virtual AnsiString GetRegistryBase() = 0;
    virtual AnsiString GetCompanyProductPath() = 0;
    virtual AnsiString GetHelpFile() = 0;
    virtual AnsiString GetPictureFile() = 0;
    virtual AnsiString GetKindWord() = 0;
};

// Methods in interface order, numbered 3 to 18 by the identity tables.
class IApplicationInfo {
public:
    virtual ~IApplicationInfo() = default;
    virtual AnsiString GetCompanyName() = 0;         // 3
    virtual AnsiString GetProductName() = 0;         // 4
    virtual AnsiString GetCopyright() = 0;           // 5
    virtual AnsiString GetHomePageURL() = 0;         // 6
    virtual AnsiString GetWebAddress() = 0;          // 7
    virtual AnsiString GetReserved8() = 0;           // 8, empty in this system
    virtual AnsiString GetMajorVersion() = 0;        // 9
    virtual AnsiString GetVersion() = 0;             // 10
    virtual AnsiString GetReleaseSuffix() = 0;       // 11
    virtual AnsiString GetFullVersion() = 0;         // 12
    virtual AnsiString GetRegistryBase() = 0;        // 13
    virtual AnsiString GetCompanyProductPath() = 0;  // 14
    virtual AnsiString GetReserved15() = 0;          // 15, empty in this system
    virtual AnsiString GetPictureFile() = 0;         // 16
    virtual AnsiString GetHelpFile() = 0;            // 17
    virtual AnsiString GetReserved18() = 0;          // 18, empty in this system
};

// The process-wide holders; each may be empty.
void SetApplicationInfo(std::shared_ptr<IApplicationInfo> info);
std::shared_ptr<IApplicationInfo> GetApplicationInfo();
void SetPluginApplicationInfo(std::shared_ptr<IApplicationInfo> info);
std::shared_ptr<IApplicationInfo> GetPluginApplicationInfo();
void SetProductIdentity(std::shared_ptr<IProductInfo> info);
std::shared_ptr<IProductInfo> GetProductIdentity();

// Answers from the product identity current at the time of each call; with none
// installed, every answer is empty.
class TSlideShowApplicationInfo : public IApplicationInfo {
public:
    AnsiString GetCompanyName() override;
    AnsiString GetProductName() override;
    AnsiString GetCopyright() override;
    AnsiString GetHomePageURL() override;
    AnsiString GetWebAddress() override;
    AnsiString GetReserved8() override { return AnsiString(); }
    AnsiString GetMajorVersion() override;
    AnsiString GetVersion() override;
    AnsiString GetReleaseSuffix() override;
    AnsiString GetFullVersion() override;
    AnsiString GetRegistryBase() override;
    AnsiString GetCompanyProductPath() override;
    AnsiString GetReserved15() override { return AnsiString(); }
    AnsiString GetPictureFile() override;
    AnsiString GetHelpFile() override;
    AnsiString GetReserved18() override { return AnsiString(); }
};

// A product identity made of given names, composed the way the program's own is:
// version = major + ".0", full version = version + suffix, registry base
// "\Software\<company>\<product>\<major>.x\", path "<company>\<product>\". Tests
// install one; so can any program that runs without the screen saver's identity.
class TFixedProductInfo : public IProductInfo {
public:
    TFixedProductInfo(const AnsiString& company, const AnsiString& product, const AnsiString& majorVersion = "2",
                      const AnsiString& releaseSuffix = ".1", const AnsiString& kindWord = "Screensaver");
    AnsiString GetCompanyName() override { return company_; }
    AnsiString GetProductName() override { return product_; }
    AnsiString GetCopyright() override { return "(c) " + company_; }
    AnsiString GetHomePageURL() override { return "http://" + GetWebAddress(); }
    AnsiString GetWebAddress() override;
    AnsiString GetMajorVersion() override { return major_; }
    AnsiString GetVersion() override { return major_ + ".0"; }
    AnsiString GetReleaseSuffix() override { return suffix_; }
    AnsiString GetFullVersion() override { return GetVersion() + suffix_; }
    AnsiString GetRegistryBase() override;
    AnsiString GetCompanyProductPath() override { return company_ + "\\" + product_ + "\\"; }
    AnsiString GetHelpFile() override { return product_ + ".chm"; }
    AnsiString GetPictureFile() override { return product_ + ".jpg"; }
    AnsiString GetKindWord() override { return kind_; }

private:
    AnsiString company_, product_, major_, suffix_, kind_;
};

// Module start and end: the holders start empty; SlideShowApplication installs a
// TSlideShowApplicationInfo as the application information.
void InitializeApplicationName();
void FinalizeApplicationName();
void InitializeSlideShowApplication();
void FinalizeSlideShowApplication();
