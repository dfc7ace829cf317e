// Typing throughput under Wine: the real quillrun.exe types a file into the test target, and
// the same keystrokes injected in one burst show what the target itself can take. Prints the
// figures; asserts nothing.
//
//   typing_bench.exe [characters] [test target options, e.g. --char-delay-ms 8]
//
// Each measured stretch is bracketed by marks that a traced Wine server (wineserver -f -d1)
// records: named events whose names say the stretch, the characters handled so far and the
// processes whose requests count (bench/count-server-requests.awk reads them).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "text/utf.h"
#include "win32/win32_keyboard.h"
#include "tests/win32/e2e_support.h"

namespace {

using namespace quillrun;
using namespace quillrun::testing;

// Text like a source file or a letter: lines of about 60 characters with letters, digits,
// spaces and the punctuation (key-string specials among it) that typing has to escape.
constexpr const wchar_t* kSampleWords[] = {
    L"quill",  L"Run",    L"typing", L"{x}",   L"(50%)", L"a+b",  L"~tilde", L"[list]",
    L"caret^", L"Hello,", L"world.", L"12345", L"line",  L"text", L"\tTab",  L"EOF;"};
// Lowercase words, as prose without capitals: one key a character.
constexpr const wchar_t* kLowercaseWords[] = {
    L"quill", L"run", L"typing", L"the",     L"keys",    L"into",    L"a",      L"remote",
    L"desk",  L"top", L"and",    L"virtual", L"machine", L"console", L"slowly", L"text"};
// A script, as users type one into a console: capitals, digits and shifted symbols mixed in.
constexpr const wchar_t* kMixedWords[] = {L"Set-Item",   L"-Path",  L"\"HKLM:\\Software\\Quill\"",
                                          L"-Value",     L"$Count", L"= 42;",
                                          L"if",         L"($x",    L"-gt",
                                          L"10)",        L"{",      L"Write-Host",
                                          L"\"Done!\"",  L"}",      L"#",
                                          L"TODO: Fix@3"};

// Runs of capitals and shifted symbols, as in constants, headings and passwords: where each
// character needs Shift, as the one before it did.
constexpr const wchar_t* kShiftedWords[] = {
    L"MAX_BUFFER_SIZE", L"ERROR:", L"#DEFINE",    L"P@SS!WORD", L"{KEY}",      L"(%TEMP%)",
    L"HTTP_PROXY",      L"README", L"!@#$%^&*()", L"NOTICE:",   L"\"CONFIG\"", L"<TITLE>",
    L"~USER",           L"|PIPE|", L"+++",        L"QUILLRUN?"};

// The benchmark's text kind, from QUILLRUN_BENCH_TEXT: sample (default), lowercase, mixed or
// shifted.
std::span<const wchar_t* const> Words() {
    wchar_t kind[16] = {};
    ::GetEnvironmentVariableW(L"QUILLRUN_BENCH_TEXT", kind, 16);
    if (std::wstring_view(kind) == L"lowercase") {
        return kLowercaseWords;
    }
    if (std::wstring_view(kind) == L"mixed") {
        return kMixedWords;
    }
    if (std::wstring_view(kind) == L"shifted") {
        return kShiftedWords;
    }
    return kSampleWords;
}

std::wstring SampleText(std::size_t characters) {
    const std::span<const wchar_t* const> words = Words();
    std::wstring text;
    std::size_t word = 0;
    std::size_t lineLength = 0;
    while (text.size() < characters) {
        const std::wstring next = words[(word * 7 + word / 3) % words.size()];
        ++word;
        if (lineLength + next.size() + 1 > 60) {
            text += L"\r\n";
            lineLength = 0;
        } else if (lineLength > 0) {
            text += L' ';
            ++lineLength;
        }
        text += next;
        lineLength += next.size();
    }
    text.resize(characters);
    if (text.back() == L'\r') {
        text.back() = L'.';
    }
    return text;
}

// The text with every line end as the target holds it (CR LF), a line end after the last line.
std::wstring AsTyped(const std::wstring& text) {
    std::wstring typed = text;
    if (typed.size() < 2 || typed.compare(typed.size() - 2, 2, L"\r\n") != 0) {
        typed += L"\r\n";
    }
    return typed;
}

struct Comparison {
    long lost = 0;       // expected characters that never arrived
    long extra = 0;      // characters that arrived but were not in the file
    long reordered = 0;  // positions that differ although nothing was lost or added
};

Comparison Compare(const std::wstring& expected, const std::wstring& got) {
    std::map<wchar_t, long> balance;
    for (const wchar_t c : expected) {
        ++balance[c];
    }
    for (const wchar_t c : got) {
        --balance[c];
    }
    Comparison result;
    for (const auto& [c, n] : balance) {
        (n > 0 ? result.lost : result.extra) += std::labs(n);
    }
    if (result.lost == 0 && result.extra == 0) {
        for (std::size_t i = 0; i < expected.size(); ++i) {
            result.reordered += expected[i] != got[i] ? 1 : 0;
        }
    }
    return result;
}

// A mark in the server's trace: "qr-bench:STRETCH:begin|end:CHARACTERS:label=pid,...", the
// process ids in hexadecimal as the trace prints them.
void Mark(const std::wstring& stretch, const wchar_t* edge, long characters,
          std::initializer_list<std::pair<const wchar_t*, DWORD>> counted) {
    std::wstring name = L"qr-bench:" + stretch + L":" + edge + L":" + std::to_wstring(characters);
    wchar_t separator = L':';
    for (const auto& [label, process] : counted) {
        wchar_t hex[16];
        std::swprintf(hex, std::size(hex), L"%04lx", static_cast<unsigned long>(process));
        name += separator;
        name += label;
        name += L'=';
        name += hex;
        separator = L',';
    }
    win32::UniqueHandle event(::CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// The keystrokes Quillrun would send for `text`, all injected at once.
double BurstSeconds(const std::wstring& text, const std::wstring& targetArguments,
                    Comparison& comparison) {
    TargetProgram target(targetArguments);
    if (target.Start() == nullptr || !BringToFront(target.window())) {
        std::fprintf(stderr, "burst: the target did not come up\n");
        return 0;
    }
    const HandledCharCount handled(target.window());
    const HKL layout = ::GetKeyboardLayout(::GetWindowThreadProcessId(target.window(), nullptr));
    const win32::SystemKeyboardLayout keys(layout);
    std::vector<INPUT> inputs;
    const std::wstring typed = AsTyped(text);
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] == L'\n' && i > 0 && typed[i - 1] == L'\r') {
            continue;
        }
        for (const KeyEvent& event : PlanKeystrokes(static_cast<char16_t>(typed[i]), keys, false)) {
            inputs.push_back(win32::KeyEventInput(event, layout));
        }
    }
    const long expected = CharacterMessages(typed);
    const std::initializer_list<std::pair<const wchar_t*, DWORD>> counted = {
        {L"injector", ::GetCurrentProcessId()}, {L"target", handled.process()}};
    Mark(L"burst", L"begin", 0, counted);
    const auto start = Clock::now();
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    WaitUntil([&] { return handled.Now() >= expected; }, 600s);
    const double seconds = Seconds(Clock::now() - start);
    Mark(L"burst", L"end", handled.Now(), counted);
    comparison = Compare(typed, target.Text());
    return seconds;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::size_t characters = argc > 1 ? std::wcstoul(argv[1], nullptr, 10) : 20000;
    std::wstring targetArguments;
    for (int i = 2; i < argc; ++i) {
        targetArguments += (i > 2 ? L" " : L"") + std::wstring(argv[i]);
    }
    const std::wstring text = SampleText(characters);
    const std::wstring typed = AsTyped(text);
    const long expected = CharacterMessages(typed);

