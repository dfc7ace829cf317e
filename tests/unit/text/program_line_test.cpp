#include "text/program_line.h"

#include <gtest/gtest.h>

#include <set>

namespace quillrun {
namespace {

struct PlanCase {
    const char* name;
    std::u16string line;
    LaunchPlan plan;
};

class PlanLaunchTest : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanLaunchTest, SplitsTheLineAndTellsAProgramFromADocument) {
    const std::set<std::u16string_view> files = {u"C:\\My Notes\\todo list.txt",
                                                 u"C:\\Program Files\\Editor\\editor.exe"};
    const auto namesFile = [&](std::u16string_view path) { return files.contains(path); };
    // %ME% stands for a user folder with a blank in its name.
    const auto expand = [](std::u16string_view text) {
        std::u16string expanded(text);
        if (const std::size_t at = expanded.find(u"%ME%"); at != std::u16string::npos) {
            expanded.replace(at, 4, u"C:\\Users\\John Smith");
        }
        return expanded;
    };
    EXPECT_EQ(PlanLaunch(GetParam().line, namesFile, expand), GetParam().plan);
}

constexpr LaunchKind kProgram = LaunchKind::Program;
constexpr LaunchKind kDocument = LaunchKind::Document;

INSTANTIATE_TEST_SUITE_P(
    Lines, PlanLaunchTest,
    ::testing::Values(
        PlanCase{"QuotedPathWithArguments",
                 u"\"C:\\Program Files\\Editor\\editor.exe\"  /new \"a b.txt\"",
                 {kProgram, u"C:\\Program Files\\Editor\\editor.exe", u"/new \"a b.txt\""}},
        // A document named whole by a line without quotes, as Explorer's "Copy as path" leaves
        // it without them.
        PlanCase{"UnquotedDocumentWithSpaces",
                 u"C:\\My Notes\\todo list.txt ",
                 {kDocument, u"C:\\My Notes\\todo list.txt", u""}},
        // Not a file as a whole: the first word, and CreateProcess resolves the rest as ever.
        PlanCase{"UnquotedProgramWithSpacesAndArguments",
                 u"C:\\Program Files\\Editor\\editor.exe /new",
                 {kProgram, u"C:\\Program", u"Files\\Editor\\editor.exe /new"}},
        PlanCase{"Shortcut", u"C:\\Users\\me\\Desktop\\Editor.lnk",
                 {kDocument, u"C:\\Users\\me\\Desktop\\Editor.lnk", u""}},
        PlanCase{"ShortcutInCapitalsWithArguments", u"\"C:\\Links\\EDITOR.LNK\" /new",
                 {kDocument, u"C:\\Links\\EDITOR.LNK", u"/new"}},
        PlanCase{"ProgramWithArguments", u"mstsc.exe /v:server",
                 {kProgram, u"mstsc.exe", u"/v:server"}},
        PlanCase{"BatchFile", u"C:\\Scripts\\setup.BAT", {kProgram, u"C:\\Scripts\\setup.BAT", u""}},
        PlanCase{"DocumentOfAnyOtherType", u"D:\\Forms\\order.xlsx",
                 {kDocument, u"D:\\Forms\\order.xlsx", u""}},
        // No extension, whatever dots the folders have: CreateProcess looks for notepad.exe.
        PlanCase{"NoExtension", u"C:\\Tools.v2\\notepad", {kProgram, u"C:\\Tools.v2\\notepad", u""}},
        PlanCase{"EmptyLine", u"", {kProgram, u"", u""}},
        PlanCase{"VariableWithABlankInADocumentWithArguments", u"%ME%\\lab.rdp /admin",
                 {kDocument, u"C:\\Users\\John Smith\\lab.rdp", u"/admin"}},
        PlanCase{"UrlEndingInCom", u"https://kvm.example.com",
                 {kDocument, u"https://kvm.example.com", u""}},
        PlanCase{"UrlWithPortAndNoExtension", u"https://10.0.0.5:8443/console",
                 {kDocument, u"https://10.0.0.5:8443/console", u""}}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace quillrun
