#include "platform/FontRegistry.h"

#include "platform/Charset.h"
#include "platform/FreeTypeLibrary.h"
#include "platform/Names.h"
#include "platform/Paths.h"
#include "platform/RunEnd.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SFNT_NAMES_H
#include FT_TRUETYPE_IDS_H

#include <filesystem>
#include <list>
#include <mutex>
#include <vector>

namespace {

constexpr FT_UShort kFamilyNameId = 1;
constexpr FT_UShort kEnglishUnitedStates = 0x0409;

struct TAddedFace {
    std::vector<AnsiString> Families;  // every name the face answers to, the main one first
    TFontFile File;
};

struct TAddedFile {
    std::string Key;  // the normalised native path
    int32_t Count = 0;
    std::vector<TAddedFace> Faces;
};

struct TRegistry {
    std::mutex Lock;
    std::list<TAddedFile> Files;  // in the order added

    static TRegistry& Instance() {
        static TRegistry registry;
        return registry;
    }

    TAddedFile* Find(const std::string& key) {
        for (TAddedFile& f : Files)
            if (f.Key == key) return &f;
        return nullptr;
    }
};

// The same file however the program spells it: its native path, absolute and without
// "." and ".." steps. Not resolved through links, so a file deleted since it was added
// can still be removed by its name.
std::string FileKey(const AnsiString& fileName) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(ResolvePath(fileName), ec);
    if (ec) p = ResolvePath(fileName);
    return p.lexically_normal().string();
}

// A UTF-16BE name (the Unicode and Microsoft platforms' records) as the program's text;
// False when it is empty or has characters Windows-1252 lacks: no text of the program
// could ask for it.
bool Utf16BeToAnsiName(const FT_Byte* bytes, FT_UInt length, AnsiString& name) {
    name.clear();
    for (FT_UInt i = 0; i + 1 < length; i += 2) {
        char c;
        if (!CodePointToAnsiChar((char32_t(bytes[i]) << 8) | bytes[i + 1], c)) return false;
        name += c;
    }
    return !name.empty();
}

// The face's family names as Windows knows them, since stored shows name fonts that way:
// name 1 of the
// name table, the Microsoft platform's records first (American English before the
// other languages), then the Unicode platform's, then an ASCII Macintosh record; a face
// without any (bitmap and Type 1 fonts) goes by FreeType's family name.
std::vector<AnsiString> FamilyNames(FT_Face face) {
    std::vector<AnsiString> names;
    auto add = [&](const AnsiString& n) {
        for (const AnsiString& have : names)
            if (AnsiSameText(have, n)) return;
        names.push_back(n);
    };
    const FT_UInt count = FT_IS_SFNT(face) ? FT_Get_Sfnt_Name_Count(face) : 0;
    std::vector<FT_SfntName> records;
    for (FT_UInt i = 0; i < count; ++i) {
        FT_SfntName n;
        if (FT_Get_Sfnt_Name(face, i, &n) == 0 && n.name_id == kFamilyNameId) records.push_back(n);
    }
    auto isMicrosoftUnicode = [](const FT_SfntName& n) {
        return n.platform_id == TT_PLATFORM_MICROSOFT &&
               (n.encoding_id == TT_MS_ID_SYMBOL_CS || n.encoding_id == TT_MS_ID_UNICODE_CS ||
                n.encoding_id == TT_MS_ID_UCS_4);
    };
    AnsiString name;
    for (int pass = 0; pass < 2; ++pass)
        for (const FT_SfntName& n : records)
            if (isMicrosoftUnicode(n) && (n.language_id == kEnglishUnitedStates) == (pass == 0) &&
                Utf16BeToAnsiName(n.string, n.string_len, name))
                add(name);
    if (names.empty())
        for (const FT_SfntName& n : records)
            if (n.platform_id == TT_PLATFORM_APPLE_UNICODE && Utf16BeToAnsiName(n.string, n.string_len, name))
                add(name);
    if (names.empty())
        for (const FT_SfntName& n : records) {
            if (n.platform_id != TT_PLATFORM_MACINTOSH || n.encoding_id != TT_MAC_ID_ROMAN) continue;
            const std::string text(reinterpret_cast<const char*>(n.string), n.string_len);
            bool ascii = !text.empty();
            for (unsigned char c : text) ascii = ascii && c >= 0x20 && c < 0x7F;
            if (ascii) add(text);
        }
    if (names.empty() && face->family_name && *face->family_name) add(Utf8ToAnsi(face->family_name));
    return names;
}

