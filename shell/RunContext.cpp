#include "shell/RunContext.h"

#include "foundation/SlideShowGlobals.h"

void TOpenedPackage::Keep(std::unique_ptr<TPackager> package, const AnsiString& packageFile) {
    package_ = std::move(package);
    packageFile_ = package_ ? packageFile : AnsiString();
}

std::unique_ptr<TPackager> TOpenedPackage::Take(const AnsiString& packageFile) {
    std::unique_ptr<TPackager> taken = std::move(package_);
    const bool same = packageFile_ == packageFile;
    packageFile_.clear();
    if (!same) return nullptr;
    return taken;
}

TRunContext::TRunContext() : Files(std::make_unique<TFileResolver>(AppDir)) {}
