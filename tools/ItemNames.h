// What a package may name, checked alike by the pack tool for every file it packs and by
// the show builder for every file a show names, so that a show the builder writes is
// one the pack tool takes: the same names are refused with the same words.
#pragma once

#include "platform/Charset.h"
#include "platform/Names.h"

#include <map>
#include <string>

// Why one file or folder name (no separators) cannot be part of an item name; null when
// it can.
inline const char* ItemNameProblem(const std::string& name) {
    if (name.find('\\') != std::string::npos)
        return "the name holds a backslash, which a package reads as a folder separator";
    if (name.find(':') != std::string::npos) return "the name holds a colon, which no item name may hold";
    for (char c : name)
        if (static_cast<unsigned char>(c) < 32) return "the name holds a control character";
    if (AnsiToUtf8(Utf8ToAnsi(name)) != name) return "the name has characters without a Windows-1252 form";
    return nullptr;
}

// The item names taken so far: a package holds no two items, nor an item and a folder,
// whose names differ only in case.
class TItemNameClaims {
public:
    // Claims itemName (backslashes) for shown, a file or a folder; "" when it is free, a
    // folder claimed again or the very name claimed again, else why not.
    std::string Claim(const AnsiString& itemName, const std::string& shown, bool folder) {
        const auto [it, added] = names_.try_emplace(AnsiUpperCase(itemName), TClaim{itemName, shown, folder});
        const TClaim& taken = it->second;
        if (added || (folder && taken.Folder) || (folder == taken.Folder && taken.Name == itemName)) return "";
        return "its name differs from " + taken.Shown + " only in case; a package holds one of them only";
    }

private:
    struct TClaim {
        AnsiString Name;
        std::string Shown;
        bool Folder;
    };
    // Upper-cased name -> the claim.
    std::map<AnsiString, TClaim> names_;
};
