#include "playback/playback_report.h"

#include <iterator>
#include <string_view>

#include "text/language.h"
#include "text/utf.h"

namespace quillrun {
namespace {

// Each sentence of a message in both languages. The menu's names quoted here are those of
// Start's menu in the same language.
constexpr Localized kProgramInFront{u"the program in front", u"前面のプログラム"};
constexpr Localized kTheFile{u"the file", u"ファイル"};
constexpr Localized kTheClipboardsText{u"the clipboard's text", u"クリップボードのテキスト"};
constexpr Localized kTheStandardInput{u"standard input", u"標準入力"};
constexpr Localized kTheSecret{u"the secret", u"シークレット"};
// A secret's messages say how much of it was typed and why the run ended, never a character of
// it; the clipboard's, which may hold a password too, never quote a piece of its text.
constexpr Localized kSecretNotTypable{
    u"Quillrun typed nothing: the keyboard layout{layout} has no keys for a character of the "
    u"secret, at position {position}, and \"Keys only\" or the other computer's layout asks for "
    u"keys.",
    u"Quillrun は何も入力しませんでした。シークレットの {position} 文字目の文字を入力するキーが"
    u"キーボード レイアウト{layout}にありません。「キーのみ」か相手のコンピューターのレイアウトが"
    u"キーでの入力を求めています。"};
constexpr Localized kSecretLayoutName{u" \"{layout}\"", u"「{layout}」"};
constexpr Localized kSecretTyped{
    u"\n\n{typed} characters of the secret were typed. Clear what arrived and type the secret "
    u"again: Quillrun has forgotten it.",
    u"\n\nシークレットのうち {typed} 文字を入力しました。届いた文字を消してから、シークレットを"
    u"もう一度入力してください。Quillrun はシークレットを忘れました。"};
constexpr Localized kSecretTypedAndOneMayHave{
    u"\n\n{typed} characters of the secret were typed, and one more may have arrived. Clear what "
    u"arrived and type the secret again: Quillrun has forgotten it.",
    u"\n\nシークレットのうち {typed} 文字を入力しました。さらに 1 文字届いている可能性があります。"
    u"届いた文字を消してから、シークレットをもう一度入力してください。Quillrun はシークレットを"
    u"忘れました。"};
constexpr Localized kBadSequenceUnquoted{
    u"Quillrun typed nothing: the key sequence cannot be typed as written. The piece at line "
    u"{line}, column {column} of {text} {fault}\n\nCorrect the text, or turn \"Key sequences\" off "
    u"in Start's menu to type it as it stands.",
    u"Quillrun は何も入力しませんでした。キー シーケンスを書かれたとおりに入力できません。{text}の "
    u"{line} 行目の {column} 文字目の部分{fault}\n\nテキストを直すか、「Start」のメニューで"
    u"「キー シーケンス」をオフにして、テキストをそのまま入力してください。"};

constexpr Localized kFocusMoved{
    u"Quillrun stopped typing because another window came to the front.",
    u"別のウィンドウが前面に出たため、Quillrun は入力を中止しました。"};
// A click on Quillrun stops the run and does nothing else: a button clicked then would have
// started its command inside the run that was still typing.
constexpr Localized kStoppedByClick{
    u"Quillrun stopped typing because its window was clicked. The click only stopped the run: a "
    u"button or menu clicked then did nothing, so click it again if you meant it.",
    u"Quillrun のウィンドウがクリックされたため、Quillrun は入力を中止しました。"
    u"このクリックは入力を止めただけです。そのときクリックしたボタンやメニューは実行されて"
    u"いないので、必要ならもう一度クリックしてください。"};
constexpr Localized kStoppedByHotKey{
    u"Quillrun stopped typing because the hot key was pressed again.",
    u"ホット キーがもう一度押されたため、Quillrun は入力を中止しました。"};
constexpr Localized kHotKeyBeforeTyping{
    u"Quillrun typed nothing: the hot key was pressed before typing began, which stops the run "
    u"on its way rather than typing the clipboard in its place.",
    u"入力の開始前にホット キーが押されたため、Quillrun は何も入力しませんでした。この場合、"
    u"ホット キーはクリップボードを入力せず、開始を待っている入力を中止します。"};
constexpr Localized kKeysHeld{
    u"Keys were still held 5 seconds after the hot key was pressed: nothing was typed. Let go of "
    u"every key after pressing the hot key.",
    u"ホット キーを押してから 5 秒たってもキーが押されたままだったため、何も入力しませんでした。"
    u"ホット キーを押したら、すべてのキーを離してください。"};
constexpr Localized kInterrupted{
    u"Quillrun stopped typing because Ctrl+C or Ctrl+Break was pressed in its console.",
    u"コンソールで Ctrl+C または Ctrl+Break が押されたため、Quillrun は入力を中止しました。"};
constexpr Localized kTargetClosed{u"Quillrun stopped typing because {program} closed.",
                                  u"{program} が閉じたため、Quillrun は入力を中止しました。"};
constexpr Localized kOpenFailed{
    u"Quillrun typed nothing: it could not open the file \"{path}\": {reason}",
    u"Quillrun は何も入力しませんでした。ファイル \"{path}\" を開けませんでした。原因: {reason}"};
constexpr Localized kFileChanged{
    u"Quillrun typed nothing: the file \"{path}\" has changed since the run that stopped (its size "
    u"or the time it was saved differs), so where the rest begins can no longer be told. Type it "
    u"from the start again, or the rest by hand.",
    u"Quillrun は何も入力しませんでした。ファイル \"{path}\" "
    u"が、中止した入力のあとで変更されました "
    u"(サイズか保存日時が違います)。そのため、残りがどこから始まるかがわかりません。最初から入力し"
    u"直すか、残りを手で入力してください。"};
constexpr Localized kClipboardChanged{
    u"Quillrun typed nothing: the clipboard's text has changed since the run that stopped, so "
    u"where the rest begins can no longer be told. Copy the text again and type it whole, or the "
    u"rest by hand.",
    u"Quillrun は何も入力しませんでした。クリップボードのテキストが、中止した入力のあとで変わり"
    u"ました。そのため、残りがどこから始まるかがわかりません。テキストをもう一度コピーして全体を"
    u"入力するか、残りを手で入力してください。"};
constexpr Localized kReservedName{
    u"Quillrun typed nothing: Windows keeps the name of the file \"{path}\" for a device (as it "
    u"keeps CON, PRN, AUX, NUL, COM1 to COM9 and LPT1 to LPT9, before Windows 11 with any "
    u"extension too), so no file of that name can be opened.\n\nRename the file, then name it in "
    u"the box again.",
    u"Quillrun は何も入力しませんでした。ファイル \"{path}\" の名前は、Windows がデバイス用に予約"
    u"している名前です (CON、PRN、AUX、NUL、COM1 ～ COM9、LPT1 ～ LPT9。Windows 11 より前は拡張子が"
    u"付いていても予約されています)。そのため、この名前のファイルは開けません。\n\nファイルの名前を変えてから、"
    u"もう一度ボックスに指定してください。"};
constexpr Localized kNothingConfirmed{
    u"Quillrun typed nothing: {program} took none of the keystrokes. {reason}",
    u"Quillrun は何も入力しませんでした。{program} はキー入力を 1 つも受け取りませんでした。原因: "
    u"{reason}"};
constexpr Localized kNotResponding{
    u"Quillrun stopped typing because {program} stopped responding: it took no keystroke for 5 "
    u"seconds.",
    u"{program} が応答しなくなったため、Quillrun は入力を中止しました。5 秒間、キー入力を受け付け"
    u"ませんでした。"};
constexpr Localized kNoPickedTarget{
    u"Quillrun typed nothing: when the time came to type, the window in front was Quillrun's own, "
    u"the desktop or the taskbar, not a window of another program.",
    u"Quillrun は何も入力しませんでした。入力を始めるときに前面にあったのは、Quillrun 自身の"
    u"ウィンドウ、デスクトップ、またはタスク バーで、ほかのプログラムのウィンドウではありません"
    u"でした。"};
constexpr Localized kNoTarget{
    u"Quillrun typed nothing: no window of the program it started (or of any other program) came "
    u"to the front to type into.",
    u"Quillrun は何も入力しませんでした。起動したプログラムのウィンドウも、ほかのプログラムの"
    u"ウィンドウも、入力先として前面に出てきませんでした。"};
constexpr Localized kNoMainWindow{
    u"Quillrun typed nothing: {program} showed no window to type into within 30 seconds, only a "
    u"window without a taskbar button, such as a splash screen.",
    u"Quillrun は何も入力しませんでした。{program} は 30 秒以内に入力先のウィンドウを表示せず、"
    u"スプラッシュ画面のようなタスク バー ボタンのないウィンドウだけを表示しました。"};
constexpr Localized kNotAllowed{
    u"Quillrun cannot type into {program}: it runs as administrator, and Windows does not let the "
    u"keystrokes of a program without those rights reach it.\n\nTo type into it, start Quillrun "
    u"as administrator.",
    u"{program} は管理者として実行されているため、Quillrun は入力できません。Windows では、管理者"
    u"の権限を持たないプログラムのキー入力はそのプログラムに届きません。\n\n入力するには、"
    u"Quillrun を管理者として実行してください。"};
constexpr Localized kReadFailed{
    u"Quillrun stopped typing because the file could not be read on: {reason}",
    u"ファイルの続きを読み取れなかったため、Quillrun は入力を中止しました。原因: {reason}"};
constexpr Localized kClipboardUnreadable{
    u"Quillrun typed nothing: it could not read the clipboard: {reason}",
    u"Quillrun は何も入力しませんでした。クリップボードを読み取れませんでした。原因: {reason}"};
constexpr Localized kClipboardBusy{
    u"Quillrun typed nothing: it could not read the clipboard: another program kept it open.",
    u"Quillrun は何も入力しませんでした。ほかのプログラムがクリップボードを開いたままにしている"
    u"ため、読み取れませんでした。"};
constexpr Localized kNoText{u"The clipboard holds no text: nothing was typed.",
                            u"クリップボードにテキストがないため、何も入力しませんでした。"};
constexpr Localized kNothingPicked{
    u"No window was clicked within a minute: nothing was typed.",
    u"1 分以内にウィンドウがクリックされなかったため、何も入力しませんでした。"};
constexpr Localized kLayoutMissing{
    u"Quillrun typed nothing: the keyboard layout chosen for the other computer, {layout}, is not "
    u"installed on this computer.\n\nChoose another in Start's menu, under \"Keyboard layout of "
    u"the other computer\", or add this one in the language settings of Windows.",
    u"Quillrun は何も入力しませんでした。相手のコンピューター用に選んだキーボード レイアウト"
    u"「{layout}」は、このコンピューターにインストールされていません。\n\n「Start」のメニューの"
    u"「相手のコンピューターのキーボード レイアウト」で別のレイアウトを選ぶか、Windows の言語の"
    u"設定でこのレイアウトを追加してください。"};
constexpr Localized kNotTypableAsKeys{
    u"Quillrun typed nothing: \"Keys only\" is on, and the keyboard layout has no keys for "
    u"{character} at line {line}, column {column} of {text}.\n\nTake the character out of the "
    u"text, or turn \"Keys only\" off in Start's menu to type it as Unicode input.",
    u"Quillrun は何も入力しませんでした。「キーのみ」がオンですが、{text}の {line} 行目の "
    u"{column} 文字目にある {character} を入力するキーが、キーボード レイアウトにありません。"
    u"\n\nその文字をテキストから除くか、「Start」のメニューで「キーのみ」をオフにして Unicode "
    u"入力で入力してください。"};
constexpr Localized kBadSequence{
    u"Quillrun typed nothing: the key sequence cannot be typed as written. At line {line}, column "
    u"{column} of {text}, \"{piece}\" {fault}\n\nCorrect the text, or turn \"Key sequences\" "
    u"off in Start's menu to type it as it stands.",
    u"Quillrun は何も入力しませんでした。キー シーケンスを書かれたとおりに入力できません。{text}"
    u"の {line} 行目の {column} 文字目の「{piece}」{fault}\n\nテキストを直すか、「Start」のメニュー"
    u"で「キー シーケンス」をオフにして、テキストをそのまま入力してください。"};
// What is wrong with the piece, by fault, in the order of SequenceFault.
constexpr Localized kSequenceFaults[] = {
    {u"is not the name of a key.", u"は、キーの名前ではありません。"},
    {u"has no closing brace on its line.", u"には、同じ行に閉じ波かっこがありません。"},
    {u"is a closing brace without an opening one; to type the brace itself, put it in braces.",
     u"は、開き波かっこのない閉じ波かっこです。波かっこそのものを入力するには、波かっこで囲んで"
     u"ください。"},
    {u"opens a group that is not closed before the end of the text.",
     u"で始まるグループが、テキストの終わりまでに閉じられていません。"},
    {u"closes a group that was never opened; to type a parenthesis itself, put it in braces.",
     u"は、開きかっこのない閉じかっこです。かっこそのものを入力するには、波かっこで囲んで"
     u"ください。"},
    {u"opens a group inside another group, which key sequences do not allow.",
     u"は、グループの中で別のグループを始めています。グループは入れ子にできません。"},
    {u"is reserved in key sequences; to type it, put it in braces.",
     u"はキー シーケンスで予約されています。入力するには、波かっこで囲んでください。"},
    {u"asks for a key to be pressed fewer than 1 or more than 1000 times.",
     u"は、キーを押す回数が 1 ～ 1000 の範囲外です。"},
    {u"asks for a wait that is not from 1 to 600000 ms (10 minutes).",
     u"の待ち時間が、1 ～ 600000 ミリ秒 (10 分) の範囲外です。"},
    {u"holds Shift (+), Ctrl (^) or Alt (%) for nothing: a key or a group must follow it on the "
     u"same line.",
     u"は Shift (+)、Ctrl (^)、Alt (%) を押しますが、同じ行にその後のキーまたはグループがあり"
     u"ません。"},
    {u"is Ctrl+Alt+Delete, which Windows lets no program send. Press it on the keyboard, or use "
     u"the command for it of the remote desktop or virtual machine.",
     u"は Ctrl+Alt+Delete です。Windows では、どのプログラムもこのキーを送れません。キーボードで"
     u"押すか、リモート デスクトップや仮想マシンのプログラムにある Ctrl+Alt+Delete を送るコマンドを"
     u"使ってください。"},
    {u"is a control character, which Quillrun never types: programs take it as an editing "
     u"command. To press a key such as Backspace or Esc, write its name: {BS}, {ESC}.",
     u"は制御文字です。プログラムは制御文字を編集の操作として扱うため、Quillrun は入力しません。"
     u"Backspace や Esc などのキーを押すには、{BS}、{ESC} のように名前で書いてください。"},
};
static_assert(std::size(kSequenceFaults) ==
              static_cast<std::size_t>(SequenceFault::ControlCharacter) + 1);
constexpr Localized kNotOnChosenLayout{
    u"Quillrun typed nothing: the keyboard layout chosen for the other computer, {layout}, has no "
    u"keys for {character} at line {line}, column {column} of {text}, and the other computer "
    u"would drop it as Unicode input.\n\nTake the character out of the text, or choose another "
    u"layout in Start's menu, under \"Keyboard layout of the other computer\".",
    u"Quillrun は何も入力しませんでした。相手のコンピューター用に選んだキーボード レイアウト"
    u"「{layout}」には、{text}の {line} 行目の {column} 文字目にある {character} を入力するキーが"
    u"ありません。Unicode 入力では相手のコンピューターに届きません。\n\nその文字をテキストから"
    u"除くか、「Start」のメニューの「相手のコンピューターのキーボード レイアウト」で別のレイアウト"
    u"を選んでください。"};
constexpr Localized kChangedAfterCheck{
    u"Quillrun typed nothing: the file \"{path}\" changed while Quillrun checked it before typing "
    u"(its size or the time it was saved differs), so what would be typed is not what was "
    u"checked. Start again once the file is saved.",
    u"Quillrun は何も入力しませんでした。入力前の確認中に、ファイル \"{path}\" が変更されました "
    u"(サイズか保存日時が違います)。確認した内容と入力する内容が同じとは限らないため、ファイルの"
    u"保存が終わってから、もう一度始めてください。"};
// What a run passed over although it went on, each said after why and where the run ended.
constexpr Localized kFinishedWithNotes{u"Quillrun typed {text} to its end.",
                                       u"Quillrun は{text}を最後まで入力しました。"};
constexpr Localized kControlsPassedOver{
    u"\n\nControl characters of {text} not typed: {count} ({first}). Programs take them as "
    u"editing commands, as a backspace deletes the character before it.",
    u"\n\n入力しなかった{text}の制御文字: {count} 個 ({first})。プログラムは制御文字を、前の"
    u"文字を消すバックスペースのような編集の操作として扱うためです。"};
constexpr Localized kCharactersNotTyped{
    u"\n\nCharacters of {text} not typed because their keystrokes failed: {count} ({first}). "
    u"Type them by hand.",
    u"\n\nキー入力が失敗したため入力されていない{text}の文字: {count} 文字 ({first})。手で入力"
    u"してください。"};
constexpr Localized kKeysNotPressed{
    u"\n\nKeys of {text} not pressed because their keystrokes failed: {count} ({first}).",
    u"\n\nキー入力が失敗したため押されていない{text}のキー: {count} 個 ({first})。"};
constexpr Localized kBytesNotUtf8{
    u"\n\nBytes of {text} that are not UTF-8 were typed as U+FFFD (\uFFFD) ({first}).",
    u"\n\n{text}には UTF-8 ではないバイトがあり、それぞれ U+FFFD (\uFFFD) として入力しました "
    u"({first})。"};
constexpr Localized kFirstAt{u"the first at line {line}, column {column}",
                             u"最初は {line} 行目の {column} 文字目"};
constexpr Localized kFirstIsAt{u"the first, {character}, at line {line}, column {column}",
                               u"最初は {line} 行目の {column} 文字目の {character}"};
constexpr Localized kShortcutNotOnLayout{
    u"Quillrun typed nothing: the key sequence at line {line}, column {column} of {text} presses "
    u"{character} with Shift, Ctrl or Alt, and the keyboard layout has no key for it; a shortcut "
    u"must be a key.\n\nTake the shortcut out, or write it with a character that the layout has a "
    u"key for.",
    u"Quillrun は何も入力しませんでした。{text}の {line} 行目の {column} 文字目のキー シーケンスは"
    u"、{character} を Shift、Ctrl、Alt と一緒に押しますが、キーボード レイアウトにそのキーがあり"
    u"ません。ショートカットにはキーが必要です。\n\nそのショートカットを除くか、レイアウトにキーの"
    u"ある文字で書いてください。"};
constexpr Localized kNothingOfTextTyped{u"\n\nNothing of {text} was typed.",
                                        u"\n\n{text}からは何も入力していません。"};
constexpr Localized kStoppedAt{
    u"\n\nTyping stopped at line {line}, column {column} of {text}; {typed} characters were typed "
    u"(each line end counts as one).",
    u"\n\n{text}の {line} 行目の {column} 文字目で入力が止まりました。入力したのは {typed} 文字"
    u"です (行末はそれぞれ 1 文字と数えます)。"};
constexpr Localized kStoppedInSequenceAt{
    u"\n\nTyping stopped at line {line}, column {column} of {text}, where that piece of the key "
    u"sequence begins; {typed} keys were pressed.",
    u"\n\n{text}の {line} 行目の {column} 文字目 (キー シーケンスのその部分の初め) で入力が止まり"
    u"ました。押したキーは {typed} 個です。"};
constexpr Localized kNextMayHaveArrived{
    u" The next one may have arrived as well: the other window came to the front just as it was "
    u"typed. Check the end of the text before you type the rest from there by hand.",
    u"次の文字も届いている可能性があります。その文字を入力したときに、ほかのウィンドウが前面に"
    u"出たためです。残りを手で入力する前に、テキストの終わりを確かめてください。"};
constexpr Localized kNextMayHaveArrivedClosed{
    u" The next one may have arrived as well: the program closed just as it was typed. Check the "
    u"end of the text before you type the rest from there by hand.",
    u"次の文字も届いている可能性があります。その文字を入力したときに、プログラムが閉じたためです。"
    u"残りを手で入力する前に、テキストの終わりを確かめてください。"};
constexpr Localized kNextMayHaveArrivedNotResponding{
    u" The next one may have arrived as well: it was sent, and the program may still take it once "
    u"it responds again. Check the end of the text before you type the rest from there by hand.",
    u"次の文字も届いている可能性があります。その文字は送られており、プログラムが応答を再開すれば"
    u"受け取られることがあります。残りを手で入力する前に、テキストの終わりを確かめてください。"};
constexpr Localized kTypeTheRest{u" You can type the rest from there by hand.",
                                 u"残りはそこから手で入力できます。"};

std::u16string ProgramOrFallback(const PlaybackResult& result, Language language) {
    return result.program.empty() ? std::u16string(kProgramInFront.In(language))
                                  : u"\"" + result.program + u"\"";
}

// A character as "U+00E9 é": its code, and itself unless it is a control character.
std::u16string CharacterText(char32_t c) {
    constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text = u"U+";
    int digits = 4;
    while (digits < 6 && (c >> (4 * digits)) != 0) {
        ++digits;
    }
    for (int i = digits - 1; i >= 0; --i) {
        text += kHex[(c >> (4 * i)) & 0xF];
    }
    if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF)) {
        return text;
    }
    text += u' ';
    AppendUtf16(text, c);
    return text;
}

