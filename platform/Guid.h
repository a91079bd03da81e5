// Interface and class ids, and the result codes of the calls that deal in them.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>

struct TGUID {
    uint32_t D1 = 0;
    uint16_t D2 = 0;
    uint16_t D3 = 0;
    uint8_t D4[8] = {};

    bool operator==(const TGUID&) const = default;
};

// 16 bytes: D1 to D3 little-endian, then D4.
void WriteGUID(const TGUID& guid, uint8_t* out);
TGUID ReadGUID(const uint8_t* data);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
AnsiString GUIDToString(const TGUID& guid);

using HRESULT = int32_t;
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = HRESULT(0x80004005u);
constexpr HRESULT E_POINTER = HRESULT(0x80004003u);
constexpr HRESULT E_NOINTERFACE = HRESULT(0x80004002u);
constexpr HRESULT E_UNEXPECTED = HRESULT(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = HRESULT(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = HRESULT(0x80070057u);
constexpr HRESULT REGDB_E_CLASSNOTREG = HRESULT(0x80040154u);
inline bool Succeeded(HRESULT hr) { return hr >= 0; }
inline bool Failed(HRESULT hr) { return hr < 0; }