    // A pace from QUILLRUN_BENCH_PACE (ms a key): Quillrun types at it, and no burst is taken.
    wchar_t paceText[8] = {};
    ::GetEnvironmentVariableW(L"QUILLRUN_BENCH_PACE", paceText, 8);
    const unsigned long pace = std::wcstoul(paceText, nullptr, 10);
    // A wait after each line from QUILLRUN_BENCH_LINEWAIT (ms), likewise without a burst.
    wchar_t lineWaitText[8] = {};
    ::GetEnvironmentVariableW(L"QUILLRUN_BENCH_LINEWAIT", lineWaitText, 8);
    const unsigned long lineWait = std::wcstoul(lineWaitText, nullptr, 10);
    std::string settingsLines = pace > 0 ? "pace=" + std::to_string(pace) + "\r\n" : "";
    if (lineWait > 0) {
        settingsLines += "linewait=" + std::to_string(lineWait) + "\r\n";
    }

    // Quillrun's run, timed from the first character the target handles to the last.
    auto session = std::make_unique<QuillrunSession>(targetArguments, settingsLines);
    if (session->window == nullptr) {
        std::fprintf(stderr, "quillrun.exe did not come up\n");
        return 1;
    }
    TargetProgram& target = session->target;
    session->TypeFile("\xEF\xBB\xBF" + Utf16ToUtf8(std::u16string(text.begin(), text.end())),
                      L"bench.txt");
    if (target.WaitForWindow() == nullptr) {
        std::fprintf(stderr, "the target did not come up\n");
        return 1;
    }
    const HandledCharCount handled(target.window());
    if (!WaitUntil([&] { return handled.Now() > 0; }, 30s)) {
        std::fprintf(stderr, "typing did not begin\n");
        return 1;
    }
    const std::initializer_list<std::pair<const wchar_t*, DWORD>> counted = {
        {L"quillrun", session->process.id()}, {L"target", handled.process()}};
    const auto first = Clock::now();
    Mark(L"typing", L"begin", handled.Now(), counted);
    // The script watching this run reads Quillrun's CPU time here, so that the time it spent
    // starting up and launching the target is not counted against the typing.
    std::printf("typing began\n");
    std::fflush(stdout);
    long last = handled.Now();
    auto lastProgress = Clock::now();
    while (last < expected && Clock::now() - lastProgress < 10s) {
        ::Sleep(5);
        const long now = handled.Now();
        if (now != last) {
            last = now;
            lastProgress = Clock::now();
        }
    }
    Mark(L"typing", L"end", last, counted);
    const double wall = Seconds(lastProgress - first);
    const Comparison quillrunResult = Compare(typed, target.Text());
    target.Close();
    session.reset();  // Quillrun closes before the target's own limit is measured

