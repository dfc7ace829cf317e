#include "playback/text_playback.h"

#include <optional>

#include "desktop/text_reader.h"
#include "playback/key_string.h"

namespace quillrun {
namespace {

// Sends key strings while the process that was in front at the start still is.
class Typist {
  public:
    Typist(DesktopServices& desktop, const std::function<bool()>& stopRequested)
        : desktop_(desktop), stopRequested_(stopRequested), owner_(desktop.ForegroundProcess()) {}
    ~Typist() { desktop_.EndTyping(); }
    Typist(const Typist&) = delete;
    Typist& operator=(const Typist&) = delete;

    // Why typing cannot begin, if it cannot: no window in front, or only Quillrun's own, into
    // which the file would overwrite the path box.
    [[nodiscard]] std::optional<PlaybackEnd> CannotBegin() const {
        if (owner_ == 0 || owner_ == desktop_.OwnProcess()) {
            return PlaybackEnd::NoTarget;
        }
        return std::nullopt;
    }

    // Types one key string; the reason to end the run, if there is one. Other failures of a
    // single keystroke are passed over and typing goes on.
    std::optional<PlaybackEnd> Type(std::u16string_view keys) {
        if (stopRequested_()) {
            return PlaybackEnd::Stopped;
        }
        if (desktop_.ForegroundProcess() != owner_) {
            return PlaybackEnd::FocusMoved;
        }
        const Status sent = desktop_.SendKeyString(keys);
        if (!sent && sent.failure().code == kNotRespondingCode) {
            return PlaybackEnd::NotResponding;
        }
        return std::nullopt;
    }

  private:
    DesktopServices& desktop_;
    const std::function<bool()>& stopRequested_;
    std::uint32_t owner_;
};

}  // namespace

PlaybackEnd PlayTextFile(DesktopServices& desktop, std::u16string_view path, TaskId task,
                         const std::function<bool()>& stopRequested) {
    auto reader = TextReader::Open(desktop, path, LineEnds::CarriageReturn);
    if (!reader) {
        return PlaybackEnd::NotOpened;
    }
    // When activation fails (the target is gone, say), the file goes to whichever window is
    // in front instead, as before.
    static_cast<void>(desktop.ActivateTask(task));
    Typist typist(desktop, stopRequested);
    bool checkedTarget = false;
    for (;;) {
        // A long line comes in pieces, so that a file of one huge line needs little memory.
        auto piece = reader.value().ReadLinePiece();
        if (!piece) {
            return PlaybackEnd::ReadFailed;
        }
        if (!piece.value()) {
            return PlaybackEnd::Finished;
        }
        // An empty file types nothing and needs no window to type into.
        if (!checkedTarget) {
            if (auto end = typist.CannotBegin()) {
                return *end;
            }
            checkedTarget = true;
        }
        for (const char16_t c : piece.value()->text) {
            if (auto end = typist.Type(EscapeKeyChar(c))) {
                return *end;
            }
        }
        if (!piece.value()->endsLine) {
            continue;
        }
        if (auto end = typist.Type(kLineEndKeys)) {
            return *end;
        }
        desktop.PumpEvents();
        if (stopRequested()) {
            return PlaybackEnd::Stopped;
        }
    }
}

}  // namespace quillrun
