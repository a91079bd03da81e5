#include "TestSupport.h"
#include "platform/DebugOutput.h"
#include "platform/Registry.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

namespace fs = std::filesystem;

namespace {

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutStr(std::vector<uint8_t>& b, const std::string& s) {
    PutU32(b, static_cast<uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
uint32_t Crc(const std::vector<uint8_t>& b) {
    uint32_t c = 0xFFFFFFFFu;
    for (uint8_t x : b) {
        c ^= x;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
}

class RegistryTest : public ::testing::Test {
protected:
    TestRegistryFolder registry_;
    const std::string dir_ = registry_.Dir().Path().string();
    std::string User() const { return dir_ + "/user.reg"; }
    std::string Machine() const { return dir_ + "/machine.reg"; }
};

}  // namespace

TEST_F(RegistryTest, ValuesSurviveReopeningWithoutRegardToCase) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra\\Glowcanvas\\2.x\\ScreenSavers\\Name", true));
        reg.WriteString("Pfad", "C:\\Bilder\\\xE4rger.kls");
        reg.WriteInteger("Zahl", -5);
        const uint8_t bin[] = {0, 1, 2, 255};
        reg.WriteBinaryData("Properties", bin, 4);
        reg.WriteInteger("zahl", 7);  // same value, other case
    }
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\software\\VELMORRA\\Nope", false));
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\software\\VELMORRA\\glowcanvas\\2.X"));
    std::vector<AnsiString> names;
    reg.GetKeyNames(names);
    EXPECT_EQ(names, std::vector<AnsiString>{"ScreenSavers"});
    ASSERT_TRUE(reg.OpenKey("screensavers\\name", false));  // relative to the open key
    EXPECT_EQ(reg.CurrentPath(), "software\\VELMORRA\\glowcanvas\\2.X\\screensavers\\name");
    reg.GetValueNames(names);
    EXPECT_EQ(names, (std::vector<AnsiString>{"Pfad", "Zahl", "Properties"}));
    EXPECT_EQ(reg.ReadString("PFAD"), "C:\\Bilder\\\xE4rger.kls");
    EXPECT_EQ(reg.ReadInteger("Zahl"), 7);
    EXPECT_EQ(reg.ReadBinary("properties"), (std::vector<uint8_t>{0, 1, 2, 255}));
    EXPECT_EQ(reg.GetDataType("Zahl"), TRegDataType::rdInteger);
    EXPECT_EQ(reg.GetDataSize("Properties"), 4);
    EXPECT_EQ(reg.GetDataSize("Missing"), -1);
    EXPECT_EQ(reg.ReadString("Missing"), "");
    EXPECT_THROW(reg.ReadInteger("Missing"), ERegistryException);
    EXPECT_THROW(reg.ReadInteger("Pfad"), ERegistryException);
    uint8_t small[2];
    EXPECT_THROW(reg.ReadBinaryData("Properties", small, 2), ERegistryException);
    EXPECT_EQ(reg.ReadBinaryData("Missing", small, 2), 0);
    // Opened read-only: writes are refused and change nothing.
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Velmorra\\Glowcanvas\\2.x\\ScreenSavers\\Name"));
    EXPECT_THROW(reg.WriteInteger("Zahl", 1), ERegistryException);
    EXPECT_FALSE(reg.DeleteValue("Zahl"));
    EXPECT_EQ(reg.ReadInteger("Zahl"), 7);
}

TEST_F(RegistryTest, DeletingValuesAndKeys) {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\A\\B\\C", true));
    reg.WriteString("x", "1");
    ASSERT_TRUE(reg.OpenKey("\\A\\Bx", true));
    ASSERT_TRUE(reg.OpenKey("\\A\\B", false));
    reg.WriteString("y", "2");
    EXPECT_TRUE(reg.DeleteValue("Y"));
    EXPECT_FALSE(reg.ValueExists("y"));
    EXPECT_FALSE(reg.DeleteValue("y"));
    EXPECT_TRUE(reg.DeleteKey("\\a\\b"));
    EXPECT_FALSE(reg.HasCurrentKey());  // the open key went with it
    EXPECT_FALSE(reg.KeyExists("\\A\\B\\C"));
    EXPECT_TRUE(reg.KeyExists("\\A\\Bx"));  // a name that merely begins the same stays
    EXPECT_FALSE(reg.DeleteKey("\\A\\B"));
    EXPECT_THROW(reg.WriteString("z", "no key open"), ERegistryException);
}

TEST_F(RegistryTest, LocalMachineIsReadOnly) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra\\Glowcanvas\\2.x", true));
        reg.WriteString("InstallDir", "/opt/lumivor");
    }
    fs::copy_file(User(), Machine());
    const auto before = ReadFileBytes(Machine());
    TRegistry reg;
    reg.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(reg.OpenKey("\\Software\\New", true));
    EXPECT_FALSE(reg.CreateKey("\\Software\\New"));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra\\Glowcanvas\\2.x", false));
    EXPECT_EQ(reg.ReadString("InstallDir"), "/opt/lumivor");
    EXPECT_THROW(reg.WriteString("InstallDir", "x"), ERegistryException);
    EXPECT_FALSE(reg.DeleteKey("\\Software"));
    EXPECT_EQ(ReadFileBytes(Machine()), before);
    reg.RootKey = 0x80000003u;  // a root this store does not keep
    EXPECT_FALSE(reg.OpenKey("\\Software", false));
}

