#include "platform/Clipboard.h"

#include "platform/Names.h"

#include <map>
#include <mutex>

namespace {

constexpr uint32_t kFirstFormat = 0xC000;

struct TClipboard {
    std::mutex lock;
    std::vector<AnsiString> names;  // format kFirstFormat + i
    std::map<uint32_t, std::vector<uint8_t>> data;
};

TClipboard& TheClipboard() {
    static TClipboard c;
    return c;
}

bool IsRegistered(const TClipboard& c, uint32_t format) {
    return format >= kFirstFormat && format - kFirstFormat < c.names.size();
}

}  // namespace

uint32_t RegisterClipboardFormat(const AnsiString& name) {
    if (name.empty()) return 0;
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    for (size_t i = 0; i < c.names.size(); ++i)
        if (SameText(c.names[i], name)) return kFirstFormat + static_cast<uint32_t>(i);
    if (c.names.size() >= 0x4000) return 0;  // the range of registered numbers is full
    c.names.push_back(name);
    return kFirstFormat + static_cast<uint32_t>(c.names.size() - 1);
}

AnsiString GetClipboardFormatName(uint32_t format) {
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    return IsRegistered(c, format) ? c.names[format - kFirstFormat] : AnsiString();
}

void EmptyClipboard() {
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    c.data.clear();
}

bool SetClipboardData(uint32_t format, const std::vector<uint8_t>& data) {
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    if (!IsRegistered(c, format)) return false;
    c.data.clear();
    c.data[format] = data;
    return true;
}

bool IsClipboardFormatAvailable(uint32_t format) {
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    return c.data.count(format) != 0;
}

bool GetClipboardData(uint32_t format, std::vector<uint8_t>& data) {
    TClipboard& c = TheClipboard();
    std::lock_guard<std::mutex> g(c.lock);
    auto it = c.data.find(format);
    if (it == c.data.end()) {
        data.clear();
        return false;
    }
    data = it->second;
    return true;
}