    const double rate = static_cast<double>(expected) / wall;
    if (pace > 0 || lineWait > 0) {
        std::printf("pace:                    %lu ms a key\n", pace);
        std::printf("typed:                   %ld of %ld\n", last, expected);
        std::printf("quillrun rate:           %.1f characters/s (%.2f s)\n", rate, wall);
        std::printf("lost / extra / reordered: %ld / %ld / %ld\n", quillrunResult.lost,
                    quillrunResult.extra, quillrunResult.reordered);
        if (pace > 0) {
            // Each character of a text without Shift is a press and a release: one pace.
            const double allowed = 1000.0 / static_cast<double>(pace);
            std::printf("ratio to the pace's rate: %.3f (of %.1f characters/s)\n", rate / allowed,
                        allowed);
        }
        if (lineWait > 0) {
            // A wait follows every line end but the text's last, which the timing ends with.
            const auto waits = std::count(typed.begin(), typed.end(), L'\r') - 1;
            std::printf("line waits:              %ld of %lu ms\n", static_cast<long>(waits),
                        lineWait);
            std::printf("wall less the line waits: %.2f s\n",
                        wall - static_cast<double>(waits * static_cast<long>(lineWait)) / 1000.0);
        }
        return 0;
    }

    Comparison burstResult;
    const double burst = BurstSeconds(text, targetArguments, burstResult);

    const double burstRate = burst > 0 ? static_cast<double>(expected) / burst : 0;
    std::printf("target:                  qr_target.exe %ls\n",
                targetArguments.empty() ? L"(fast)" : targetArguments.c_str());
    std::printf("file:                    %zu characters, %ld keystrokes that type a character\n",
                characters, expected);
    std::printf("typed:                   %ld of those\n", last);
    std::printf("quillrun rate:           %.0f characters/s (%.2f s)\n", rate, wall);
    std::printf("lost / extra / reordered: %ld / %ld / %ld\n", quillrunResult.lost,
                quillrunResult.extra, quillrunResult.reordered);
    // Wine reports no CPU times for other processes; the script reads them from Linux.
    std::printf("quillrun wall:           %.2f s\n", wall);
    std::printf("target limit (burst):    %.0f characters/s (%.2f s; lost %ld, reordered %ld)\n",
                burstRate, burst, burstResult.lost, burstResult.reordered);
    std::printf("ratio to the limit:      %.2f\n", burstRate > 0 ? rate / burstRate : 0.0);
    return 0;
}