TEST_F(RegistryTest, ReadsAStoreWrittenByHand) {
    std::vector<uint8_t> b;
    PutU32(b, 0x47524347);
    PutU32(b, 1);
    PutU32(b, 1);  // one key; its parent comes with it
    PutStr(b, "Software\\Velmorra");
    PutU32(b, 2);
    PutStr(b, "Name");
    PutU32(b, 1);
    PutStr(b, "Wert");
    PutStr(b, "Nummer");
    PutU32(b, 4);
    PutStr(b, std::string("\x2A\0\0\0", 4));
    PutU32(b, Crc(b));
    WriteFileBytes(User(), b);
    EXPECT_TRUE(ParseRegistryStore(b));

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\velmorra", false));
    EXPECT_EQ(reg.ReadString("name"), "Wert");
    EXPECT_EQ(reg.ReadInteger("NUMMER"), 42);
    EXPECT_TRUE(reg.OpenKey("\\Software", false));

    // A write keeps every value; the parent key is then stored in its own right.
    ASSERT_TRUE(reg.OpenKey("\\Software\\Velmorra", false));
    reg.WriteInteger("Nummer", 42);
    std::vector<uint8_t> expected;
    PutU32(expected, 0x47524347);
    PutU32(expected, 1);
    PutU32(expected, 2);
    PutStr(expected, "Software");
    PutU32(expected, 0);
    expected.insert(expected.end(), b.begin() + 12, b.end() - 4);
    PutU32(expected, Crc(expected));
    EXPECT_EQ(ReadFileBytes(User()), expected);
}

TEST_F(RegistryTest, ADamagedStoreIsReadAsNothingAndSetAsideByTheNextChange) {
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\Software\\X", true));
        reg.WriteString("v", "text");
    }
    std::vector<uint8_t> good = ReadFileBytes(User());
    ASSERT_TRUE(ParseRegistryStore(good));

    std::vector<std::vector<uint8_t>> bad;
    bad.push_back({});                                           // empty file
    bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 5));  // cut short
    auto flipped = good;
    flipped[20] ^= 0x40;                                         // checksum no longer fits
    bad.push_back(flipped);
    auto longer = good;
    longer.push_back(0);                                         // bytes after the end
    bad.push_back(longer);
    std::vector<uint8_t> noise(3000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(i * 7919 >> 3);
    bad.push_back(noise);                                        // random bytes
    for (const auto& b : bad) {
        EXPECT_FALSE(ParseRegistryStore(b));
        WriteFileBytes(User(), b);
        TRegistry reg;
        EXPECT_FALSE(reg.OpenKey("\\Software\\X", false));
        EXPECT_FALSE(reg.KeyExists("\\Software"));
        EXPECT_EQ(ReadFileBytes(User()), b);  // reading never changes it

        testing::internal::CaptureStderr();
        ASSERT_TRUE(reg.OpenKey("\\Software\\Y", true));
        reg.WriteString("w", "new");
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find(User() + " could not be read"), std::string::npos) << err;
        EXPECT_NE(err.find("kept as " + User() + ".damaged"), std::string::npos) << err;
        EXPECT_EQ(ReadFileBytes(User() + ".damaged"), b);
        EXPECT_EQ(reg.ReadString("w"), "new");
        EXPECT_FALSE(reg.KeyExists("\\Software\\X"));
        fs::remove(User() + ".damaged");
    }
    // A store kept aside earlier stays; the next one is numbered.
    WriteFileBytes(User() + ".damaged", {1});
    WriteFileBytes(User() + ".damaged.1", {2});
    WriteFileBytes(User(), {3});
    testing::internal::CaptureStderr();
    EXPECT_TRUE(TRegistry().CreateKey("\\Z"));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFileBytes(User() + ".damaged"), std::vector<uint8_t>{1});
    EXPECT_EQ(ReadFileBytes(User() + ".damaged.2"), std::vector<uint8_t>{3});
}

