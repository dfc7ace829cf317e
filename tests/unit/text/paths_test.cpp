#include "text/paths.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

struct FolderCase {
    std::u16string modulePath;
    std::u16string folder;
};

class FolderOfModulePathTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderOfModulePathTest, DropsFileNameAndKeepsRootBackslashOnlyForDrives) {
    EXPECT_EQ(FolderOfModulePath(GetParam().modulePath), GetParam().folder);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FolderOfModulePathTest,
    ::testing::Values(
        FolderCase{u"C:\\Tools\\Quillrun\\quillrun.exe", u"C:\\Tools\\Quillrun"},
        FolderCase{u"C:\\quillrun.exe", u"C:\\"},  // drive root keeps its backslash
        FolderCase{u"d:\\quillrun.exe", u"d:\\"},
        FolderCase{u"\\\\server\\share\\quillrun.exe", u"\\\\server\\share"},  // UNC share root
        FolderCase{u"\\\\server\\share\\apps\\quillrun.exe", u"\\\\server\\share\\apps"},
        FolderCase{u"\\\\?\\C:\\quillrun.exe", u"\\\\?\\C:\\"},  // long-path form of a root
        FolderCase{u"\\\\?\\C:\\Very\\Long\\quillrun.exe", u"\\\\?\\C:\\Very\\Long"},
        FolderCase{u"C:\\Program Files\\\u65E5\u672C\\quillrun.exe",
                   u"C:\\Program Files\\\u65E5\u672C"},
        FolderCase{u"quillrun.exe", u""}));

struct LongPathCase {
    const char* name;
    std::u16string fullPath;
    std::u16string opened;
};

class ExtendedLengthPathTest : public ::testing::TestWithParam<LongPathCase> {};

TEST_P(ExtendedLengthPathTest, PrefixesOnlyLongAbsolutePaths) {
    EXPECT_EQ(ExtendedLengthPath(GetParam().fullPath), GetParam().opened);
}

const std::u16string kLong(300, u'x');

INSTANTIATE_TEST_SUITE_P(
    Paths, ExtendedLengthPathTest,
    ::testing::Values(
        LongPathCase{"ShortStaysAsItIs", u"C:\\a.txt", u"C:\\a.txt"},
        LongPathCase{"JustBelowTheLimit", u"C:\\" + std::u16string(256, u'y'),
                     u"C:\\" + std::u16string(256, u'y')},
        LongPathCase{"AtTheLimit", u"C:\\" + std::u16string(257, u'y'),
                     u"\\\\?\\C:\\" + std::u16string(257, u'y')},
        LongPathCase{"Drive", u"d:\\" + kLong, u"\\\\?\\d:\\" + kLong},
        LongPathCase{"Unc", u"\\\\server\\share\\" + kLong, u"\\\\?\\UNC\\server\\share\\" + kLong},
        LongPathCase{"AlreadyPrefixed", u"\\\\?\\C:\\" + kLong, u"\\\\?\\C:\\" + kLong},
        LongPathCase{"Device", u"\\\\.\\pipe\\" + kLong, u"\\\\.\\pipe\\" + kLong},
        LongPathCase{"RelativeIsNotTouched", kLong, kLong}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun
