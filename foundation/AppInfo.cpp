#include "foundation/AppInfo.h"

#include "platform/Names.h"

#include <mutex>

const TGUID IID_IProductInfo{0x531D9A82, 0x9EAC, 0x4FC4, {0xB7, 0x46, 0x9C, 0xED, 0xA3, 0x33, 0x3F, 0x4B}};
const TGUID IID_IApplicationInfo{0xE7B658AD, 0xB7AB, 0x4A33, {0x85, 0x7C, 0x6D, 0xFF, 0x67, 0x6D, 0x02, 0x5E}};

namespace {

std::mutex holderLock;
std::shared_ptr<IApplicationInfo> applicationInfo;
std::shared_ptr<IApplicationInfo> pluginApplicationInfo;
std::shared_ptr<IProductInfo> productIdentity;

template <class T>
void Put(std::shared_ptr<T>& holder, std::shared_ptr<T> value) {
    std::shared_ptr<T> old;
    {
        std::lock_guard<std::mutex> g(holderLock);
        old = std::move(holder);
        holder = std::move(value);
    }
    // The old object is released outside the lock.
}

template <class T>
std::shared_ptr<T> Take(const std::shared_ptr<T>& holder) {
    std::lock_guard<std::mutex> g(holderLock);
    return holder;
}

template <class F>
AnsiString Ask(F f) {
    std::shared_ptr<IProductInfo> p = GetProductIdentity();
    return p ? f(*p) : AnsiString();
}

}  // namespace

void SetApplicationInfo(std::shared_ptr<IApplicationInfo> info) { Put(applicationInfo, std::move(info)); }
std::shared_ptr<IApplicationInfo> GetApplicationInfo() { return Take(applicationInfo); }
void SetPluginApplicationInfo(std::shared_ptr<IApplicationInfo> info) { Put(pluginApplicationInfo, std::move(info)); }
std::shared_ptr<IApplicationInfo> GetPluginApplicationInfo() { return Take(pluginApplicationInfo); }
void SetProductIdentity(std::shared_ptr<IProductInfo> info) { Put(productIdentity, std::move(info)); }
std::shared_ptr<IProductInfo> GetProductIdentity() { return Take(productIdentity); }

AnsiString TSlideShowApplicationInfo::GetCompanyName() { return Ask([](IProductInfo& p) { return p.GetCompanyName(); }); }
AnsiString TSlideShowApplicationInfo::GetProductName() { return Ask([](IProductInfo& p) { return p.GetProductName(); }); }
AnsiString TSlideShowApplicationInfo::GetCopyright() { return Ask([](IProductInfo& p) { return p.GetCopyright(); }); }
AnsiString TSlideShowApplicationInfo::GetHomePageURL() { return Ask([](IProductInfo& p) { return p.GetHomePageURL(); }); }
AnsiString TSlideShowApplicationInfo::GetWebAddress() { return Ask([](IProductInfo& p) { return p.GetWebAddress(); }); }
AnsiString TSlideShowApplicationInfo::GetMajorVersion() { return Ask([](IProductInfo& p) { return p.GetMajorVersion(); }); }
AnsiString TSlideShowApplicationInfo::GetVersion() { return Ask([](IProductInfo& p) { return p.GetVersion(); }); }
AnsiString TSlideShowApplicationInfo::GetReleaseSuffix() { return Ask([](IProductInfo& p) { return p.GetReleaseSuffix(); }); }
AnsiString TSlideShowApplicationInfo::GetFullVersion() { return Ask([](IProductInfo& p) { return p.GetFullVersion(); }); }
AnsiString TSlideShowApplicationInfo::GetRegistryBase() { return Ask([](IProductInfo& p) { return p.GetRegistryBase(); }); }
AnsiString TSlideShowApplicationInfo::GetCompanyProductPath() {
    return Ask([](IProductInfo& p) { return p.GetCompanyProductPath(); });
}
AnsiString TSlideShowApplicationInfo::GetPictureFile() { return Ask([](IProductInfo& p) { return p.GetPictureFile(); }); }
AnsiString TSlideShowApplicationInfo::GetHelpFile() { return Ask([](IProductInfo& p) { return p.GetHelpFile(); }); }

TFixedProductInfo::TFixedProductInfo(const AnsiString& company, const AnsiString& product,
                                     const AnsiString& majorVersion, const AnsiString& releaseSuffix,
                                     const AnsiString& kindWord)
    : company_(company), product_(product), major_(majorVersion), suffix_(releaseSuffix), kind_(kindWord) {}

AnsiString TFixedProductInfo::GetWebAddress() { return "www." + AnsiLowerCase(company_) + ".de"; }

AnsiString TFixedProductInfo::GetRegistryBase() {
    return "\\Software\\" + company_ + "\\" + product_ + "\\" + major_ + ".x\\";
}

void InitializeApplicationName() {}

void FinalizeApplicationName() {
    SetApplicationInfo(nullptr);
    SetPluginApplicationInfo(nullptr);
}

void InitializeSlideShowApplication() { SetApplicationInfo(std::make_shared<TSlideShowApplicationInfo>()); }

void FinalizeSlideShowApplication() {
    SetApplicationInfo(nullptr);
    SetProductIdentity(nullptr);
}