// The first part of the message: why the run ended. Empty for the runs that say nothing.
std::u16string Reason(const PlaybackResult& result, Language language) {
    const auto program = [&](const Localized& pattern) {
        return FillIn(pattern.In(language), {{u"program", ProgramOrFallback(result, language)}});
    };
    switch (result.end) {
        case PlaybackEnd::FocusMoved:
            return std::u16string(kFocusMoved.In(language));
        case PlaybackEnd::StoppedByHotKey:
            return std::u16string(kStoppedByHotKey.In(language));
        case PlaybackEnd::HotKeyBeforeTyping:
            return std::u16string(kHotKeyBeforeTyping.In(language));
        case PlaybackEnd::StoppedByClick:
            return std::u16string(kStoppedByClick.In(language));
        case PlaybackEnd::Interrupted:
            return std::u16string(kInterrupted.In(language));
        case PlaybackEnd::TargetClosed:
            return program(kTargetClosed);
        case PlaybackEnd::OpenFailed:
            return FillIn(kOpenFailed.In(language),
                          {{u"path", result.path}, {u"reason", result.reason}});
        case PlaybackEnd::ReservedName:
            return FillIn(kReservedName.In(language), {{u"path", result.path}});
        case PlaybackEnd::ChangedAfterCheck:
            return FillIn(kChangedAfterCheck.In(language), {{u"path", result.path}});
        case PlaybackEnd::TextChanged:
            return result.origin == TextOrigin::Clipboard
                       ? std::u16string(kClipboardChanged.In(language))
                       : FillIn(kFileChanged.In(language), {{u"path", result.path}});
        case PlaybackEnd::NothingConfirmed:
            return FillIn(
                kNothingConfirmed.In(language),
                {{u"program", ProgramOrFallback(result, language)}, {u"reason", result.reason}});
        case PlaybackEnd::NotResponding:
            return program(kNotResponding);
        case PlaybackEnd::NoTarget:
            return std::u16string(
                (result.intoPickedWindow ? kNoPickedTarget : kNoTarget).In(language));
        case PlaybackEnd::NoMainWindow:
            return program(kNoMainWindow);
        case PlaybackEnd::NotAllowed:
            return program(kNotAllowed);
        case PlaybackEnd::ReadFailed:
            return FillIn(kReadFailed.In(language), {{u"reason", result.reason}});
        case PlaybackEnd::ClipboardUnreadable:
            return FillIn(kClipboardUnreadable.In(language), {{u"reason", result.reason}});
        case PlaybackEnd::ClipboardBusy:
            return std::u16string(kClipboardBusy.In(language));
        case PlaybackEnd::LayoutMissing:
        case PlaybackEnd::NotTypableAsKeys:
        case PlaybackEnd::BadSequence:
        case PlaybackEnd::ShortcutNotOnLayout:
        case PlaybackEnd::NoText:
        case PlaybackEnd::NothingPicked:
        case PlaybackEnd::KeysHeld:
        case PlaybackEnd::NotOpened:
        case PlaybackEnd::Finished:
        case PlaybackEnd::Stopped:
            break;
    }
    return {};
}