// A store that is no plain file reads as nothing, at once: nothing waits for a writer
// into a pipe someone made by its name, and the debug output names it. A pipe is kept
// aside by the next change as a damaged store is; a folder stays, and no change is made.
TEST_F(RegistryTest, AStoreThatIsNoPlainFileReadsAsNothingWithoutWaiting) {
    struct TCase {
        const char* What;
        std::function<void()> Make;
        const char* Said;
        bool KeptAside;
    };
    const TCase cases[] = {
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(User().c_str(), 0600), 0); }, "no plain file", true},
        {"a folder", [&] { fs::create_directory(User()); }, "a folder", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        c.Make();
        EXPECT_TRUE(EndsWithinASecond([&] {
            TFakeDebugOutput debug;
            SetDebugOutput(&debug);
            TRegistry reg;
            const bool read = reg.KeyExists("\\Software");
            SetDebugOutput(nullptr);
            if (read || debug.Lines.size() != 1 || debug.Lines[0].find(c.Said) == AnsiString::npos) ::_exit(1);
        }));
        EXPECT_TRUE(EndsWithinASecond([&] {
            testing::internal::CaptureStderr();
            TRegistry reg;
            const bool changed = reg.OpenKey("\\Software\\Y", true);
            testing::internal::GetCapturedStderr();
            if (changed != c.KeptAside || TRegistry(KEY_READ).KeyExists("\\Software\\Y") != c.KeptAside) ::_exit(1);
        }));
        if (c.KeptAside) {
            EXPECT_TRUE(fs::is_regular_file(User()));
            EXPECT_EQ(fs::symlink_status(User() + ".damaged").type(), fs::file_type::fifo);
        } else {
            EXPECT_TRUE(fs::is_directory(User()));
            EXPECT_FALSE(fs::exists(User() + ".damaged"));
        }
        fs::remove(User());
        fs::remove(User() + ".damaged");
    }
}

TEST_F(RegistryTest, AStoreThatCannotBeWrittenSaysWhereAndWhy) {
    // A file where the folder should be.
    const std::string file = dir_ + "/plain";
    WriteFileBytes(file, {1});
    ::setenv("GC_REGISTRY_DIR", file.c_str(), 1);
    TRegistry reg;
    EXPECT_FALSE(reg.OpenKey("\\K", true));
    EXPECT_EQ(RegistryLastError(), file + ": Not a directory");
    ::setenv("GC_REGISTRY_DIR", dir_.c_str(), 1);

    // A folder the user may not write.
    ASSERT_TRUE(reg.OpenKey("\\K", true));
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    {
        FilePermissionsHold hold;
        EXPECT_THROW(reg.WriteString("v", "x"), ERegistryException);
        EXPECT_EQ(RegistryLastError().rfind(User(), 0), 0u) << RegistryLastError();
        EXPECT_NE(RegistryLastError().find("Permission denied"), std::string::npos) << RegistryLastError();
    }
    fs::permissions(dir_, fs::perms::owner_all);
    reg.WriteString("v", "x");
    EXPECT_EQ(RegistryLastError(), "");
    // The lock file goes with each change.
    EXPECT_FALSE(fs::exists(User() + ".lock"));
}

TEST_F(RegistryTest, AKilledWriterLeavesTheOldOrTheNewStore) {
    const std::string big(200000, 'x');
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\K", true));
        reg.WriteString("v", "0");
    }
    for (int round = 0; round < 6; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TRegistry reg;
            if (!reg.OpenKey("\\K", false)) ::_exit(2);
            for (int i = 1;; ++i) {
                reg.WriteString("v", std::to_string(i) + big);
                reg.WriteString("w", std::to_string(i));
            }
        }
        ::usleep(static_cast<useconds_t>(20000 + 15000 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));

        EXPECT_TRUE(ParseRegistryStore(ReadFileBytes(User())));
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey("\\K", false));
        const AnsiString v = reg.ReadString("v");
        EXPECT_TRUE(v == "0" || (v.size() > big.size() && v.compare(v.size() - big.size(), big.size(), big) == 0));
        // The lock of the killed writer went with it: writing goes on.
        ASSERT_TRUE(reg.OpenKey("\\K", true));
        reg.WriteString("after", "yes");
        EXPECT_EQ(reg.ReadString("after"), "yes");
    }
    // Temporary files and the lock file of killed writers were cleared away by later writes.
    for (const auto& e : fs::directory_iterator(dir_)) EXPECT_EQ(e.path().filename().string(), "user.reg");
}

TEST(RegistryLocation, FollowsXdgFolders) {
    ::unsetenv("GC_REGISTRY_DIR");
    ::setenv("XDG_CONFIG_HOME", "/cfg/home", 1);
    EXPECT_EQ(RegistryStoreFile(HKEY_CURRENT_USER), "/cfg/home/glowcanvas/user.reg");
    ::setenv("XDG_CONFIG_HOME", "", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(RegistryStoreFile(HKEY_CURRENT_USER), "/home/u/.config/glowcanvas/user.reg");
    ::setenv("XDG_CONFIG_DIRS", "relative:/nowhere/a:/nowhere/b", 1);
    EXPECT_EQ(RegistryStoreFile(HKEY_LOCAL_MACHINE), "/nowhere/a/glowcanvas/machine.reg");
    ::unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(RegistryStoreFile(HKEY_LOCAL_MACHINE), "/etc/xdg/glowcanvas/machine.reg");
    ::setenv("GC_REGISTRY_DIR", "/t", 1);
    EXPECT_EQ(RegistryStoreFile(HKEY_CURRENT_USER), "/t/user.reg");
    EXPECT_EQ(RegistryStoreFile(HKEY_CLASSES_ROOT), "/t/machine.reg");
    ::unsetenv("GC_REGISTRY_DIR");
}