// Every face of the file, read with a FreeType instance of our own so that no lock of
// the face module is needed.
std::vector<TAddedFace> ReadFaces(const std::string& path) {
    std::vector<TAddedFace> faces;
    TFreeTypeLibrary library;
    if (!library.Handle) return faces;
    FT_Long count = 1;
    for (FT_Long index = 0; index < count; ++index) {
        // A collection of thousands of faces takes seconds: a run that ends meanwhile
        // gets none of them.
        if (RunEndRequested()) return {};
        FT_Face face = nullptr;
        if (FT_New_Face(library.Handle, path.c_str(), index, &face) != 0) break;
        count = face->num_faces;
        TAddedFace added;
        added.Families = FamilyNames(face);
        added.File.Path = path;
        added.File.Index = int32_t(index);
        added.File.Bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
        added.File.Italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
        if (!added.Families.empty()) {
            added.File.FamilyName = added.Families.front();
            faces.push_back(std::move(added));
        }
        FT_Done_Face(face);
    }
    return faces;
}

}  // namespace

int32_t AddFontResource(const AnsiString& fileName) {
    if (fileName.empty()) return 0;
    const std::string key = FileKey(fileName);
    TRegistry& registry = TRegistry::Instance();
    {
        std::lock_guard<std::mutex> guard(registry.Lock);
        if (TAddedFile* file = registry.Find(key)) {
            ++file->Count;
            return int32_t(file->Faces.size());
        }
    }
    // Read outside the lock: lookups need not wait for a file being read.
    std::vector<TAddedFace> faces = ReadFaces(key);
    if (faces.empty()) return 0;
    std::lock_guard<std::mutex> guard(registry.Lock);
    // Another thread may have added the same file meanwhile.
    if (TAddedFile* file = registry.Find(key)) {
        ++file->Count;
        return int32_t(file->Faces.size());
    }
    registry.Files.push_back(TAddedFile{key, 1, std::move(faces)});
    return int32_t(registry.Files.back().Faces.size());
}

bool RemoveFontResource(const AnsiString& fileName) {
    if (fileName.empty()) return false;
    const std::string key = FileKey(fileName);
    TRegistry& registry = TRegistry::Instance();
    {
        std::lock_guard<std::mutex> guard(registry.Lock);
        auto it = registry.Files.begin();
        while (it != registry.Files.end() && it->Key != key) ++it;
        if (it == registry.Files.end()) return false;
        if (--it->Count > 0) return true;
        registry.Files.erase(it);
    }
    // After our lock is left: the face module asks us under its own lock.
    ForgetFontFile(key);
    return true;
}

bool FindAddedFont(const AnsiString& family, uint8_t style, TFontFile& file) {
    TRegistry& registry = TRegistry::Instance();
    std::lock_guard<std::mutex> guard(registry.Lock);
    const bool bold = (style & fsBold) != 0, italic = (style & fsItalic) != 0;
    const TAddedFace* best = nullptr;
    const AnsiString* bestName = nullptr;
    int bestScore = 0;
    for (const TAddedFile& f : registry.Files)
        for (const TAddedFace& face : f.Faces)
            for (const AnsiString& name : face.Families) {
                if (!AnsiSameText(name, family)) continue;
                const int score = (face.File.Italic != italic) * 2 + (face.File.Bold != bold);
                if (!best || score < bestScore) {
                    best = &face;
                    bestName = &name;
                    bestScore = score;
                }
                break;
            }
    if (!best) return false;
    file = best->File;
    // The family under the name that matched, which may be one of its other languages'.
    file.FamilyName = *bestName;
    return true;
}
