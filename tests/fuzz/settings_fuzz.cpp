// Fuzzes the settings file: whatever quillrun.ini holds, loading gives a target; a choice made
// and saved reads back as made, with the same target, and the file's first line and every line
// before the choices' keep their bytes.
#include <cstdint>
#include <string>

#include "tests/fake/fake_desktop.h"
#include "settings/settings_file.h"
#include "tests/fuzz/fuzz_input.h"

namespace quillrun::fuzz {
namespace {

constexpr std::u16string_view kSettingsPath = u"C:\\Tools\\Quillrun\\quillrun.ini";

}  // namespace
}  // namespace quillrun::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillrun;
    using namespace quillrun::fuzz;
    FuzzInput input(data, size);
    const std::uint8_t mode = input.Byte();
    const std::uint8_t choice = input.Byte();
    FakeDesktop desktop;
    ServeFilesAsModeSays(desktop, mode);
    desktop.PutFile(kSettingsPath, std::string(input.Rest()));

    const Settings loaded = LoadSettings(desktop);
    Require(!loaded.targetPath.empty());
    Require(loaded.targetPath.find_first_of(u"\r\n") == std::u16string::npos);

    Settings chosen = loaded;
    chosen.typing.pace = Milliseconds(choice % 7 * 20);
    chosen.typing.keyMode = (choice & 0x10) != 0 ? KeyMode::KeysOnly : KeyMode::UnicodeWhereNeeded;
    chosen.typing.layout = (choice & 0x20) != 0 ? u"00000407" : u"";
    if ((choice & 0x40) != 0) {
        chosen.hotKey = HotKey{HotKey::kCtrl | HotKey::kAlt, 0x78};
    }
    const std::string before = *desktop.FileBytes(kSettingsPath);
    Require(SaveSettings(desktop, chosen, loaded).ok());
    const Settings reloaded = LoadSettings(desktop);
    Require(reloaded.targetPath == loaded.targetPath);
    Require(reloaded.typing == chosen.typing);
    Require(reloaded.hotKey == chosen.hotKey);
    // A file that had lines keeps the first one's bytes.
    const std::string after = *desktop.FileBytes(kSettingsPath);
    const std::size_t firstEnd = before.find_first_of("\r\n");
    if (firstEnd != std::string::npos && firstEnd > 3 && before.find('\0') == std::string::npos) {
        Require(after.compare(0, firstEnd, before, 0, firstEnd) == 0);
    }
    return 0;
}
