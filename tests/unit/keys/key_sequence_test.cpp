#include "keys/key_sequence.h"

#include <gtest/gtest.h>

namespace quillrun {
namespace {

using std::chrono::milliseconds;

std::string Narrow(std::u16string_view text) {
    return {text.begin(), text.end()};
}

// A step as "keys@line:column", "keys*count@..." or "wait 500@...".
std::string Describe(const SequenceStep& step) {
    // Appended piece by piece: GCC 12 warns of an overlap in "text" + std::to_string(n).
    std::string text;
    if (!step.key) {
        text.append("wait ").append(std::to_string(step.wait.count()));
    } else {
        text = Narrow(KeyStringOf(*step.key));
    }
    if (step.count != 1) {
        text.append("*").append(std::to_string(step.count));
    }
    text.append("@").append(std::to_string(step.at.line));
    return text.append(":").append(std::to_string(step.at.column));
}

std::vector<std::string> Steps(std::u16string_view text) {
    const SequenceReading reading = ReadSequence(text);
    EXPECT_FALSE(reading.error) << Narrow(text) << ": " << Narrow(reading.error->piece);
    std::vector<std::string> steps;
    for (const SequenceStep& step : reading.steps) {
        steps.push_back(Describe(step));
    }
    return steps;
}

TEST(KeySequence, ReadsEveryKindOfPiece) {
    const struct {
        std::u16string text;
        std::vector<std::string> steps;
    } cases[] = {
        {u"ab", {"a@1:1", "b@1:2"}},
        {u"user{TAB}secret~",
         {"u@1:1", "s@1:2", "e@1:3", "r@1:4", "{TAB}@1:5", "s@1:10", "e@1:11", "c@1:12", "r@1:13",
          "e@1:14", "t@1:15", "{ENTER}@1:16"}},
        // Names in any case and their other names, written back in one way.
        {u"{enter}{Bs}{BKSP}{del}{ins}{pgup}{F24}",
         {"{ENTER}@1:1", "{BACKSPACE}@1:8", "{BACKSPACE}@1:12", "{DELETE}@1:18", "{INSERT}@1:23",
          "{PGUP}@1:28", "{F24}@1:34"}},
        // Modifiers on a key, on a named key and on a group; the group's place is its first
        // modifier's, for each of its keys.
        {u"^a+{TAB}%^{F4}", {"^a@1:1", "+{TAB}@1:3", "^%{F4}@1:9"}},
        {u"x+(ab)y", {"x@1:1", "+a@1:2", "+b@1:2", "y@1:7"}},
        {u"^(a+b{WAIT 5})", {"^a@1:1", "+^b@1:1", "wait 5@1:1"}},
        {u"(ab)", {"a@1:1", "b@1:1"}},
        // The reserved characters in braces, a space and a brace named by the first character.
        {u"{+}{^}{%}{~}{(}{)}{{}{}}{[}{]}{ }",
         {"{+}@1:1", "{^}@1:4", "{%}@1:7", "{~}@1:10", "{(}@1:13", "{)}@1:16", "{{}@1:19",
          "{}}@1:22", "{[}@1:25", "{]}@1:28", " @1:31"}},
        // Repeats, of named keys and characters, and waits.
        {u"{TAB 3}{a 1000}{} 2}{WAIT 600000}",
         {"{TAB}*3@1:1", "a*1000@1:8", "{}}*2@1:16", "wait 600000@1:21"}},
        // Line ends are not typed, whichever they are; a group may span lines.
        {u"a\r\nb\rc\nd", {"a@1:1", "b@2:1", "c@3:1", "d@4:1"}},
        // Columns count characters: both halves of an emoji (narrowed here to "=" and NUL)
        // stand in its column; a tab is Tab.
        {u"\U0001F600\tb", {"=@1:1", std::string("\0@1:1", 5), "\t@1:2", "b@1:3"}},
        {u"+(a\r\nb)", {"+a@1:1", "+b@1:1"}},
        // Ctrl+Alt with another key than Delete, and Delete with one of them, go.
        {u"^%{END}^{DEL}%{DEL}", {"^%{END}@1:1", "^{DELETE}@1:8", "%{DELETE}@1:14"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Steps(c.text), c.steps) << Narrow(c.text);
    }
}

TEST(KeySequence, RefusesWhatCannotBeTypedNamingThePieceAndItsPlace) {
    const struct {
        std::u16string text;
        SequenceFault fault;
        std::u16string piece;
        TextPlace at;
    } cases[] = {
        {u"ab\r\n {TABB}", SequenceFault::UnknownKey, u"{TABB}", {2, 2}},
        {u"{}", SequenceFault::UnclosedBrace, u"{}", {1, 1}},
        {u"a{TAB\r\n}", SequenceFault::UnclosedBrace, u"{TAB", {1, 2}},
        {u"{TAB", SequenceFault::UnclosedBrace, u"{TAB", {1, 1}},
        {u"{aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa}",
         SequenceFault::UnclosedBrace,
         u"{aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
         {1, 1}},
        {u"a}", SequenceFault::UnopenedBrace, u"}", {1, 2}},
        {u"x\r\n+(ab", SequenceFault::UnclosedGroup, u"(", {2, 1}},
        {u"ab)", SequenceFault::UnopenedGroup, u")", {1, 3}},
        {u"+(a(b))", SequenceFault::NestedGroup, u"(", {1, 4}},
        {u"[x]", SequenceFault::Bracket, u"[", {1, 1}},
        {u"{TAB 0}", SequenceFault::CountOutOfRange, u"{TAB 0}", {1, 1}},
        {u"{TAB 1001}", SequenceFault::CountOutOfRange, u"{TAB 1001}", {1, 1}},
        {u"{WAIT 600001}", SequenceFault::WaitOutOfRange, u"{WAIT 600001}", {1, 1}},
        {u"{WAIT}", SequenceFault::WaitOutOfRange, u"{WAIT}", {1, 1}},
        {u"ab+", SequenceFault::ModifierWithoutKey, u"+", {1, 3}},
        {u"^+\r\na", SequenceFault::ModifierWithoutKey, u"^+", {1, 1}},
        {u"(a%)", SequenceFault::ModifierWithoutKey, u"%", {1, 3}},
        {u"+()", SequenceFault::ModifierWithoutKey, u"+()", {1, 1}},
        {u"%{WAIT 5}", SequenceFault::ModifierWithoutKey, u"%", {1, 1}},
        {u"x^%{DEL}", SequenceFault::CtrlAltDelete, u"^%{DEL}", {1, 2}},
        {u"^%({DELETE})", SequenceFault::CtrlAltDelete, u"{DELETE}", {1, 4}},
        {u"^(%{DEL})", SequenceFault::CtrlAltDelete, u"%{DEL}", {1, 3}},
        {u"\U0001F600\b", SequenceFault::ControlCharacter, u"\b", {1, 2}},
        {u"x\x1A", SequenceFault::ControlCharacter, u"\x1A", {1, 2}},
        {u"ab{\x1B 3}", SequenceFault::ControlCharacter, u"\x1B", {1, 3}},
    };
    for (const auto& c : cases) {
        const SequenceReading reading = ReadSequence(c.text);
        ASSERT_TRUE(reading.error) << Narrow(c.text);
        EXPECT_EQ(*reading.error, (SequenceError{c.fault, c.piece, c.at})) << Narrow(c.text);
    }
}

// A file comes in parts of a line; a piece cut between two parts reads as if it were whole,
// and where typing would be taken up after a part is never past the next key (a group's
// keys are taken up from the group's start).
TEST(KeySequence, APieceCutBetweenPartsReadsWhole) {
    const std::u16string text = u"a+(b{TAB 2}c)~^{F5}{WAIT 9}d";
    const SequenceReading whole = ReadSequence(text);
    ASSERT_FALSE(whole.error);
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        SequenceReader reader;
        std::vector<SequenceStep> steps;
        ASSERT_FALSE(reader.Read(std::u16string_view(text).substr(0, cut), false, steps));
        const std::size_t before = steps.size();
        const TextPlace resume = reader.NextPlace();
        ASSERT_FALSE(reader.Read(std::u16string_view(text).substr(cut), false, steps));
        ASSERT_FALSE(reader.Finish());
        EXPECT_EQ(steps, whole.steps) << cut;
        if (before < steps.size()) {
            EXPECT_LE(resume, steps[before].at) << cut;
        }
    }
}

}  // namespace
}  // namespace quillrun
