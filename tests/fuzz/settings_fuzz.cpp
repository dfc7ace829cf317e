// Fuzzes the settings file: whatever quillrun.ini holds, loading gives a target, and saving that
// target and loading again gives the same target (and hot key) back, in an encoding that holds it.
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
    FakeDesktop desktop;
    ServeFilesAsModeSays(desktop, mode);
    desktop.PutFile(kSettingsPath, std::string(input.Rest()));

    const Settings loaded = LoadSettings(desktop);
    Require(!loaded.targetPath.empty());
    Require(loaded.targetPath.find_first_of(u"\r\n") == std::u16string::npos);

    Require(SaveSettings(desktop, loaded).ok());
    const Settings reloaded = LoadSettings(desktop);
    Require(reloaded.targetPath == loaded.targetPath);
    Require(reloaded.hotKey == loaded.hotKey);
    return 0;
}