// What the run passed over although it went on: each kind in a sentence of its own, with how
// many and where the first was.
std::u16string Notes(const PlaybackResult& result, std::u16string_view text, bool showCharacters,
                     Language language) {
    std::u16string notes;
    const auto note = [&](const Localized& pattern, const PassedOver& passed) {
        if (passed.count == 0) {
            return;
        }
        const std::u16string line = DecimalText(passed.line);
        const std::u16string column = DecimalText(passed.column);
        const std::u16string first =
            passed.character == 0 || !showCharacters
                ? FillIn(kFirstAt.In(language), {{u"line", line}, {u"column", column}})
                : FillIn(kFirstIsAt.In(language),
                         {{u"line", line},
                          {u"column", column},
                          {u"character", CharacterText(passed.character)}});
        notes +=
            FillIn(pattern.In(language),
                   {{u"count", DecimalText(passed.count)}, {u"text", text}, {u"first", first}});
    };
    note(kControlsPassedOver, result.controls);
    if (result.end != PlaybackEnd::NothingConfirmed) {
        note(result.keySequence ? kKeysNotPressed : kCharactersNotTyped, result.notTyped);
    }
    note(kBytesNotUtf8, result.invalidBytes);
    return notes;
}

}  // namespace

std::optional<std::u16string> PlaybackEndMessage(const PlaybackResult& result, Language language) {
    // Runs that end before there is anything to type say so in one sentence.
    if (result.end == PlaybackEnd::NoText) {
        return std::u16string(kNoText.In(language));
    }
    if (result.end == PlaybackEnd::NothingPicked) {
        return std::u16string(kNothingPicked.In(language));
    }
    if (result.end == PlaybackEnd::KeysHeld) {
        return std::u16string(kKeysHeld.In(language));
    }
    const std::u16string_view text = (result.origin == TextOrigin::Clipboard ? kTheClipboardsText
                                      : result.origin == TextOrigin::StandardInput
                                          ? kTheStandardInput
                                      : result.origin == TextOrigin::Secret ? kTheSecret
                                                                            : kTheFile)
                                         .In(language);
    const bool secret = result.origin == TextOrigin::Secret;
    const TypingPosition& at = result.position;
    const std::u16string line = DecimalText(at.line);
    const std::u16string column = DecimalText(at.column);
    if (result.end == PlaybackEnd::LayoutMissing) {
        return FillIn(kLayoutMissing.In(language), {{u"layout", result.reason}});
    }
    if (secret && result.end == PlaybackEnd::NotTypableAsKeys) {
        return FillIn(
            kSecretNotTypable.In(language),
            {{u"position", column},
             {u"layout", result.layoutName.empty()
                             ? std::u16string()
                             : FillIn(kSecretLayoutName.In(language), {{u"layout", result.layoutName}})}});
    }
    if (result.end == PlaybackEnd::NotTypableAsKeys ||
        result.end == PlaybackEnd::ShortcutNotOnLayout) {
        const Localized& pattern = result.end == PlaybackEnd::ShortcutNotOnLayout
                                       ? kShortcutNotOnLayout
                                   : result.layoutName.empty() ? kNotTypableAsKeys
                                                               : kNotOnChosenLayout;
        return FillIn(pattern.In(language), {{u"character", CharacterText(result.character)},
                                             {u"line", line},
                                             {u"column", column},
                                             {u"text", text},
                                             {u"layout", result.layoutName}});
    }
    if (result.end == PlaybackEnd::BadSequence) {
        const SequenceError& error = result.sequenceError;
        const auto fault = static_cast<std::size_t>(error.fault);
        // A control character shows as nothing, or as a break of the message's line.
        const std::u16string piece =
            error.fault == SequenceFault::ControlCharacter && !error.piece.empty()
                ? CharacterText(error.piece[0])
                : error.piece;
        if (result.origin == TextOrigin::Clipboard) {
            return FillIn(kBadSequenceUnquoted.In(language),
                          {{u"line", line},
                           {u"column", column},
                           {u"text", text},
                           {u"fault", kSequenceFaults[fault].In(language)}});
        }
        return FillIn(kBadSequence.In(language), {{u"line", line},
                                                  {u"column", column},
                                                  {u"text", text},
                                                  {u"piece", piece},
                                                  {u"fault", kSequenceFaults[fault].In(language)}});
    }
    const std::u16string notes = Notes(result, text, !secret, language);
    std::u16string message = Reason(result, language);
    if (message.empty()) {
        // A run that ended as the user expects says nothing, unless it passed something over.
        if (result.end != PlaybackEnd::Finished || notes.empty()) {
            return std::nullopt;
        }
        return FillIn(kFinishedWithNotes.In(language), {{u"text", text}}) + notes;
    }
    if (secret && !at.NothingArrived()) {
        return message +
               FillIn((at.nextMayHaveArrived ? kSecretTypedAndOneMayHave : kSecretTyped)
                          .In(language),
                      {{u"typed", DecimalText(at.typed)}}) +
               notes;
    }
    if (at.NothingArrived() && at.line == 1 && at.column == 1) {
        return message + FillIn(kNothingOfTextTyped.In(language), {{u"text", text}}) + notes;
    }
    message += FillIn(
        (result.keySequence ? kStoppedInSequenceAt : kStoppedAt).In(language),
        {{u"line", line}, {u"column", column}, {u"text", text}, {u"typed", DecimalText(at.typed)}});
    const Localized& mayHaveArrived =
        result.end == PlaybackEnd::TargetClosed    ? kNextMayHaveArrivedClosed
        : result.end == PlaybackEnd::NotResponding ? kNextMayHaveArrivedNotResponding
                                                   : kNextMayHaveArrived;
    message += (at.nextMayHaveArrived ? mayHaveArrived : kTypeTheRest).In(language);
    return message + notes;
}

}  // namespace quillrun
