// Failures as values: every operation that can fail returns what failed and the system's reason,
// so window procedures never see an exception.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace quillrun {

struct Failure {
    std::string operation;   // what was attempted, e.g. "LaunchProgram"
    std::u16string reason;   // the system's own description of the error
    std::uint32_t code = 0;  // the system error code, 0 when there is none

    friend bool operator==(const Failure&, const Failure&) = default;
};

// Either a value or the Failure that prevented it.
template <class T>
class [[nodiscard]] Result {
  public:
    Result(T value) : state_(std::move(value)) {}            // NOLINT(google-explicit-constructor)
    Result(Failure failure) : state_(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] bool ok() const { return std::holds_alternative<T>(state_); }
    explicit operator bool() const { return ok(); }

    [[nodiscard]] const T& value() const& { return std::get<T>(state_); }
    [[nodiscard]] T& value() & { return std::get<T>(state_); }
    [[nodiscard]] T&& value() && { return std::get<T>(std::move(state_)); }
    [[nodiscard]] const Failure& failure() const { return std::get<Failure>(state_); }

  private:
    std::variant<T, Failure> state_;
};

// Success, or the Failure of an operation that returns nothing.
class [[nodiscard]] Status {
  public:
    Status() = default;
    Status(Failure failure)
        : failure_(std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    [[nodiscard]] bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }
    [[nodiscard]] const Failure& failure() const { return *failure_; }

  private:
    std::optional<Failure> failure_;
};

}  // namespace quillrun
