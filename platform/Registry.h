// The registry: a small file-backed store of keys and typed values with the access
// pattern of the Windows registry, which the program's settings code is written against.
//
// Two roots: the current user's (read and write) and the local machine's (read only).
// Keys are paths separated by backslashes ("\Software\Velmorra\Glowcanvas\2.x"; a
// leading backslash means from the root, otherwise from the key that is open); key
// and value names compare without regard to case. Values are strings, 32-bit
// integers or binary data. Every change is written to a temporary file that is renamed
// over the store, so a crash never leaves a torn store. A damaged store file is never
// read in part: opening keys in it fails. The first change keeps it beside as
// "user.reg.damaged" (numbered when that exists), says so on stderr, and starts a
// fresh store.
//
// Where the stores live: GC_REGISTRY_DIR, when set, holds both (user.reg and
// machine.reg; tests use it). Otherwise the user's store is
// $XDG_CONFIG_HOME/glowcanvas/user.reg (else ~/.config/...), and the machine's is
// glowcanvas/machine.reg in the first folder of $XDG_CONFIG_DIRS (else /etc/xdg)
// that has one.
#pragma once

#include "platform/SysUtils.h"

#include <cstdint>
#include <string>
#include <vector>

using HKEY = uint32_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;   // the machine's Software\Classes, read only
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;
constexpr uint32_t KEY_ALL_ACCESS = 0xF003F;

enum class TRegDataType { rdUnknown, rdString, rdInteger, rdBinary };

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry {
public:
    explicit TRegistry(uint32_t access = KEY_ALL_ACCESS) : Access(access) {}

    HKEY RootKey = HKEY_CURRENT_USER;
    uint32_t Access;

    // Opens key (creating it and its parents with canCreate). False when it does not
    // exist, cannot be created (read-only root or access), or the store is damaged.
    bool OpenKey(const AnsiString& key, bool canCreate);
    bool OpenKeyReadOnly(const AnsiString& key);
    void CloseKey();
    bool HasCurrentKey() const { return open_; }
    // The open key's path from its root, without a leading backslash.
    AnsiString CurrentPath() const { return current_; }

    bool KeyExists(const AnsiString& key);
    bool CreateKey(const AnsiString& key);
    // Deletes the key with everything below it.
    bool DeleteKey(const AnsiString& key);
    void GetKeyNames(std::vector<AnsiString>& names);

    // Values of the open key. Names in the order they were first written.
    void GetValueNames(std::vector<AnsiString>& names);
    bool ValueExists(const AnsiString& name);
    bool DeleteValue(const AnsiString& name);
    TRegDataType GetDataType(const AnsiString& name);
    // Bytes of the value, -1 when it does not exist.
    int GetDataSize(const AnsiString& name);

    // Reads raise ERegistryException for a value of another type; ReadString of a
    // missing value is empty, ReadInteger of one raises.
    AnsiString ReadString(const AnsiString& name);
    int32_t ReadInteger(const AnsiString& name);
    // Copies the value into buffer and returns its size; 0 for a missing value; raises
    // when it is no binary value or does not fit into bufSize bytes.
    int ReadBinaryData(const AnsiString& name, void* buffer, int bufSize);
    std::vector<uint8_t> ReadBinary(const AnsiString& name);

    // Writes raise ERegistryException when no key is open for writing or the store
    // cannot be written; the store is then unchanged.
    void WriteString(const AnsiString& name, const AnsiString& value);
    void WriteInteger(const AnsiString& name, int32_t value);
    void WriteBinaryData(const AnsiString& name, const void* buffer, int size);

private:
    bool Writable() const;
    AnsiString Target(const AnsiString& key) const;
    void WriteValue(const AnsiString& name, TRegDataType type, const void* data, size_t size);

    bool open_ = false;
    bool readOnly_ = false;
    AnsiString current_;
};

// Why the last change of a store by this thread failed: the file or folder and the
// system's reason. Empty when the change failed for no such reason (a read-only root,
// no key open, a missing value).
AnsiString RegistryLastError();

// The file behind a root ("" for roots this store does not keep).
std::string RegistryStoreFile(HKEY root);

// The store's on-disk form, for the fuzz target and tests: true when bytes form a
// complete, undamaged store.
bool ParseRegistryStore(const std::vector<uint8_t>& bytes);
